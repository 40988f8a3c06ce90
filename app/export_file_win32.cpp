// Windows: the name is judged by its attributes and by what opening it without following a reparse point
// finds (device names such as NUL answer attributes too); the new file is made exclusively beside it and
// moved over the name.
#include <windows.h>

#include <string>

#include "app/export_file.h"
#include "serial/serial_os.h"

namespace {

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

std::string Utf8Of(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

ExportFileResult Failed(const std::filesystem::path& what, DWORD error) {
    return {ExportFileResult::Kind::Failed, Utf8Of(what) + ": " + OsErrorText(static_cast<int>(error))};
}

}  // namespace

ExportFileResult WriteExportFile(const std::filesystem::path& path, std::string_view content) {
    using Kind = ExportFileResult::Kind;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            return {Kind::IsLink, {}};
        }
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            return {Kind::NotRegular, {}};
        }
        HANDLE existing =
            CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (existing != INVALID_HANDLE_VALUE) {
            const DWORD type = GetFileType(existing);
            CloseHandle(existing);
            if (type != FILE_TYPE_DISK) {
                return {Kind::NotRegular, {}};
            }
        }
    } else if (const DWORD error = GetLastError();
               error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
        return Failed(path, error);
    }
    const std::filesystem::path folder =
        path.has_parent_path() ? path.parent_path() : std::filesystem::path(L".");
    HANDLE file = INVALID_HANDLE_VALUE;
    std::filesystem::path temp;
    for (unsigned attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
        temp = folder / (L"." + path.filename().wstring() + L"." + std::to_wstring(GetCurrentProcessId()) +
                         L"-" + std::to_wstring(GetTickCount64() + attempt));
        file =
            CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) {
            break;
        }
    }
    if (file == INVALID_HANDLE_VALUE) {
        return Failed(folder, GetLastError());
    }
    const bool written = WriteAll(file, content) && FlushFileBuffers(file);
    const DWORD writeError = GetLastError();
    CloseHandle(file);
    if (!written) {
        DeleteFileW(temp.c_str());
        return Failed(temp, writeError);
    }
    // Replaces the name's own entry; a reparse point put there meanwhile is replaced, not followed.
    if (!MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD moveError = GetLastError();
        DeleteFileW(temp.c_str());
        return Failed(path, moveError);
    }
    return {};
}
