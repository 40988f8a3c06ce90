// Windows: argv carries the ANSI code page, so the arguments are taken from the wide command line; the
// console gets UTF-8 output and, for the redrawn progress lines, its virtual-terminal sequences.
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <io.h>

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
