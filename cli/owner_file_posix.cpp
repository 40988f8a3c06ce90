// Linux: files made 0600 from the start (mkstemp, open with mode 0600), replaced by rename.
#include "cli/owner_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

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

std::string Failed(const std::string& what, const std::string& path) {
    return "cannot " + what + " " + path + ": " + std::strerror(errno);
}

}  // namespace

bool WriteOwnerOnlyFile(const std::string& path, std::string_view content, std::string& error) {
    const std::filesystem::path target(path);
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
    std::string name = ".";
    name += target.filename().string();
    name += ".XXXXXX";
    std::string temp = (folder / name).string();
    const int fd = mkstemp(temp.data());  // 0600 by definition
    if (fd < 0) {
        error = Failed("create a file in", folder.string());
        return false;
    }
    const bool written = WriteAll(fd, content) && fsync(fd) == 0;
    if (!written) {
        error = Failed("write", temp);
    }
    close(fd);
    if (!written || std::rename(temp.c_str(), path.c_str()) != 0) {
        if (written) {
            error = Failed("replace", path);
        }
        unlink(temp.c_str());
        return false;
    }
    return true;
}

bool AppendOwnerOnlyFile(const std::string& path, std::string_view first, std::string_view content,
                         std::string& error) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = Failed("open", path);
        return false;
    }
    struct stat st {};
    bool ok = fstat(fd, &st) == 0;
    if (ok && st.st_size == 0) {
        ok = WriteAll(fd, first);
    }
    ok = ok && WriteAll(fd, content);
    if (!ok) {
        error = Failed("write", path);
    }
    close(fd);
    return ok;
}
