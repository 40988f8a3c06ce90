#include "tests/support/pty_fixture.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(left);
}

bool MakeRaw(int fd) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) {
        return false;
    }
    cfmakeraw(&t);
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

}  // namespace

CPtyFixture::CPtyFixture() {
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0) {
        m_error = std::string("posix_openpt: ") + std::strerror(errno);
        return;
    }
    char name[128] = {};
    if (grantpt(m_master) != 0 || unlockpt(m_master) != 0 || ptsname_r(m_master, name, sizeof name) != 0 ||
        fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK) != 0) {
        m_error = std::string("pty setup: ") + std::strerror(errno);
        close(m_master);
        m_master = -1;
        return;
    }
    m_slavePath = name;
    m_slave = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_slave < 0 || !MakeRaw(m_slave)) {
        m_error = "slave " + m_slavePath + ": " + std::strerror(errno);
    }
}

CPtyFixture::~CPtyFixture() {
    for (const std::string& link : m_links) {
        unlink(link.c_str());
    }
    CloseMaster();
    if (m_slave >= 0) {
        close(m_slave);
    }
}

std::string CPtyFixture::LinkAs(const std::string& dir, int n) {
    const std::string link = dir + "/COM" + std::to_string(n);
    unlink(link.c_str());
    if (symlink(m_slavePath.c_str(), link.c_str()) != 0) {
        m_error = "symlink " + link + ": " + std::strerror(errno);
        return {};
    }
    m_links.push_back(link);
    return link;
}

bool CPtyFixture::Write(std::span<const std::uint8_t> bytes, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    std::size_t done = 0;
    while (done < bytes.size() && m_master >= 0) {
        const ssize_t n = write(m_master, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        }
        const int left = MillisecondsLeft(deadline);
        if (left == 0) {
            return false;
        }
        pollfd p{m_master, POLLOUT, 0};
        poll(&p, 1, left);
    }
    return done == bytes.size();
}

bool CPtyFixture::Write(std::string_view text, std::chrono::milliseconds timeout) {
    return Write(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), timeout);
}

std::vector<std::uint8_t> CPtyFixture::Read(std::size_t count, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    std::vector<std::uint8_t> got;
    std::uint8_t buffer[4096];
    while (got.size() < count && m_master >= 0) {
        const ssize_t n = read(m_master, buffer, std::min(sizeof buffer, count - got.size()));
        if (n > 0) {
            got.insert(got.end(), buffer, buffer + n);
            continue;
        }
        const int left = MillisecondsLeft(deadline);
        if (left == 0) {
            break;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        pollfd p{m_master, POLLIN, 0};
        // Without a slave open the master reports a hang-up at once; wait a little instead of spinning.
        if (poll(&p, 1, left) > 0 && !(p.revents & POLLIN)) {
            usleep(5000);
        }
    }
    return got;
}

std::vector<std::uint8_t> CPtyFixture::ReadUntilQuiet(std::chrono::milliseconds quiet,
                                                      std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    std::vector<std::uint8_t> got;
    for (;;) {
        const auto left =
            std::min(quiet, std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()));
        if (left.count() <= 0) {
            break;
        }
        const std::vector<std::uint8_t> more = Read(65536, left);
        if (more.empty()) {
            break;
        }
        got.insert(got.end(), more.begin(), more.end());
    }
    return got;
}

std::size_t CPtyFixture::SlaveInputCount() const {
    int n = 0;
    if (m_slave < 0 || ioctl(m_slave, FIONREAD, &n) != 0 || n < 0) {
        return 0;
    }
    return static_cast<std::size_t>(n);
}

bool CPtyFixture::WaitSlaveInput(std::size_t count, std::chrono::milliseconds timeout) const {
    const auto deadline = Clock::now() + timeout;
    while (SlaveInputCount() < count) {
        if (Clock::now() >= deadline) {
            return false;
        }
        usleep(1000);
    }
    return true;
}

void CPtyFixture::CloseMaster() {
    if (m_master >= 0) {
        close(m_master);
        m_master = -1;
    }
}

CPortDirFixture::CPortDirFixture() {
    if (const char* previous = std::getenv("QUENDAL_PORT_DIR")) {
        m_hadPrevious = true;
        m_previous = previous;
    }
    std::string pattern = (std::filesystem::temp_directory_path() / "quendal-ports-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) {
        m_path = pattern;
        setenv("QUENDAL_PORT_DIR", m_path.c_str(), 1);
    }
    if (const char* previous = std::getenv("XDG_CONFIG_HOME")) {
        m_hadPreviousConfig = true;
        m_previousConfig = previous;
    }
    std::string config = (std::filesystem::temp_directory_path() / "quendal-config-XXXXXX").string();
    if (mkdtemp(config.data()) != nullptr) {
        m_configPath = config;
        setenv("XDG_CONFIG_HOME", m_configPath.c_str(), 1);
    }
}

CPortDirFixture::~CPortDirFixture() {
    if (m_hadPrevious) {
        setenv("QUENDAL_PORT_DIR", m_previous.c_str(), 1);
    } else {
        unsetenv("QUENDAL_PORT_DIR");
    }
    if (m_hadPreviousConfig) {
        setenv("XDG_CONFIG_HOME", m_previousConfig.c_str(), 1);
    } else {
        unsetenv("XDG_CONFIG_HOME");
    }
    for (const std::string& dir : {m_path, m_configPath}) {
        if (!dir.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(dir, ignored);
        }
    }
}
