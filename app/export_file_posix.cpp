// Linux: lstat judges the name itself, mkstemp makes the 0600 file beside it, and rename replaces the name
// without following whatever is there by then.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "app/export_file.h"
#include "serial/serial_os.h"

namespace {

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

ExportFileResult Failed(const std::string& what, int error) {
    return {ExportFileResult::Kind::Failed, what + ": " + OsErrorText(error)};
}

}  // namespace

ExportFileResult WriteExportFile(const std::filesystem::path& path, std::string_view content) {
    using Kind = ExportFileResult::Kind;
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0) {
        if (S_ISLNK(st.st_mode)) {
            return {Kind::IsLink, {}};
        }
        if (!S_ISREG(st.st_mode)) {
            return {Kind::NotRegular, {}};
        }
    } else if (errno != ENOENT) {
        return Failed(path.string(), errno);
    }
    const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
    std::string temp = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
    const int fd = mkostemp(temp.data(), O_CLOEXEC);  // 0600, made new
    if (fd < 0) {
        return Failed(folder.string(), errno);
    }
    const bool written = WriteAll(fd, content) && fsync(fd) == 0;
    const int writeError = errno;
    close(fd);
    if (!written) {
        unlink(temp.c_str());
        return Failed(temp, writeError);
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        const int renameError = errno;
        unlink(temp.c_str());
        return Failed(path.string(), renameError);
    }
    return {};
}
