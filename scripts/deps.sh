# Sourced by ./run, ./test, ./package and ./bench: installs the Debian packages that are missing, and nothing else.
# Usage: quendal_install_packages pkg...
quendal_install_packages() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null 2>&1; then
            sudo="sudo"
        else
            echo "Missing packages (${missing[*]}) and no root or sudo to install them." >&2
            return 1
        fi
    fi
    $sudo apt-get update -q || return 1
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}"
}

# qt6-translations-l10n: Qt's own texts (edit menus, file dialogs) in Chinese, loaded by the window at start.
QUENDAL_BUILD_PACKAGES=(cmake g++ make qt6-base-dev libgl-dev fonts-wqy-microhei qt6-translations-l10n libcli11-dev
    nlohmann-json3-dev)
# rsvg-convert makes the PNG icons, which a test compares with the icon the window draws.
QUENDAL_TEST_PACKAGES=(libgtest-dev googletest librsvg2-bin)
# ./package: the icons, and dpkg-shlibdeps and dpkg-buildflags for CPack's DEB generator.
QUENDAL_PACKAGE_PACKAGES=(librsvg2-bin dpkg-dev file)
# CI's checks of the built package.
QUENDAL_PACKAGE_CHECK_PACKAGES=(lintian desktop-file-utils appstream man-db)
# The Windows programs, cross-built and run under Wine (scripts/wine-check); the window on Xvfb, driven with xdotool,
# pictured with ImageMagick, its status bar read with tesseract. The .exe icon is drawn with rsvg-convert and packed
# with icotool, which with wrestool reads the version resource back; makensis makes the installer, zip the zip.
QUENDAL_WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix wine64 xvfb xdotool imagemagick tesseract-ocr tesseract-ocr-chi-sim
    librsvg2-bin icoutils nsis zip unzip)
