; The Windows installer: quendal.exe and quendal-cli.exe for every user of the machine, in Program Files, with a
; Start menu entry and an uninstaller listed in Apps & Features. Made by scripts/package-windows:
;   makensis -DVERSION=2.3.0.1 -DSRCDIR=<the zip's folder> -DOUTFILE=<setup.exe> -DSIZE_KB=<n> quendal.nsi
; /S installs and uninstalls without a question; /D=<folder> (last on the line) installs elsewhere.
;
; Nothing is written until no installed program is running, so a running Quendal never leaves half an
; install. The uninstaller deletes the files it installed by name and nothing else: profiles, reports or
; anything else a user put in the folder stay, and so does the folder then.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!include LogicLib.nsh

!ifndef VERSION | SRCDIR | OUTFILE | SIZE_KB
!error "define VERSION, SRCDIR, OUTFILE and SIZE_KB (scripts/package-windows does)"
!endif

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quendal"
!define PUBLISHER "Quendal developers"

Name "Quendal ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Quendal"
; An earlier install is upgraded where it is.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey /LANG=0 "ProductName" "Quendal"
VIAddVersionKey /LANG=0 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=0 "FileDescription" "Quendal ${VERSION} setup"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "LegalCopyright" "Copyright 2026 ${PUBLISHER}"

LoadLanguageFile "${NSISDIR}\Contrib\Language files\English.nlf"
LoadLanguageFile "${NSISDIR}\Contrib\Language files\SimpChinese.nlf"
LangString Running ${LANG_ENGLISH} "Quendal is running ($0). Close it, then choose Retry; Cancel stops without changing anything."
LangString Running ${LANG_SIMPCHINESE} "Quendal 正在运行 ($0)。请先关闭它，然后点“重试”；点“取消”则不做任何改动。"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; Sets $0 to the first of the installed programs that cannot be opened for writing (a running .exe cannot),
; or to "" when none is in use.
!macro DEFINE_FIND_RUNNING prefix
Function ${prefix}FindRunning
    StrCpy $0 ""
    ${ForEach} $1 1 2 + 1
        ${If} $1 = 1
            StrCpy $2 "quendal.exe"
        ${Else}
            StrCpy $2 "quendal-cli.exe"
        ${EndIf}
        ${If} ${FileExists} "$INSTDIR\$2"
            ClearErrors
            FileOpen $3 "$INSTDIR\$2" a
            ${If} ${Errors}
                StrCpy $0 $2
                ${Break}
            ${EndIf}
            FileClose $3
        ${EndIf}
    ${Next}
FunctionEnd

; Asks until no installed program runs; Cancel (and /S, which cannot ask) stops with nothing changed.
Function ${prefix}WaitUntilClosed
    retry:
    Call ${prefix}FindRunning
    ${If} $0 == ""
        Return
    ${EndIf}
    DetailPrint "$(Running)"
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(Running)" /SD IDCANCEL IDRETRY retry
    Abort
FunctionEnd
!macroend
!insertmacro DEFINE_FIND_RUNNING ""
!insertmacro DEFINE_FIND_RUNNING "un."

Function .onInit
    SetShellVarContext all
    SetRegView 64
FunctionEnd

Section "Quendal"
    Call WaitUntilClosed
    SetOutPath "$INSTDIR"
    File "${SRCDIR}\quendal.exe"
    File "${SRCDIR}\quendal-cli.exe"
    File "${SRCDIR}\README.txt"
    File "${SRCDIR}\LICENSE.txt"
    SetOutPath "$INSTDIR\examples"
    File "${SRCDIR}\examples\site-4g.json"
    File "${SRCDIR}\examples\units.csv"
    File "${SRCDIR}\examples\profile.md"
    SetOutPath "$INSTDIR"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    CreateShortCut "$SMPROGRAMS\Quendal.lnk" "$INSTDIR\quendal.exe" "" "$INSTDIR\quendal.exe" 0

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Quendal"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\quendal.exe,0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE_KB}
SectionEnd

Function un.onInit
    SetShellVarContext all
    SetRegView 64
FunctionEnd

Section "Uninstall"
    Call un.WaitUntilClosed
    Delete "$SMPROGRAMS\Quendal.lnk"
    Delete "$INSTDIR\quendal.exe"
    Delete "$INSTDIR\quendal-cli.exe"
    Delete "$INSTDIR\README.txt"
    Delete "$INSTDIR\LICENSE.txt"
    Delete "$INSTDIR\examples\site-4g.json"
    Delete "$INSTDIR\examples\units.csv"
    Delete "$INSTDIR\examples\profile.md"
    Delete "$INSTDIR\uninstall.exe"
    ; Without /r: a folder that still holds a user's files stays.
    RMDir "$INSTDIR\examples"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
