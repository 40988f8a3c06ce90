// Linux seam of the serial engine: termios2 through the kernel's own headers (the only way to set any rate,
// 43000 included), poll and eventfd. libc's <termios.h> must stay out of this file: its struct termios
// clashes with the one in <asm/termbits.h>.
#include <asm/termbits.h>
#include <fcntl.h>
#include <linux/major.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <string>
#include <utility>

#include "serial/mode_text.h"
#include "serial/modem_lines.h"
#include "serial/port_names.h"
#include "serial/serial_by_id.h"
#include "serial/serial_os.h"
#include "serial/termios_posix.h"

struct OsPort {
    int fd = -1;
};

struct OsEvent {
    int fd = -1;
};

namespace {

int CloseAfterError(int fd) {
    const int error = errno;
    close(fd);
    return error;
}

// Raises RTS. A port without modem lines (a pseudo-terminal) is not a failure.
int RaiseRts(int fd) {
    const int bits = TIOCM_RTS;
    if (ioctl(fd, TIOCMBIS, &bits) != 0 && errno != ENOTTY && errno != EINVAL) {
        return errno;
    }
    return 0;
}

bool IsPseudoTerminal(const struct stat& st) {
    const unsigned kind = major(st.st_rdev);
    return (kind >= UNIX98_PTY_SLAVE_MAJOR && kind < UNIX98_PTY_SLAVE_MAJOR + UNIX98_PTY_MAJOR_COUNT) ||
           kind == PTY_SLAVE_MAJOR;
}

}  // namespace

int OsOpenPort(std::string_view devicePath, OsPort*& port) {
    // A device's own name under /dev/serial/by-id is the system's, made for each adapter: taken as it is.
    const PortResolution resolved = IsSerialByIdPath(devicePath)
                                        ? PortResolution{std::string(devicePath), std::nullopt}
                                        : ResolveDevicePath(devicePath);
    if (resolved.path.empty()) {
        return ENOENT;
    }
    if (resolved.refusal) {
        return EACCES;
    }
    const int fd = open(resolved.path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    // Only a terminal is a port, whatever the path led to by the time it was opened.
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        return CloseAfterError(fd);
    }
    if (!S_ISCHR(st.st_mode) || !isatty(fd)) {
        close(fd);
        return ENOTTY;
    }
    // Ownership is the lock: it ends with its holder's process, however that ends, and it stops root too. It
    // comes first so a refused open leaves a live holder's exclusive flag alone.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        return CloseAfterError(fd);
    }
    // The lock is ours, so an exclusive flag still set was left by a holder that has ended: the flag lives as
    // long as the terminal does, and the other side of a pseudo-terminal keeps it.
    int exclusive = 0;
    if (ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0 && ioctl(fd, TIOCNXCL) != 0) {
        return CloseAfterError(fd);
    }
    // Exclusive mode also keeps out programs that take no lock, but only where it ends with its holder: on a
    // pseudo-terminal it would outlive a holder that is killed and shut ordinary users out of the port.
    if (!IsPseudoTerminal(st) && ioctl(fd, TIOCEXCL) != 0 && errno != ENOTTY && errno != EINVAL) {
        return CloseAfterError(fd);
    }
    port = new OsPort{fd};
    return 0;
}

void OsClosePort(OsPort* port, bool discardOutput) {
    if (discardOutput) {
        ioctl(port->fd, TCFLSH, TCOFLUSH);
    }
    ioctl(port->fd, TIOCNXCL);
    close(port->fd);
    delete port;
}

std::optional<OsCallFailure> OsConfigurePort(OsPort* port, std::string_view modeText, unsigned) {
    // "SetCommTimeouts()": reads and writes never block here; the write time-out is the worker's deadline.
    // "SetCommMask()": the engine acts on the mask it was given.
    TermiosValue settings;
    if (const int error = OsGetSettings(port->fd, settings); error != 0) {
        return OsCallFailure{"GetCommState()", error};
    }
    // The event character 'q' has no terminal setting: the worker sends WM_PORT_RXFLAG after every port
    // wake-up instead. RTS is raised once the settings are in place.
    const auto line = ParseModeText(modeText);
    if (!line) {
        return OsCallFailure{"BuildCommDCB()", EINVAL};
    }
    ApplyLineSettings(*line, settings);
    TermiosValue readBack;
    if (const int error = OsSetSettings(port->fd, settings, readBack); error != 0) {
        return OsCallFailure{"SetCommState()", error};
    }
    if (!SpeedWithinTolerance(line->baud, readBack.ospeed)) {
        return OsCallFailure{"SetCommState()", EINVAL};
    }
    if (const int error = RaiseRts(port->fd); error != 0) {
        return OsCallFailure{"SetCommState()", error};
    }
    return std::nullopt;
}

int OsPurge(OsPort* port) {
    return ioctl(port->fd, TCFLSH, TCIOFLUSH) == 0 ? 0 : errno;
}

int OsPurgeOutput(OsPort* port) {
    std::size_t queued = 0;
    if (OsOutputCount(port, queued) == 0 && queued == 0) {
        return 0;
    }
    return ioctl(port->fd, TCFLSH, TCOFLUSH) == 0 ? 0 : errno;
}

int OsOutputCount(OsPort* port, std::size_t& count) {
    int n = 0;
    if (ioctl(port->fd, TIOCOUTQ, &n) != 0) {
        return errno;
    }
    count = static_cast<std::size_t>(n < 0 ? 0 : n);
    return 0;
}

int OsRead(OsPort* port, std::span<std::uint8_t> buffer, std::size_t& done) {
    done = 0;
    const ssize_t n = read(port->fd, buffer.data(), buffer.size());
    if (n < 0) {
        return errno;
    }
    done = static_cast<std::size_t>(n);
    // The terminal layer hands out at most 4 KB a read although more may be waiting behind it: take what
    // is there now, so that one run holds every byte then waiting. Whatever stops the loop (nothing more,
    // end of file, an error) is met again by the next wait and read.
    while (n > 0 && done < buffer.size()) {
        const ssize_t more = read(port->fd, buffer.data() + done, buffer.size() - done);
        if (more <= 0) {
            break;
        }
        done += static_cast<std::size_t>(more);
    }
    return 0;
}

const char* OsReadCallName(const OsPort* /*port*/) {
    return "ReadFile()";
}

int OsWrite(OsPort* port, std::span<const std::uint8_t> bytes, std::size_t& done) {
    done = 0;
    const ssize_t n = write(port->fd, bytes.data(), bytes.size());
    if (n < 0) {
        return errno;
    }
    done = static_cast<std::size_t>(n);
    return 0;
}

int OsSetModemLines(OsPort* port, unsigned lines, bool on) {
    const int bits = ((lines & kLineDtr) ? TIOCM_DTR : 0) | ((lines & kLineRts) ? TIOCM_RTS : 0);
    return ioctl(port->fd, on ? TIOCMBIS : TIOCMBIC, &bits) == 0 ? 0 : errno;
}

int OsGetModemLines(OsPort* port, unsigned& lines) {
    int bits = 0;
    if (ioctl(port->fd, TIOCMGET, &bits) != 0) {
        return errno;
    }
    constexpr std::pair<int, unsigned> kBits[] = {{TIOCM_DTR, kLineDtr}, {TIOCM_RTS, kLineRts},
                                                  {TIOCM_CTS, kLineCts}, {TIOCM_DSR, kLineDsr},
                                                  {TIOCM_CD, kLineDcd},  {TIOCM_RI, kLineRi}};
    lines = 0;
    for (const auto& [bit, line] : kBits) {
        lines |= (bits & bit) ? line : 0u;
    }
    return 0;
}

int OsCreateEvent(OsEvent*& event) {
    const int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    event = new OsEvent{fd};
    return 0;
}

void OsSignalEvent(OsEvent* event) {
    const std::uint64_t one = 1;
    // A full counter (never reached here) still leaves the event signalled, which is all that matters.
    [[maybe_unused]] const ssize_t n = write(event->fd, &one, sizeof one);
}

void OsResetEvent(OsEvent* event) {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = read(event->fd, &count, sizeof count);
}

void OsCloseEvent(OsEvent* event) {
    close(event->fd);
    delete event;
}

int OsWait(std::span<OsWaitItem> items, int timeoutMs) {
    std::array<pollfd, 4> fds{};
    if (items.size() > fds.size()) {
        return EINVAL;
    }
    for (std::size_t i = 0; i < items.size(); ++i) {
        OsWaitItem& item = items[i];
        item.ready = false;
        item.hangup = false;
        if (item.event) {
            fds[i].fd = item.event->fd;
            fds[i].events = POLLIN;
        } else if (item.port) {
            // A port is watched for a hang-up even when neither input nor output is asked for.
            fds[i].fd = item.port->fd;
            fds[i].events =
                static_cast<short>((item.wantInput ? POLLIN : 0) | (item.wantOutput ? POLLOUT : 0));
        } else {
            fds[i].fd = -1;
        }
    }
    if (poll(fds.data(), items.size(), timeoutMs) < 0) {
        return errno;
    }
    for (std::size_t i = 0; i < items.size(); ++i) {
        items[i].ready = (fds[i].revents & fds[i].events) != 0;
        items[i].hangup = items[i].port && (fds[i].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    }
    return 0;
}
