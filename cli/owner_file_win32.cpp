// Windows: the same replace-through-a-temporary-file and append, with wide paths and the system's own error
// texts; the files take their folder's default ACL, so an existing report is not judged by its owner.
#include <windows.h>

#include <string>

#include "cli/console.h"
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

// A path that does not exist yet can be created when its folder is there.
bool CheckFolder(const std::filesystem::path& target, std::string& error) {
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        error = Failed("write into", Utf8Of(folder),
                       attributes == INVALID_FILE_ATTRIBUTES ? GetLastError() : ERROR_DIRECTORY);
        return false;
    }
    return true;
}

// What path is without following a link: 0 when absent, else its attributes; kind names what is not a
// regular file (a folder, a device such as NUL or COM1, a pipe).
bool Inspect(const std::string& path, DWORD& attributes, const char*& kind, std::string& error) {
    const std::filesystem::path target = PathFromUtf8(path);
    kind = nullptr;
    attributes = GetFileAttributesW(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) {
            attributes = 0;
            return CheckFolder(target, error);
        }
        error = Failed("look at", path, code);
        return false;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        kind = "a link";
        return true;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        kind = "a folder";
        return true;
    }
    HANDLE file =
        CreateFileW(target.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = Failed("open", path, GetLastError());
        return false;
    }
    if (GetFileType(file) != FILE_TYPE_DISK) {
        kind = "a device";
    }
    CloseHandle(file);
    return true;
}

}  // namespace

bool CheckReplaceablePath(const std::string& path, std::string& error) {
    DWORD attributes = 0;
    const char* kind = nullptr;
    if (!Inspect(path, attributes, kind, error)) {
        return false;
    }
    // A link is replaced as a link: MoveFileEx renames over the link itself.
    if (kind != nullptr && std::string_view(kind) != "a link") {
        error = path + " is " + kind + ", not a regular file; it is not replaced";
        return false;
    }
    return true;
}

bool WriteOwnerOnlyFile(const std::string& path, std::string_view content, std::string& error) {
    if (!CheckReplaceablePath(path, error)) {
        return false;
    }
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
    const std::string tempText = Utf8Of(temp);
    const int held = HoldTemporaryPath(tempText.c_str());
    const bool written = WriteAll(file, content) && FlushFileBuffers(file);
    const DWORD writeError = GetLastError();
    CloseHandle(file);
    bool ok = written;
    if (!written) {
        error = Failed("write", path, writeError);
    } else if (!MoveFileExW(temp.c_str(), target.c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = Failed("replace", path, GetLastError());
        ok = false;
    }
    if (!ok) {
        DeleteFileW(temp.c_str());
    }
    ReleaseTemporaryPath(held);
    return ok;
}

bool CheckAppendablePath(const std::string& path, std::string& error) {
    DWORD attributes = 0;
    const char* kind = nullptr;
    if (!Inspect(path, attributes, kind, error)) {
        return false;
    }
    if (kind != nullptr) {
        error = path + " is " + kind + ", not a regular file";
        return false;
    }
    return true;
}

bool AppendOwnerOnlyFile(const std::string& path, std::string_view first,
                         const std::vector<std::string>& pieces, std::string& error) {
    if (!CheckAppendablePath(path, error)) {
        return false;
    }
    const std::filesystem::path target = PathFromUtf8(path);
    // FILE_FLAG_OPEN_REPARSE_POINT: a link that appeared since the check is opened as itself, not followed.
    // GENERIC_READ because LockFileEx wants it; shared for writing because the lock, not the open, orders
    // runs.
    HANDLE file =
        CreateFileW(target.c_str(), FILE_APPEND_DATA | GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = Failed("open", path, GetLastError());
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    bool ok = GetFileInformationByHandle(file, &info) != 0 && GetFileType(file) == FILE_TYPE_DISK &&
              (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0;
    if (!ok) {
        error = path + " is not a regular file";
        CloseHandle(file);
        return false;
    }
    // Two runs appending at once: only the first to find the file empty writes the header.
    OVERLAPPED whole{};
    if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) {
        error = Failed("lock", path, GetLastError());
        CloseHandle(file);
        return false;
    }
    LARGE_INTEGER size{};
    ok = GetFileSizeEx(file, &size) != 0;
    if (ok && size.QuadPart == 0) {
        ok = WriteAll(file, first);
    }
    for (std::size_t i = 0; ok && i < pieces.size(); ++i) {
        ok = WriteAll(file, pieces[i]);
    }
    if (!ok) {
        error = Failed("write", path, GetLastError());
    }
    UnlockFileEx(file, 0, MAXDWORD, MAXDWORD, &whole);
    CloseHandle(file);
    return ok;
}
