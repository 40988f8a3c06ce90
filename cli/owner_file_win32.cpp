// Windows: the same replace-through-a-temporary-file and append, with wide paths and the system's own error
// texts; the files take their folder's default ACL.
#include <windows.h>

#include <string>

#include "cli/owner_file.h"
#include "serial/serial_os.h"

namespace {

std::string Utf8Of(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string Failed(const std::string& what, const std::string& path, DWORD error) {
    return "cannot " + what + " " + path + ": " + OsErrorText(static_cast<int>(error));
}

bool WriteAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk = bytes.size() > 0x10000000 ? 0x10000000 : static_cast<DWORD>(bytes.size());
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) {
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

}  // namespace

bool WriteOwnerOnlyFile(const std::string& path, std::string_view content, std::string& error) {
    const std::filesystem::path target = PathFromUtf8(path);
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
    HANDLE file = INVALID_HANDLE_VALUE;
    std::filesystem::path temp;
    for (unsigned attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
        temp = folder / (L"." + target.filename().wstring() + L"." + std::to_wstring(GetCurrentProcessId()) +
                         L"-" + std::to_wstring(GetTickCount64() + attempt));
        file =
            CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) {
            break;
        }
    }
    if (file == INVALID_HANDLE_VALUE) {
        error = Failed("create a file in", Utf8Of(folder), GetLastError());
        return false;
    }
    const bool written = WriteAll(file, content) && FlushFileBuffers(file);
    const DWORD writeError = GetLastError();
    CloseHandle(file);
    if (!written) {
        error = Failed("write", path, writeError);
        DeleteFileW(temp.c_str());
        return false;
    }
    if (!MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = Failed("replace", path, GetLastError());
        DeleteFileW(temp.c_str());
        return false;
    }
    return true;
}

bool AppendOwnerOnlyFile(const std::string& path, std::string_view first, std::string_view content,
                         std::string& error) {
    const std::filesystem::path target = PathFromUtf8(path);
    HANDLE file = CreateFileW(target.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = Failed("open", path, GetLastError());
        return false;
    }
    LARGE_INTEGER size{};
    bool ok = GetFileSizeEx(file, &size) != 0;
    if (ok && size.QuadPart == 0) {
        ok = WriteAll(file, first);
    }
    ok = ok && WriteAll(file, content);
    if (!ok) {
        error = Failed("write", path, GetLastError());
    }
    CloseHandle(file);
    return ok;
}
