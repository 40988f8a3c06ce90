// Linux: files made 0600 from the start (mkstemp, open with mode 0600), replaced by rename, appended to
// without following a link and only when the file is the user's own.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "cli/console.h"
#include "cli/owner_file.h"

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

std::string FolderOf(const std::string& path) {
    const std::filesystem::path target(path);
    return target.has_parent_path() ? target.parent_path().string() : ".";
}

// A path that does not exist yet can be created when its folder is there and writable.
bool CheckFolder(const std::string& path, std::string& error) {
    const std::string folder = FolderOf(path);
    if (access(folder.c_str(), W_OK | X_OK) != 0) {
        error = Failed("write into", folder);
        return false;
    }
    return true;
}

const char* KindOf(mode_t mode) {
    if (S_ISDIR(mode)) {
        return "a folder";
    }
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        return "a device";
    }
    if (S_ISFIFO(mode)) {
        return "a FIFO";
    }
    if (S_ISSOCK(mode)) {
        return "a socket";
    }
    if (S_ISLNK(mode)) {
        return "a symbolic link";
    }
    return "not a regular file";
}

// The rules for a report someone else could have placed: a regular file of ours that only we may write.
bool CheckOwnRegularFile(const std::string& path, const struct stat& st, std::string& error) {
    if (!S_ISREG(st.st_mode)) {
        error = path + " is " + KindOf(st.st_mode) + ", not a regular file";
        return false;
    }
    if (st.st_uid != geteuid()) {
        error = path + " belongs to another user (uid " + std::to_string(st.st_uid) + ")";
        return false;
    }
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        error = path + " may be written by other users (mode " + std::to_string((st.st_mode >> 6) & 7) +
                std::to_string((st.st_mode >> 3) & 7) + std::to_string(st.st_mode & 7) + ")";
        return false;
    }
    return true;
}

}  // namespace

bool CheckReplaceablePath(const std::string& path, std::string& error) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) {
        if (errno != ENOENT) {
            error = Failed("look at", path);
            return false;
        }
        return CheckFolder(path, error);
    }
    if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
        error = path + " is " + KindOf(st.st_mode) + ", not a regular file; it is not replaced";
        return false;
    }
    return CheckFolder(path, error);
}

bool WriteOwnerOnlyFile(const std::string& path, std::string_view content, std::string& error) {
    if (!CheckReplaceablePath(path, error)) {
        return false;
    }
    const std::filesystem::path target(path);
    std::string name = ".";
    name += target.filename().string();
    name += ".XXXXXX";
    std::string temp = (std::filesystem::path(FolderOf(path)) / name).string();
    const int fd = mkstemp(temp.data());  // created exclusively, 0600 by definition
    if (fd < 0) {
        error = Failed("create a file in", FolderOf(path));
        return false;
    }
    const int held = HoldTemporaryPath(temp.c_str());
    const bool written = WriteAll(fd, content) && fsync(fd) == 0;
    if (!written) {
        error = Failed("write", temp);
    }
    close(fd);
    // rename replaces a link itself, never what it points to.
    const bool renamed = written && std::rename(temp.c_str(), path.c_str()) == 0;
    if (written && !renamed) {
        error = Failed("replace", path);
    }
    if (!renamed) {
        unlink(temp.c_str());
    }
    ReleaseTemporaryPath(held);
    return renamed;
}

bool CheckAppendablePath(const std::string& path, std::string& error) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) {
        if (errno != ENOENT) {
            error = Failed("look at", path);
            return false;
        }
        return CheckFolder(path, error);
    }
    return CheckOwnRegularFile(path, st, error);
}

bool AppendOwnerOnlyFile(const std::string& path, std::string_view first,
                         const std::vector<std::string>& pieces, std::string& error) {
    // O_NONBLOCK: a FIFO planted at the path must not hang the open; it is refused below.
    const int fd =
        open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) {
        // Told by what is at the path (a link, a FIFO, a folder) when that is why.
        const std::string failed = Failed("open", path);
        if (CheckAppendablePath(path, error)) {
            error = failed;
        }
        return false;
    }
    struct stat st {};
    bool ok = fstat(fd, &st) == 0;
    if (!ok) {
        error = Failed("look at", path);
    } else {
        ok = CheckOwnRegularFile(path, st, error);
    }
    // Two runs appending at once: only the first to find the file empty writes the header.
    if (ok && flock(fd, LOCK_EX) != 0) {
        error = Failed("lock", path);
        ok = false;
    }
    if (ok && fstat(fd, &st) == 0 && st.st_size == 0 && !WriteAll(fd, first)) {
        error = Failed("write", path);
        ok = false;
    }
    for (std::size_t i = 0; ok && i < pieces.size(); ++i) {
        if (!WriteAll(fd, pieces[i])) {
            error = Failed("write", path);
            ok = false;
        }
    }
    close(fd);  // and with it the lock
    return ok;
}
