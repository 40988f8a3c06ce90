// Linux: opened with O_NOFOLLOW and O_NONBLOCK (a FIFO planted at the name must not hang the open) and
// judged by fstat on what was opened, so nothing can be swapped in between a check and the open; a file
// that has lost its last name (its folder removed) is told by its link count.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "serial/serial_os.h"
#include "terminal/capture_file.h"

namespace {

std::string Named(const std::filesystem::path& path, const std::string& why) {
    return path.string() + ": " + why;
}

const char* KindOf(mode_t mode) {
    if (S_ISLNK(mode)) {
        return "a symbolic link";
    }
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
    return nullptr;
}

// The same rules as for a report: a regular file of ours that only we may write.
bool CheckOpened(const std::filesystem::path& path, const struct stat& st, std::string& error) {
    if (!S_ISREG(st.st_mode)) {
        const char* kind = KindOf(st.st_mode);
        error = Named(path, std::string("is ") + (kind ? kind : "something else") + ", not a regular file");
        return false;
    }
    if (st.st_uid != geteuid()) {
        error = Named(path, "belongs to another user");
        return false;
    }
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        error = Named(path, "may be written by other users");
        return false;
    }
    return true;
}

}  // namespace

std::unique_ptr<CCaptureFile> CCaptureFile::Open(const std::filesystem::path& path, bool append,
                                                 std::string& error) {
    const int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | (append ? O_APPEND : 0);
    const int fd = open(path.c_str(), flags, 0600);
    if (fd < 0) {
        const int openError = errno;
        struct stat st {};
        const char* kind = lstat(path.c_str(), &st) == 0 ? KindOf(st.st_mode) : nullptr;
        error = kind ? Named(path, std::string("is ") + kind + ", not a regular file")
                     : Named(path, OsErrorText(openError));
        return nullptr;
    }
    struct stat st {};
    bool ok = fstat(fd, &st) == 0;
    if (!ok) {
        error = Named(path, OsErrorText(errno));
    } else {
        ok = CheckOpened(path, st, error);
    }
    // A new capture starts empty and, like a file made new, readable by its owner only.
    if (ok && !append && (ftruncate(fd, 0) != 0 || fchmod(fd, 0600) != 0)) {
        error = Named(path, OsErrorText(errno));
        ok = false;
    }
    // Writes wait for the disk from here on: the writer has a thread of its own.
    const int status = ok ? fcntl(fd, F_GETFL) : -1;
    if (ok && (status < 0 || fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0)) {
        error = Named(path, OsErrorText(errno));
        ok = false;
    }
    if (!ok) {
        close(fd);
        return nullptr;
    }
    return std::unique_ptr<CCaptureFile>(new CCaptureFile(path, fd));
}

CCaptureFile::~CCaptureFile() {
    if (m_handle >= 0) {
        close(static_cast<int>(m_handle));
    }
}

bool CCaptureFile::Write(std::string_view bytes, std::string& error) {
    const int fd = static_cast<int>(m_handle);
    while (!bytes.empty()) {
        const ssize_t n = write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            error = Named(m_path, OsErrorText(n < 0 ? errno : ENOSPC));
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    struct stat st {};
    if (fstat(fd, &st) == 0 && st.st_nlink == 0) {
        error = Named(m_path, "the file was removed (or its folder), so nothing more can be written to it");
        return false;
    }
    return true;
}

bool CCaptureFile::Close(std::string& error) {
    const int fd = static_cast<int>(m_handle);
    m_handle = -1;
    bool ok = fsync(fd) == 0;
    if (!ok) {
        error = Named(m_path, OsErrorText(errno));
    }
    if (close(fd) != 0 && ok) {
        error = Named(m_path, OsErrorText(errno));
        ok = false;
    }
    return ok;
}
