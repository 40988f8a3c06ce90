// Windows: argv carries the ANSI code page, so the arguments are taken from the wide command line; the
// console gets UTF-8 output and, for the redrawn progress lines, its virtual-terminal sequences. Interrupts
// come as console control events, on a thread of their own.
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <io.h>

#include <atomic>

#include "cli/console.h"

namespace {

std::string Utf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) {
        return {};
    }
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    out.resize(static_cast<std::size_t>(size) - 1);
    return out;
}

HANDLE ConsoleOf(std::FILE* stream) {
    const intptr_t handle = _get_osfhandle(_fileno(stream));
    DWORD mode = 0;
    if (handle == -1 || !GetConsoleMode(reinterpret_cast<HANDLE>(handle), &mode)) {
        return nullptr;
    }
    return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    SetConsoleOutputCP(CP_UTF8);
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide) {
        return std::vector<std::string>(argv, argv + argc);
    }
    std::vector<std::string> args;
    for (int i = 0; i < count; ++i) {
        args.push_back(Utf8(wide[i]));
    }
    LocalFree(wide);
    return args;
}

bool IsRedrawTerminal(std::FILE* stream) {
    HANDLE console = ConsoleOf(stream);
    DWORD mode = 0;
    if (!console || !GetConsoleMode(console, &mode)) {
        return false;
    }
    return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
           SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

std::size_t TerminalColumns(std::FILE* stream) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    HANDLE console = ConsoleOf(stream);
    if (console && GetConsoleScreenBufferInfo(console, &info) && info.srWindow.Right > info.srWindow.Left) {
        return static_cast<std::size_t>(info.srWindow.Right - info.srWindow.Left + 1);
    }
    return 80;
}

namespace {

void RemovePath(const char* path) {
    const int size = MultiByteToWideChar(CP_UTF8, 0, path, -1, nullptr, 0);
    if (size <= 0) {
        return;
    }
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, path, -1, wide.data(), size);
    if (!DeleteFileW(wide.c_str())) {
        RemoveDirectoryW(wide.c_str());
    }
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
    static std::atomic<int> count{0};
    // Closing the console, logging off and shutting down end the process on return: clean up at once.
    const bool ending = event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT;
    if (!ending && count.fetch_add(1) == 0) {
        SetInterruptRequested(true);
        return TRUE;
    }
    ForEachHeldPath(RemovePath);
    ExitProcess(130);
    return TRUE;
}

}  // namespace

void InstallInterruptHandlers() {
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}
