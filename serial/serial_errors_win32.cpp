// Windows: what the engine tells apart in GetLastError codes, and the system's texts for them. Kept apart
// from the overlapped calls that produce them (serial_os_win32.cpp) so each file holds one concern.
#include <windows.h>

#include <algorithm>
#include <string>

#include "serial/serial_os.h"

bool OsIsInterrupted(int) {
    return false;
}

bool OsIsWouldBlock(int error) {
    return error == ERROR_IO_PENDING;
}

bool OsIsLost(int error) {
    // What calls on a port give once its device is gone (a USB adapter pulled, a driver stopped); on a
    // handle already open, access denied means that too.
    switch (error) {
        case ERROR_ACCESS_DENIED:
        case ERROR_BAD_COMMAND:
        case ERROR_GEN_FAILURE:
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_DEVICE_REMOVED:
        case ERROR_DEV_NOT_EXIST:
            return true;
        default:
            return false;
    }
}

bool OsIsNoModemLines(int error) {
    // A driver without modem-line calls (a virtual port, Wine's on a pseudo-terminal).
    return error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED;
}

int OsLostError() {
    return ERROR_DEVICE_NOT_CONNECTED;
}

std::string OsErrorText(int error) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(error), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
        reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string out;
    if (length > 0 && text) {
        const int size =
            WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
        out.resize(static_cast<std::size_t>(std::max(size, 0)));
        WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), out.data(), size, nullptr, nullptr);
    }
    if (text) {
        LocalFree(text);
    }
    // The system's texts end with a line break, which the box's own format already has.
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ')) {
        out.pop_back();
    }
    if (out.empty()) {
        out = "error " + std::to_string(error);
    }
    return out;
}

OsOpenFailure OsClassifyOpenError(int error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_DEV_NOT_EXIST:
        case ERROR_DEVICE_NOT_CONNECTED:
            return OsOpenFailure::Missing;
        // A port that another program has open is refused with access denied.
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_BUSY:
            return OsOpenFailure::Held;
        default:
            return OsOpenFailure::Other;
    }
}
