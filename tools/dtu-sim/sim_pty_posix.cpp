// The simulator's POSIX seam: pseudo-terminal, port link, signal pipe and poll live here so the device
// model and the program's loop never see a descriptor flag or an errno.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "serial/port_directory.h"
#include "serial/port_names.h"
#include "tools/dtu-sim/sim_pty.h"

namespace {

constexpr long kDevptsMagic = 0x1cd1;
// Unix98 pseudo-terminal slaves use majors 136-143.
constexpr unsigned kPtySlaveMajorFirst = 136;
constexpr unsigned kPtySlaveMajorLast = 143;

std::string Errno(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

int MillisecondsUpTo(std::chrono::milliseconds left) {
    return static_cast<int>(std::clamp<long long>(left.count(), 0, 24LL * 3600 * 1000));
}

// Written by the handler only; -1 until the pipe exists.
volatile std::sig_atomic_t g_signalWriteFd = -1;

extern "C" void OnEndSignal(int signal) {
    const int saved = errno;
    const int fd = g_signalWriteFd;
    if (fd >= 0) {
        const auto byte = static_cast<unsigned char>(signal);
        [[maybe_unused]] const ssize_t n = write(fd, &byte, 1);
    }
    errno = saved;
}

std::string ReadLinkAt(int dirFd, const std::string& name) {
    char target[PATH_MAX];
    const ssize_t n = readlinkat(dirFd, name.c_str(), target, sizeof target);
    return n < 0 ? std::string() : std::string(target, static_cast<std::size_t>(n));
}

bool SetNonBlocking(int fd) {
    const int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

}  // namespace

CSimPty::~CSimPty() {
    if (m_slave >= 0) {
        close(m_slave);
    }
    if (m_master >= 0) {
        close(m_master);
    }
}

bool CSimPty::Open(std::string& error) {
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0) {
        error = Errno("posix_openpt");
        return false;
    }
    char name[128] = {};
    if (grantpt(m_master) != 0 || unlockpt(m_master) != 0 || ptsname_r(m_master, name, sizeof name) != 0) {
        error = Errno("grantpt/unlockpt/ptsname");
        return false;
    }
    if (!SetNonBlocking(m_master)) {
        error = Errno("fcntl O_NONBLOCK");
        return false;
    }
    m_slavePath = name;
    m_slave = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_slave < 0) {
        error = Errno("open " + m_slavePath);
        return false;
    }
    termios t{};
    if (tcgetattr(m_slave, &t) != 0) {
        error = Errno("tcgetattr " + m_slavePath);
        return false;
    }
    cfmakeraw(&t);
    cfsetspeed(&t, B9600);
    if (tcsetattr(m_slave, TCSANOW, &t) != 0) {
        error = Errno("tcsetattr " + m_slavePath);
        return false;
    }
    return true;
}

bool CSimPty::ReadAvailable(std::vector<uint8_t>& out, std::string& error) {
    uint8_t buffer[4096];
    for (;;) {
        const ssize_t n = read(m_master, buffer, sizeof buffer);
        if (n > 0) {
            out.insert(out.end(), buffer, buffer + n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return true;
        }
        error = n == 0 ? std::string("the pseudo-terminal closed") : Errno("read");
        return false;
    }
}

bool CSimPty::WriteAll(std::span<const uint8_t> bytes, std::chrono::milliseconds timeout,
                       std::string& error) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(m_master, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            error = Errno("write");
            return false;
        }
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{m_master, POLLOUT, 0};
        if (left.count() <= 0 || poll(&p, 1, MillisecondsUpTo(left)) == 0) {
            error =
                "the port's buffer stayed full; " + std::to_string(bytes.size() - done) + " bytes not sent";
            return false;
        }
    }
    return true;
}

std::size_t CSimPty::PortBacklog() const {
    int n = 0;
    if (ioctl(m_slave, FIONREAD, &n) != 0 || n < 0) {
        return 0;
    }
    return static_cast<std::size_t>(n);
}

void CSimPty::DropPortBacklog() {
    tcflush(m_slave, TCIFLUSH);
}

bool IsPtySlave(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) {
        return false;
    }
    struct statfs fs {};
    if (statfs(path.c_str(), &fs) == 0 && static_cast<long>(fs.f_type) == kDevptsMagic) {
        return true;
    }
    const unsigned major = ::major(st.st_rdev);
    return major >= kPtySlaveMajorFirst && major <= kPtySlaveMajorLast;
}

bool IsRealDevice(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode) && !IsPtySlave(path);
}

bool CPortLink::Create(int n, const std::string& target, std::string& error) {
    const OwnDirectory dir = MakePortDirectory();
    if (dir.fd < 0) {
        error = "not linking COM" + std::to_string(n) + ": " + dir.refusal.value_or(dir.path);
        return false;
    }
    // Two simulators started at once must not both find the name free.
    if (flock(dir.fd, LOCK_EX) != 0) {
        error = Errno("lock " + dir.path);
        close(dir.fd);
        return false;
    }
    const std::string name = "COM" + std::to_string(n);
    const std::string path = dir.path + "/" + name;
    bool made = false;
    struct stat st {};
    if (fstatat(dir.fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        made = symlinkat(target.c_str(), dir.fd, name.c_str()) == 0;
        if (!made) {
            error = Errno("symlink " + path);
        }
    } else if (!S_ISLNK(st.st_mode)) {
        error = path + " exists and is not a link; leaving it alone";
    } else {
        struct stat dev {};
        struct stat ours {};
        const bool live = fstatat(dir.fd, name.c_str(), &dev, 0) == 0 && S_ISCHR(dev.st_mode);
        // A killed simulator's pty number may already be ours again; that link is as good as stale.
        const bool mine = live && stat(target.c_str(), &ours) == 0 && dev.st_rdev == ours.st_rdev;
        if (live && !mine) {
            error = path + " -> " + ReadLinkAt(dir.fd, name) +
                    " is a live device; stop what uses it or pick another --com";
        } else {
            // A link to nothing, e.g. left by a simulator that was killed: replace it in one step.
            const std::string temp = name + ".new." + std::to_string(getpid());
            unlinkat(dir.fd, temp.c_str(), 0);
            made = symlinkat(target.c_str(), dir.fd, temp.c_str()) == 0 &&
                   renameat(dir.fd, temp.c_str(), dir.fd, name.c_str()) == 0;
            if (!made) {
                error = Errno("replace " + path);
                unlinkat(dir.fd, temp.c_str(), 0);
            }
        }
    }
    flock(dir.fd, LOCK_UN);
    if (!made) {
        close(dir.fd);
        return false;
    }
    m_dirFd = dir.fd;
    m_name = name;
    m_path = path;
    m_target = target;
    return true;
}

void CPortLink::Remove() {
    if (m_dirFd < 0) {
        return;
    }
    if (ReadLinkAt(m_dirFd, m_name) == m_target) {
        unlinkat(m_dirFd, m_name.c_str(), 0);
    }
    close(m_dirFd);
    m_dirFd = -1;
    m_path.clear();
}

bool WriteFileReplacing(const std::string& path, std::span<const uint8_t> bytes, std::string& error) {
    std::string temp = path + ".XXXXXX";
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        error = Errno("create " + temp);
        return false;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    bool ok = done == bytes.size();
    if (!ok) {
        error = Errno("write " + temp);
    }
    if (close(fd) != 0 && ok) {
        ok = false;
        error = Errno("close " + temp);
    }
    if (ok && rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        error = Errno("rename " + temp + " to " + path);
    }
    if (!ok) {
        unlink(temp.c_str());
    }
    return ok;
}

CSignalPipe::~CSignalPipe() {
    if (m_fds[1] >= 0) {
        g_signalWriteFd = -1;
        close(m_fds[1]);
    }
    if (m_fds[0] >= 0) {
        close(m_fds[0]);
    }
}

bool CSignalPipe::Install(std::string& error) {
    if (pipe2(m_fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        error = Errno("pipe");
        return false;
    }
    g_signalWriteFd = m_fds[1];
    struct sigaction action {};
    action.sa_handler = OnEndSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        if (sigaction(signal, &action, nullptr) != 0) {
            error = Errno("sigaction");
            return false;
        }
    }
    std::signal(SIGPIPE, SIG_IGN);
    return true;
}

std::optional<int> CSignalPipe::Take() {
    unsigned char byte = 0;
    if (read(m_fds[0], &byte, 1) == 1) {
        return byte;
    }
    return std::nullopt;
}

WaitResult WaitForWork(const CSimPty& pty, const CSignalPipe& signals,
                       std::optional<std::chrono::milliseconds> timeout) {
    pollfd fds[2] = {{signals.ReadFd(), POLLIN, 0}, {pty.MasterFd(), POLLIN, 0}};
    WaitResult result;
    const int n = poll(fds, 2, timeout ? MillisecondsUpTo(*timeout) : -1);
    if (n < 0) {
        if (errno != EINTR) {
            result.failed = true;
            result.error = Errno("poll");
        }
        return result;
    }
    result.signal = (fds[0].revents & POLLIN) != 0;
    result.readable = (fds[1].revents & POLLIN) != 0;
    if ((fds[1].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0 && !result.readable) {
        result.failed = true;
        result.error = "the pseudo-terminal reported a hang-up or error";
    }
    return result;
}
