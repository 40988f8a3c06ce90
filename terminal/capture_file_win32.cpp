// Windows: opened without following a reparse point and judged on the handle (a device name such as NUL
// or COM1 opens too, and is refused by its file type); the file stays shared for reading, so the log can
// be watched while it grows, but not for deleting, so it cannot lose its name while open.
#include <windows.h>

#include "serial/serial_os.h"
#include "terminal/capture_file.h"

namespace {

std::string Utf8Of(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string Named(const std::filesystem::path& path, const std::string& why) {
    return Utf8Of(path) + ": " + why;
}

std::string SystemText(DWORD error) {
    return OsErrorText(static_cast<int>(error));
}

}  // namespace

std::unique_ptr<CCaptureFile> CCaptureFile::Open(const std::filesystem::path& path, bool append,
                                                 std::string& error) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        error = Named(path, "is a link, not a regular file");
        return nullptr;
    }
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        error = Named(path, "is a folder, not a regular file");
        return nullptr;
    }
    // FILE_FLAG_OPEN_REPARSE_POINT: a link that appeared since the look above is opened as itself.
    const DWORD access = append ? FILE_APPEND_DATA : GENERIC_WRITE;
    HANDLE file = CreateFileW(path.c_str(), access, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = Named(path, SystemText(GetLastError()));
        return nullptr;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool regular =
        GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &info) != 0 &&
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0;
    if (!regular) {
        CloseHandle(file);
        error = Named(path, "is not a regular file");
        return nullptr;
    }
    // A new capture starts empty.
    if (!append && !SetEndOfFile(file)) {
        error = Named(path, SystemText(GetLastError()));
        CloseHandle(file);
        return nullptr;
    }
    return std::unique_ptr<CCaptureFile>(new CCaptureFile(path, reinterpret_cast<std::intptr_t>(file)));
}

CCaptureFile::~CCaptureFile() {
    if (m_handle != -1) {
        CloseHandle(reinterpret_cast<HANDLE>(m_handle));
    }
}

bool CCaptureFile::Write(std::string_view bytes, std::string& error) {
    const HANDLE file = reinterpret_cast<HANDLE>(m_handle);
    while (!bytes.empty()) {
        const DWORD chunk = bytes.size() > 0x10000000 ? 0x10000000 : static_cast<DWORD>(bytes.size());
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) {
            const DWORD code = GetLastError();
            error = Named(m_path, SystemText(code != 0 ? code : ERROR_DISK_FULL));
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

bool CCaptureFile::Close(std::string& error) {
    const HANDLE file = reinterpret_cast<HANDLE>(m_handle);
    m_handle = -1;
    bool ok = FlushFileBuffers(file) != 0;
    if (!ok) {
        error = Named(m_path, SystemText(GetLastError()));
    }
    CloseHandle(file);
    return ok;
}
