// Linux seam of the serial engine: termios2 through the kernel's own headers (the only way to set any rate,
// 43000 included), poll and eventfd. libc's <termios.h> must stay out of this file: its struct termios
// clashes with the one in <asm/termbits.h>.
#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <string>

#include "serial/port_names.h"
#include "serial/serial_os.h"

namespace {

termios2 ToKernel(const TermiosValue& value) {
    termios2 t{};
    t.c_iflag = value.iflag;
    t.c_oflag = value.oflag;
    t.c_cflag = value.cflag;
    t.c_lflag = value.lflag;
    t.c_line = value.line;
    std::copy(value.cc.begin(), value.cc.end(), t.c_cc);
    t.c_ispeed = value.ispeed;
    t.c_ospeed = value.ospeed;
    return t;
}

TermiosValue FromKernel(const termios2& t) {
    TermiosValue value;
    value.iflag = t.c_iflag;
    value.oflag = t.c_oflag;
    value.cflag = t.c_cflag;
    value.lflag = t.c_lflag;
    value.line = t.c_line;
    std::copy(t.c_cc, t.c_cc + NCCS, value.cc.begin());
    value.ispeed = t.c_ispeed;
    value.ospeed = t.c_ospeed;
    return value;
}

int CloseAfterError(int fd) {
    const int error = errno;
    close(fd);
    return error;
}

}  // namespace

int OsOpenPort(std::string_view devicePath, int& fd) {
    const PortResolution resolved = ResolveDevicePath(devicePath);
    if (resolved.path.empty()) {
        return ENOENT;
    }
    if (resolved.refusal) {
        return EACCES;
    }
    const int port = open(resolved.path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (port < 0) {
        return errno;
    }
    // Only a terminal is a port, whatever the path led to by the time it was opened.
    struct stat st {};
    if (fstat(port, &st) != 0) {
        return CloseAfterError(port);
    }
    if (!S_ISCHR(st.st_mode) || !isatty(port)) {
        close(port);
        return ENOTTY;
    }
    // TIOCEXCL does not stop root from opening the port again; the lock does, for every program that
    // takes it. It comes first so a refused open leaves the other holder's exclusive flag alone.
    if (flock(port, LOCK_EX | LOCK_NB) != 0) {
        return CloseAfterError(port);
    }
    int exclusive = 0;
    if (ioctl(port, TIOCGEXCL, &exclusive) == 0 && exclusive != 0) {
        close(port);
        return EBUSY;
    }
    if (ioctl(port, TIOCEXCL) != 0 && errno != ENOTTY && errno != EINVAL) {
        return CloseAfterError(port);
    }
    fd = port;
    return 0;
}

void OsClosePort(int fd, bool discardOutput) {
    if (discardOutput) {
        ioctl(fd, TCFLSH, TCOFLUSH);
    }
    ioctl(fd, TIOCNXCL);
    close(fd);
}

int OsGetSettings(int fd, TermiosValue& value) {
    termios2 t{};
    if (ioctl(fd, TCGETS2, &t) != 0) {
        return errno;
    }
    value = FromKernel(t);
    return 0;
}

int OsSetSettings(int fd, const TermiosValue& value, TermiosValue& readBack) {
    const termios2 t = ToKernel(value);
    if (ioctl(fd, TCSETS2, &t) != 0) {
        return errno;
    }
    return OsGetSettings(fd, readBack);
}

int OsRaiseRts(int fd) {
    const int bits = TIOCM_RTS;
    if (ioctl(fd, TIOCMBIS, &bits) != 0 && errno != ENOTTY && errno != EINVAL) {
        return errno;
    }
    return 0;
}

int OsPurge(int fd) {
    return ioctl(fd, TCFLSH, TCIOFLUSH) == 0 ? 0 : errno;
}

int OsPurgeOutput(int fd) {
    return ioctl(fd, TCFLSH, TCOFLUSH) == 0 ? 0 : errno;
}

int OsOutputCount(int fd, std::size_t& count) {
    int n = 0;
    if (ioctl(fd, TIOCOUTQ, &n) != 0) {
        return errno;
    }
    count = static_cast<std::size_t>(n < 0 ? 0 : n);
    return 0;
}

int OsRead(int fd, std::span<std::uint8_t> buffer, std::size_t& done) {
    done = 0;
    const ssize_t n = read(fd, buffer.data(), buffer.size());
    if (n < 0) {
        return errno;
    }
    done = static_cast<std::size_t>(n);
    return 0;
}

int OsWrite(int fd, std::span<const std::uint8_t> bytes, std::size_t& done) {
    done = 0;
    const ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n < 0) {
        return errno;
    }
    done = static_cast<std::size_t>(n);
    return 0;
}

int OsCreateEvent(int& fd) {
    const int event = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (event < 0) {
        return errno;
    }
    fd = event;
    return 0;
}

void OsSignalEvent(int fd) {
    const std::uint64_t one = 1;
    // A full counter (never reached here) still leaves the event signalled, which is all that matters.
    [[maybe_unused]] const ssize_t n = write(fd, &one, sizeof one);
}

void OsResetEvent(int fd) {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = read(fd, &count, sizeof count);
}

void OsCloseEvent(int fd) {
    close(fd);
}

int OsWait(std::span<OsWaitItem> items, int timeoutMs) {
    std::array<pollfd, 4> fds{};
    if (items.size() > fds.size()) {
        return EINVAL;
    }
    for (std::size_t i = 0; i < items.size(); ++i) {
        fds[i].fd = items[i].fd;
        fds[i].events =
            static_cast<short>((items[i].wantInput ? POLLIN : 0) | (items[i].wantOutput ? POLLOUT : 0));
        items[i].ready = false;
        items[i].hangup = false;
    }
    if (poll(fds.data(), items.size(), timeoutMs) < 0) {
        return errno;
    }
    for (std::size_t i = 0; i < items.size(); ++i) {
        items[i].ready = (fds[i].revents & fds[i].events) != 0;
        items[i].hangup = (fds[i].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    }
    return 0;
}
