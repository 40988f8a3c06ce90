// The built dtu-sim program, run as a child process in a temporary port directory and talked to through
// its COMn link, as the window would.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "serial/mode_text.h"
#include "serial/termios_posix.h"
#include "tests/support/bytes.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

const char* const kSimPath = QUENDAL_BINARY_DIR "/tools/dtu-sim/dtu-sim";

template <class Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!condition()) {
        if (Clock::now() >= deadline) {
            return condition();
        }
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

class CTempDir {
  public:
    CTempDir() {
        char name[] = "/tmp/dtu-sim-test-XXXXXX";
        if (mkdtemp(name)) {
            m_path = name;
        }
    }
    ~CTempDir() {
        std::error_code ec;
        fs::remove_all(m_path, ec);
    }
    const std::string& Path() const { return m_path; }
    std::string PortDir() const { return m_path + "/ports"; }
    std::string Link(int n) const { return PortDir() + "/COM" + std::to_string(n); }

  private:
    std::string m_path;
};

// One dtu-sim child with QUENDAL_PORT_DIR set to the test's directory and its stderr in a file.
class CSimProcess {
  public:
    CSimProcess(const CTempDir& dir, std::vector<std::string> args) {
        static int serial = 0;
        m_logPath = dir.Path() + "/sim" + std::to_string(++serial) + ".log";
        m_outPath = m_logPath + ".out";
        std::vector<std::string> env = {"QUENDAL_PORT_DIR=" + dir.PortDir()};
        for (char** e = environ; *e; ++e) {
            if (!std::string_view(*e).starts_with("QUENDAL_PORT_DIR=")) {
                env.emplace_back(*e);
            }
        }
        args.insert(args.begin(), kSimPath);
        std::vector<char*> argv;
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (std::string& e : env) {
            envp.push_back(e.data());
        }
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, m_logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 1, m_outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (posix_spawn(&m_pid, kSimPath, &actions, nullptr, argv.data(), envp.data()) != 0) {
            m_pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
    }
    ~CSimProcess() {
        if (m_pid > 0 && !m_status) {
            kill(m_pid, SIGTERM);
            if (!WaitExit(3s)) {
                kill(m_pid, SIGKILL);
                waitpid(m_pid, nullptr, 0);
            }
        }
    }
    CSimProcess(const CSimProcess&) = delete;
    CSimProcess& operator=(const CSimProcess&) = delete;

    pid_t Pid() const { return m_pid; }
    bool Running() {
        Reap();
        return m_pid > 0 && !m_status;
    }
    // The exit status once the process ended within timeout.
    std::optional<int> WaitExit(std::chrono::milliseconds timeout) {
        WaitUntil([this] { return !Running(); }, timeout);
        return m_status;
    }
    std::string Log() const { return ReadAll(m_logPath); }
    std::string Output() const { return ReadAll(m_outPath); }
    // User + system CPU time the process has used so far.
    std::chrono::milliseconds CpuTime() const {
        std::ifstream in("/proc/" + std::to_string(m_pid) + "/stat");
        std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::istringstream fields(stat.substr(stat.rfind(')') + 2));
        std::string field;
        long long utime = 0;
        long long stime = 0;
        for (int i = 3; i <= 15 && fields >> field; ++i) {
            if (i == 14) {
                utime = std::stoll(field);
            } else if (i == 15) {
                stime = std::stoll(field);
            }
        }
        return std::chrono::milliseconds((utime + stime) * 1000 / sysconf(_SC_CLK_TCK));
    }

    // Times the process has been switched out: one or two per wake-up, so it counts wake-ups.
    long long ContextSwitches() const {
        std::ifstream in("/proc/" + std::to_string(m_pid) + "/status");
        long long total = 0;
        for (std::string line; std::getline(in, line);) {
            if (line.find("ctxt_switches:") != std::string::npos) {
                total += std::stoll(line.substr(line.find(':') + 1));
            }
        }
        return total;
    }

  private:
    static std::string ReadAll(const std::string& path) {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    void Reap() {
        int status = 0;
        if (m_pid > 0 && !m_status && waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
    }

    pid_t m_pid = -1;
    std::optional<int> m_status;
    std::string m_logPath;
    std::string m_outPath;
};

// The window's side of the line: the port opened through its COMn link.
class CPort {
  public:
    explicit CPort(const std::string& path) { m_fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK); }
    ~CPort() { Close(); }
    CPort(const CPort&) = delete;
    CPort& operator=(const CPort&) = delete;

    bool IsOpen() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }
    void Close() {
        if (m_fd >= 0) {
            close(m_fd);
            m_fd = -1;
        }
    }
    // False when the bytes were not all taken within a few seconds.
    bool Write(const Bytes& bytes) {
        const auto deadline = Clock::now() + 3s;
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = write(m_fd, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else if ((n < 0 && errno != EAGAIN && errno != EINTR) || Clock::now() >= deadline) {
                return false;
            } else {
                pollfd p{m_fd, POLLOUT, 0};
                poll(&p, 1, 100);
            }
        }
        return true;
    }
    bool Write(std::string_view text) { return Write(ToBytes(text)); }

    // Reads until count bytes came or timeout passed.
    Bytes Read(std::size_t count, std::chrono::milliseconds timeout) {
        Bytes out;
        const auto deadline = Clock::now() + timeout;
        while (out.size() < count) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            pollfd p{m_fd, POLLIN, 0};
            if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) {
                break;
            }
            uint8_t buffer[512];
            const ssize_t n = read(m_fd, buffer, std::min(sizeof buffer, count - out.size()));
            if (n > 0) {
                out.insert(out.end(), buffer, buffer + n);
            }
        }
        return out;
    }
    // Reads until nothing came for quiet.
    Bytes ReadUntilQuiet(std::chrono::milliseconds quiet, std::chrono::milliseconds timeout) {
        Bytes out;
        const auto deadline = Clock::now() + timeout;
        for (;;) {
            Bytes more = Read(
                4096, std::min(quiet, std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now())));
            if (more.empty() || Clock::now() >= deadline) {
                out.insert(out.end(), more.begin(), more.end());
                return out;
            }
            out.insert(out.end(), more.begin(), more.end());
        }
    }
    std::string Ask(std::string_view command, std::size_t expected) {
        if (!Write(command)) {
            return "(not written)";
        }
        return ToText(Read(expected, 3s));
    }

  private:
    int m_fd = -1;
};

bool IsLinkTo(const std::string& link, std::string* target = nullptr) {
    std::error_code ec;
    const fs::path to = fs::read_symlink(link, ec);
    if (target) {
        *target = to.string();
    }
    return !ec;
}

bool WaitForLink(const std::string& link) {
    return WaitUntil([&] { return IsLinkTo(link) && fs::exists(link); }, 5s);
}

Bytes SaveFrame(const Bytes& record) {
    Bytes frame = ToBytes("DTU+CONFIG=");
    frame.insert(frame.end(), record.begin(), record.end());
    return frame;
}

TEST(DtuSimPtyTest, LinkNamesARawPseudoTerminal) {
    CTempDir dir;
    CSimProcess sim(dir, {"--com", "7"});
    ASSERT_TRUE(WaitForLink(dir.Link(7))) << sim.Log();
    std::string target;
    ASSERT_TRUE(IsLinkTo(dir.Link(7), &target));
    EXPECT_TRUE(target.starts_with("/dev/pts/")) << target;
    struct stat st {};
    ASSERT_EQ(stat(dir.Link(7).c_str(), &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));

    CPort port(dir.Link(7));
    ASSERT_TRUE(port.IsOpen());
    termios t{};
    ASSERT_EQ(tcgetattr(port.Fd(), &t), 0);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_iflag & (ICRNL | IXON), 0u);
    ASSERT_TRUE(WaitUntil([&] { return !sim.Log().empty(); }, 3s));
    EXPECT_TRUE(sim.Log().starts_with("dtu-sim COM7: " + dir.Link(7) + " -> " + target + ", 4G module"))
        << sim.Log();
}

TEST(DtuSimPtyTest, AnswersEachCommandOverTheLineAndLogsIt) {
    CTempDir dir;
    CSimProcess sim(dir, {"--record-out", dir.Path() + "/saved.bin"});
    ASSERT_TRUE(WaitForLink(dir.Link(1))) << sim.Log();
    CPort port(dir.Link(1));
    ASSERT_TRUE(port.IsOpen());

    ASSERT_TRUE(port.Write("DTU+CONFIG\r"));
    const Bytes answer = port.Read(448, 3s);
    ASSERT_EQ(answer.size(), 448u);
    EXPECT_EQ(ToText(Bytes(answer.begin(), answer.begin() + 8)), "+CONFIG=");
    EXPECT_EQ(answer[447], SumOf439(answer.data() + 8));
    EXPECT_EQ(answer[8], 0x01);  // firmware 0x0101, 4G
    EXPECT_EQ(answer[9], 0x01);
    EXPECT_EQ(ToText(Bytes(answer.begin() + 8 + 24, answer.begin() + 8 + 30)), std::string("CMNET\0", 6));
    EXPECT_TRUE(port.ReadUntilQuiet(200ms, 1s).empty());

    Bytes record(answer.begin() + 8, answer.end());
    std::fill(record.begin() + 24, record.begin() + 56, uint8_t{0});
    const Bytes apn = ToBytes("internet.test");
    std::copy(apn.begin(), apn.end(), record.begin() + 24);
    record[439] = SumOf439(record.data());
    Bytes broken = record;
    broken[439] = static_cast<uint8_t>(broken[439] ^ 0x01);

    ASSERT_TRUE(port.Write(SaveFrame(broken)));
    EXPECT_EQ(ToText(port.Read(15, 3s)), "+CONFIG ERROR\r\n");
    std::ifstream saved(dir.Path() + "/saved.bin", std::ios::binary);
    EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(saved), std::istreambuf_iterator<char>()), broken);

    ASSERT_TRUE(port.Write(SaveFrame(record)));
    EXPECT_EQ(ToText(port.Read(12, 3s)), "+CONFIG OK\r\n");
    ASSERT_TRUE(port.Write("DTU+CONFIG\r"));
    const Bytes reread = port.Read(448, 3s);
    ASSERT_EQ(reread.size(), 448u);
    EXPECT_EQ(Bytes(reread.begin() + 8, reread.end()), record);

    const std::string signal = port.Ask("DTU+CONFIG=CMD:AT+CSQ\r", 33);
    EXPECT_TRUE(
        std::regex_match(signal, std::regex(R"(\+CONFIG CMD:\r\n\+CSQ: (1[89]|2[0-6]),99\r\n\r\nOK\r\n)")))
        << signal;
    EXPECT_EQ(port.Ask("DTU+CONFIG=DEFAULT\r", 20), "+CONFIG DEFAULT OK\r\n");
    EXPECT_EQ(port.Ask("DTU+CONFIG=RESET\r", 18), "+CONFIG RESET OK\r\n");

    // One line at start and one per command, each naming the command.
    std::istringstream log(sim.Log());
    std::vector<std::string> lines;
    for (std::string line; std::getline(log, line);) {
        EXPECT_TRUE(line.starts_with("dtu-sim COM1: ")) << line;
        lines.push_back(line);
    }
    ASSERT_EQ(lines.size(), 8u) << sim.Log();
    EXPECT_NE(lines[1].find("DTU+CONFIG\\r"), std::string::npos) << lines[1];
    EXPECT_NE(lines[2].find("ERROR"), std::string::npos) << lines[2];
    EXPECT_NE(lines[3].find("internet.test"), std::string::npos) << lines[3];
    EXPECT_NE(lines[5].find("AT+CSQ"), std::string::npos) << lines[5];
    EXPECT_NE(lines[6].find("DEFAULT"), std::string::npos) << lines[6];
    EXPECT_NE(lines[7].find("RESET"), std::string::npos) << lines[7];
}

TEST(DtuSimPtyTest, EndingSignalsRemoveTheLink) {
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(strsignal(signal));
        CTempDir dir;
        CSimProcess sim(dir, {"--quiet"});
        ASSERT_TRUE(WaitForLink(dir.Link(1)));
        CPort port(dir.Link(1));
        ASSERT_TRUE(port.IsOpen());
        kill(sim.Pid(), signal);
        EXPECT_EQ(sim.WaitExit(3s), 0);
        EXPECT_FALSE(fs::exists(fs::symlink_status(dir.Link(1))));
        EXPECT_TRUE(sim.Log().empty()) << sim.Log();
    }
}

TEST(DtuSimPtyTest, SecondSimulatorOnTheSameNumberLeavesTheFirstAlone) {
    CTempDir dir;
    CSimProcess first(dir, {});
    ASSERT_TRUE(WaitForLink(dir.Link(1)));
    std::string target;
    ASSERT_TRUE(IsLinkTo(dir.Link(1), &target));

    CSimProcess second(dir, {});
    const auto status = second.WaitExit(3s);
    ASSERT_TRUE(status.has_value());
    EXPECT_NE(*status, 0);
    EXPECT_NE(second.Log().find("live device"), std::string::npos) << second.Log();

    std::string after;
    ASSERT_TRUE(IsLinkTo(dir.Link(1), &after));
    EXPECT_EQ(after, target);
    EXPECT_TRUE(first.Running());
    CPort port(dir.Link(1));
    EXPECT_EQ(port.Ask("DTU+CONFIG=DEFAULT\r", 20), "+CONFIG DEFAULT OK\r\n");
}

TEST(DtuSimPtyTest, StaleNamesAreReplacedAndLiveOrForeignOnesRefused) {
    // A pseudo-terminal that is gone, as after a killed simulator. Linux numbers them below 2^20, so no
    // process can bring this one back while the test runs, as one could with a number just freed.
    const std::string deadPty = "/dev/pts/" + std::to_string(1 << 20);
    struct Case {
        std::string name;
        std::string linkTo;  // empty: a plain file
        bool replaced;
    };
    const Case cases[] = {
        {"link to nothing", "/nonexistent/ttyUSB9", true},
        {"link to a pseudo-terminal that is gone", deadPty, true},
        {"link to a live character device", "/dev/null", false},
        {"plain file", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CTempDir dir;
        fs::create_directories(dir.PortDir());
        if (c.linkTo.empty()) {
            std::ofstream(dir.Link(1)) << "not a device";
        } else {
            ASSERT_EQ(symlink(c.linkTo.c_str(), dir.Link(1).c_str()), 0);
        }
        CSimProcess sim(dir, {});
        if (c.replaced) {
            // The simulator names its pty in its first log line; the link must lead there.
            const bool replaced = WaitUntil(
                [&] {
                    std::string t;
                    return IsLinkTo(dir.Link(1), &t) &&
                           sim.Log().find(dir.Link(1) + " -> " + t + ",") != std::string::npos;
                },
                5s);
            ASSERT_TRUE(replaced) << sim.Log();
            CPort port(dir.Link(1));
            EXPECT_EQ(port.Ask("DTU+CONFIG=RESET\r", 18), "+CONFIG RESET OK\r\n");
        } else {
            const auto status = sim.WaitExit(3s);
            ASSERT_TRUE(status.has_value());
            EXPECT_EQ(*status, 1) << sim.Log();
            std::string t;
            EXPECT_EQ(IsLinkTo(dir.Link(1), &t), !c.linkTo.empty());
            EXPECT_EQ(t, c.linkTo);
        }
    }
}

// Another local user may have made the port directory or be able to write to it: the simulator then links
// nothing and says why. Its record file holds the APN password, and a link placed at its name (or at the
// temporary name once used on the way) is replaced, never written through.
TEST(DtuSimPtyTest, LinksOnlyInADirectoryOfItsOwnAndWritesThroughNoLink) {
    struct Case {
        const char* name;
        bool linked;  // the port directory is a link to a directory of ours; else it is writable by all
    };
    for (const Case& c : {Case{"linked", true}, Case{"world-writable", false}}) {
        SCOPED_TRACE(c.name);
        CTempDir dir;
        const std::string real = c.linked ? dir.Path() + "/real" : dir.PortDir();
        ASSERT_EQ(mkdir(real.c_str(), 0700), 0);
        if (c.linked) {
            ASSERT_EQ(symlink(real.c_str(), dir.PortDir().c_str()), 0);
        } else {
            ASSERT_EQ(chmod(real.c_str(), 0777), 0);
        }
        CSimProcess sim(dir, {});
        EXPECT_EQ(sim.WaitExit(3s), 1);
        const std::string reason = c.linked ? " is a symbolic link, not a directory"
                                            : " is writable by its group or others (mode 0777)";
        EXPECT_EQ(sim.Log(), "dtu-sim: not linking COM1: " + dir.PortDir() + reason + "\n");
        EXPECT_FALSE(fs::exists(fs::symlink_status(real + "/COM1")));
    }

    CTempDir dir;
    const std::string victim = dir.Path() + "/victim";
    const std::string saved = dir.Path() + "/saved.bin";
    std::ofstream(victim) << "keep";
    ASSERT_EQ(symlink(victim.c_str(), saved.c_str()), 0);
    ASSERT_EQ(symlink(victim.c_str(), (saved + ".tmp").c_str()), 0);
    CSimProcess sim(dir, {"--quiet", "--record-out", saved});
    ASSERT_TRUE(WaitForLink(dir.Link(1))) << sim.Log();
    CPort port(dir.Link(1));
    const Bytes answer = ToBytes(port.Ask("DTU+CONFIG\r", 448));
    ASSERT_EQ(answer.size(), 448u);
    const Bytes record(answer.begin() + 8, answer.end());
    ASSERT_TRUE(port.Write(SaveFrame(record)));
    // The file is written before the answer goes out.
    EXPECT_EQ(ToText(port.Read(12, 3s)), "+CONFIG OK\r\n");
    std::ifstream kept(victim, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), std::istreambuf_iterator<char>()), "keep");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(saved)));
    std::ifstream written(saved, std::ios::binary);
    EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(written), std::istreambuf_iterator<char>()), record);
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(saved + ".tmp")));
}

TEST(DtuSimPtyTest, CheckRealTellsHardwareFromSimulatorsAndNothing) {
    CTempDir dir;
    fs::create_directories(dir.PortDir());
    // Numbers above 30 have no fallback device name, so only the directory decides. /dev/tty stands in for
    // hardware: a terminal that is no pseudo-terminal; /dev/null is no terminal at all.
    ASSERT_EQ(symlink("/dev/tty", dir.Link(41).c_str()), 0);
    ASSERT_EQ(symlink("/nonexistent/ttyUSB0", dir.Link(42).c_str()), 0);
    std::ofstream(dir.Link(43)) << "plain";
    ASSERT_EQ(symlink("/dev/null", dir.Link(46).c_str()), 0);
    CSimProcess running(dir, {"--com", "44", "--quiet"});
    ASSERT_TRUE(WaitForLink(dir.Link(44)));

    struct Case {
        int n;
        int expected;
    };
    const Case cases[] = {{41, 0}, {42, 1}, {43, 1}, {44, 1}, {45, 1}, {46, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.n);
        CSimProcess check(dir, {"--check-real", std::to_string(c.n)});
        EXPECT_EQ(check.WaitExit(3s), c.expected);
        EXPECT_TRUE(check.Log().empty()) << check.Log();
        EXPECT_FALSE(fs::exists(fs::symlink_status(dir.Link(45))));
    }
}

// Scripts ask the simulator where the names live rather than working it out again.
TEST(DtuSimPtyTest, PortDirIsPrintedAsThePortsAreLookedUp) {
    CTempDir dir;
    CSimProcess sim(dir, {"--port-dir"});
    EXPECT_EQ(sim.WaitExit(3s), 0);
    EXPECT_EQ(sim.Output(), dir.PortDir() + "\n");
    EXPECT_TRUE(sim.Log().empty()) << sim.Log();
    EXPECT_FALSE(fs::exists(dir.PortDir())) << "asking made the directory";
}

// Over one second with nothing to do, the simulator neither burns CPU nor wakes up now and then.
void ExpectIdle(CSimProcess& sim, const char* state) {
    const auto cpu = sim.CpuTime();
    const long long switches = sim.ContextSwitches();
    std::this_thread::sleep_for(1s);
    EXPECT_LT((sim.CpuTime() - cpu).count(), 30) << "CPU used while idle, " << state;
    EXPECT_LT(sim.ContextSwitches() - switches, 10) << "woke up while idle, " << state;
}

TEST(DtuSimPtyTest, IdleCostsNoCpuAndSurvivesThePortClosingAndReopening) {
    CTempDir dir;
    CSimProcess sim(dir, {"--quiet"});
    ASSERT_TRUE(WaitForLink(dir.Link(1)));
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        {
            CPort port(dir.Link(1));
            ASSERT_TRUE(port.IsOpen());
            EXPECT_EQ(port.Ask("DTU+CONFIG\r", 448).size(), 448u);
            ExpectIdle(sim, "port open");
        }
        // Nobody else has the port open now: still no spinning, no exit.
        ExpectIdle(sim, "port closed");
        EXPECT_TRUE(sim.Running());
    }
}

TEST(DtuSimPtyTest, LatencyAndSplitShapeTheAnswerInTime) {
    CTempDir dir;
    {
        CSimProcess sim(dir, {"--quiet", "--split", "300"});
        ASSERT_TRUE(WaitForLink(dir.Link(1)));
        CPort port(dir.Link(1));
        ASSERT_TRUE(port.Write("DTU+CONFIG\r"));
        const Bytes head = port.Read(200, 3s);
        ASSERT_EQ(head.size(), 200u);
        const auto headAt = Clock::now();
        EXPECT_TRUE(port.Read(1, 150ms).empty()) << "no byte within half the pause";
        const Bytes tail = port.Read(248, 3s);
        EXPECT_EQ(tail.size(), 248u);
        EXPECT_GE(Clock::now() - headAt, 200ms);
        EXPECT_TRUE(ToText(head).starts_with("+CONFIG="));
    }
    for (const char* option : {"--latency", "--delay"}) {
        SCOPED_TRACE(option);
        CSimProcess sim(dir, {"--quiet", option, "400"});
        ASSERT_TRUE(WaitForLink(dir.Link(1)));
        CPort port(dir.Link(1));
        const auto sent = Clock::now();
        ASSERT_TRUE(port.Write("DTU+CONFIG=DEFAULT\r"));
        EXPECT_TRUE(port.Read(1, 250ms).empty()) << "answered before its latency";
        EXPECT_EQ(ToText(port.Read(20, 3s)), "+CONFIG DEFAULT OK\r\n");
        EXPECT_GE(Clock::now() - sent, 350ms);
    }
}

// Sets the port's line as the window's engine does (termios2, so any rate).
bool SetLine(const CPort& port, const LineSettings& settings) {
    TermiosValue value;
    TermiosValue readBack;
    if (OsGetSettings(port.Fd(), value) != 0) {
        return false;
    }
    ApplyLineSettings(settings, value);
    return OsSetSettings(port.Fd(), value, readBack) == 0;
}

TEST(DtuSimPtyTest, AnswersGoOutAtThePortsRateWhileCommandsKeepComingIn) {
    CTempDir dir;
    struct Case {
        std::string name;
        std::vector<std::string> args;
        LineSettings line;
        std::string_view command;
        std::size_t answer;
        std::chrono::milliseconds atLeast;  // from the command to the answer's last byte
        std::string logged;                 // the framing the simulator read, when it changed
    };
    const Case cases[] = {
        // 448 bytes of 10 bits at 9600: 466.7 ms.
        {"9600 8N1", {}, {9600, 'N', 8, 1}, "DTU+CONFIG\r", 448, 466ms, ""},
        // 20 bytes of 11 bits at 1200: 183.3 ms.
        {"1200 8N2",
         {},
         {1200, 'N', 8, 2},
         "DTU+CONFIG=DEFAULT\r",
         20,
         183ms,
         "line now 1200 baud, 11 bits a byte"},
        // A rate outside the B-constants. The pty driver clears PARENB, so 10 bits: 104.2 ms.
        {"43000 8E1",
         {},
         {43000, 'E', 8, 1},
         "DTU+CONFIG\r",
         448,
         104ms,
         "line now 43000 baud, 10 bits a byte"},
        // Paced, this would take 14.9 s; the 3 s read gets it all only unpaced.
        {"300 8N1, no pacing", {"--no-pacing"}, {300, 'N', 8, 1}, "DTU+CONFIG\r", 448, 0ms, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> args = {"--com", "3"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        CSimProcess sim(dir, args);
        ASSERT_TRUE(WaitForLink(dir.Link(3))) << sim.Log();
        CPort port(dir.Link(3));
        ASSERT_TRUE(port.IsOpen());
        ASSERT_TRUE(SetLine(port, c.line));
        const auto sent = Clock::now();
        ASSERT_TRUE(port.Write(c.command));
        const std::string answer = ToText(port.Read(c.answer, 3s));
        EXPECT_GE(Clock::now() - sent, c.atLeast);
        EXPECT_EQ(answer.size(), c.answer);
        EXPECT_TRUE(answer.starts_with("+CONFIG")) << answer;
        if (!c.logged.empty()) {
            EXPECT_NE(sim.Log().find("dtu-sim COM3: " + c.logged + "\n"), std::string::npos) << sim.Log();
        }
    }

    // A command written while the record is still going out is taken whole and answered right behind it.
    CSimProcess sim(dir, {"--quiet"});
    ASSERT_TRUE(WaitForLink(dir.Link(1)));
    CPort port(dir.Link(1));
    const auto sent = Clock::now();
    ASSERT_TRUE(port.Write("DTU+CONFIG\r"));
    Bytes both = port.Read(1, 3s);
    ASSERT_TRUE(port.Write("DTU+CONFIG=DEFAULT\r"));
    const Bytes rest = port.Read(448 + 20 - 1, 3s);
    both.insert(both.end(), rest.begin(), rest.end());
    EXPECT_GE(Clock::now() - sent, 487ms);  // 468 bytes of 10 bits at 9600
    ASSERT_EQ(both.size(), 468u);
    EXPECT_EQ(both[447], SumOf439(both.data() + 8));
    EXPECT_TRUE(ToText(both).starts_with("+CONFIG="));
    EXPECT_TRUE(ToText(both).ends_with("+CONFIG DEFAULT OK\r\n"));
}

TEST(DtuSimPtyTest, ChatterLinesArriveAndStayOutOfAnswers) {
    CTempDir dir;
    CSimProcess sim(dir, {"--quiet", "--chatter"});
    ASSERT_TRUE(WaitForLink(dir.Link(1)));
    CPort port(dir.Link(1));
    const std::regex line(R"((T=\d\d\.\dC H=\d\d% seq=\d+\r\n)+)");
    Bytes firstBytes = port.Read(1, 3s);
    const Bytes rest = port.ReadUntilQuiet(300ms, 3s);
    firstBytes.insert(firstBytes.end(), rest.begin(), rest.end());
    const std::string first = ToText(firstBytes);
    EXPECT_TRUE(std::regex_match(first, line)) << first;

    // Right after a chatter line: the answer comes alone, and the next line only a second later.
    ASSERT_TRUE(port.Write("DTU+CONFIG\r"));
    const Bytes answer = port.Read(448, 3s);
    const auto answeredAt = Clock::now();
    ASSERT_EQ(answer.size(), 448u);
    EXPECT_TRUE(ToText(answer).starts_with("+CONFIG="));
    Bytes nextBytes = port.Read(1, 3s);
    EXPECT_GE(Clock::now() - answeredAt, 900ms);
    const Bytes nextRest = port.ReadUntilQuiet(300ms, 3s);
    nextBytes.insert(nextBytes.end(), nextRest.begin(), nextRest.end());
    const std::string next = ToText(nextBytes);
    EXPECT_TRUE(std::regex_match(next, line)) << next;
}

TEST(DtuSimPtyTest, FailSaveSilentAndIdOnSimulatorsRunningSideBySide) {
    CTempDir dir;
    // Started together, each on its own number with its own pty and log.
    CSimProcess failing(dir, {"--com", "2", "--fail-save", "--id", "PROV-0002"});
    CSimProcess silent(dir, {"--com", "3", "--silent"});
    CSimProcess chinese(dir, {"--com", "4", "--id", "中文中文中文中"});
    std::set<std::string> targets;
    for (int n : {2, 3, 4}) {
        ASSERT_TRUE(WaitForLink(dir.Link(n))) << n;
        std::string target;
        ASSERT_TRUE(IsLinkTo(dir.Link(n), &target));
        targets.insert(target);
    }
    EXPECT_EQ(targets.size(), 3u);
    CPort failingPort(dir.Link(2));
    CPort silentPort(dir.Link(3));
    CPort chinesePort(dir.Link(4));

    // The ID field as the record holds it: ASCII as given, Chinese in GBK (中 D6 D0, 文 CE C4).
    const auto idField = [](const std::string& answer) { return ToBytes(answer.substr(8 + 8, 16)); };
    const std::string first = failingPort.Ask("DTU+CONFIG\r", 448);
    ASSERT_EQ(first.size(), 448u);
    EXPECT_EQ(idField(first), Concat({ToBytes("PROV-0002"), Bytes(7, 0)}));
    EXPECT_EQ(static_cast<uint8_t>(first[447]), SumOf439(ToBytes(first).data() + 8));
    const std::string gbk =
        ToText({0xD6, 0xD0, 0xCE, 0xC4, 0xD6, 0xD0, 0xCE, 0xC4, 0xD6, 0xD0, 0xCE, 0xC4, 0xD6, 0xD0, 0, 0});
    EXPECT_EQ(idField(chinesePort.Ask("DTU+CONFIG\r", 448)), ToBytes(gbk));

    // --fail-save refuses a save with a right checksum and keeps the record it had.
    Bytes edited = ToBytes(first.substr(8));
    std::copy_n("3gnet", 6, edited.begin() + 24);
    edited[439] = SumOf439(edited.data());
    ASSERT_TRUE(failingPort.Write(SaveFrame(edited)));
    EXPECT_EQ(ToText(failingPort.Read(15, 3s)), "+CONFIG ERROR\r\n");
    EXPECT_EQ(failingPort.Ask("DTU+CONFIG\r", 448), first);

    // --silent takes the command in (its log says so) and sends nothing back.
    ASSERT_TRUE(silentPort.Write("DTU+CONFIG\r"));
    ASSERT_TRUE(WaitUntil([&] { return silent.Log().find("silent, no answer") != std::string::npos; }, 3s))
        << silent.Log();
    EXPECT_TRUE(silentPort.Read(1, 500ms).empty());

    const std::pair<CSimProcess*, int> logs[] = {{&failing, 2}, {&silent, 3}, {&chinese, 4}};
    for (const auto& [sim, n] : logs) {
        std::istringstream log(sim->Log());
        for (std::string line; std::getline(log, line);) {
            EXPECT_TRUE(line.starts_with("dtu-sim COM" + std::to_string(n) + ": ")) << line;
        }
    }
    EXPECT_NE(failing.Log().find("not stored (--fail-save), +CONFIG ERROR"), std::string::npos)
        << failing.Log();
}

TEST(DtuSimPtyTest, ModuleOptionsShapeTheModulesAnswers) {
    CTempDir dir;
    CSimProcess locked(dir, {"--com", "5", "--sim", "pin", "--lte", "--no-ccid", "--id", "UNIT-9"});
    CSimProcess roaming(dir, {"--com", "6", "--registration=roaming", "--seed", "7"});
    ASSERT_TRUE(WaitForLink(dir.Link(5))) << locked.Log();
    ASSERT_TRUE(WaitForLink(dir.Link(6))) << roaming.Log();
    CPort lockedPort(dir.Link(5));
    CPort roamingPort(dir.Link(6));
    const auto ask = [](CPort& port, std::string_view command, std::string_view answer) {
        EXPECT_EQ(port.Ask("DTU+CONFIG=CMD:" + std::string(command) + "\r", answer.size()), answer)
            << command;
    };
    ask(lockedPort, "AT+CPIN?", "+CONFIG CMD:\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n");
    ask(lockedPort, "AT+CSQ", "+CONFIG CMD:\r\n+CSQ: 99,99\r\n\r\nOK\r\n");
    ask(lockedPort, "AT+CCID", "+CONFIG CMD:\r\nERROR\r\n");
    ask(roamingPort, "AT+CREG?", "+CONFIG CMD:\r\n+CREG: 0,5\r\n\r\nOK\r\n");
    const std::string imei = lockedPort.Ask("DTU+CONFIG=CMD:AT+CGSN\r", 37);
    EXPECT_TRUE(std::regex_match(imei, std::regex(R"(\+CONFIG CMD:\r\n\d{15}\r\n\r\nOK\r\n)"))) << imei;
    // The start line names the module's identity and state.
    EXPECT_NE(locked.Log().find("module IMEI " + imei.substr(14, 15)), std::string::npos) << locked.Log();
    EXPECT_NE(locked.Log().find("SIM asks for its PIN, home network, LTE, no AT+CCID"), std::string::npos)
        << locked.Log();
    EXPECT_NE(roaming.Log().find("SIM ready, roaming, GSM"), std::string::npos) << roaming.Log();
}

TEST(DtuSimPtyTest, UsageAndBadOptions) {
    CTempDir dir;
    struct Case {
        std::vector<std::string> args;
        int status;
    };
    const Case cases[] = {
        {{"--help"}, 0},
        {{"--com"}, 2},
        {{"--com", "0"}, 2},
        {{"--com", "x1"}, 2},
        {{"--delay", "-5"}, 2},
        {{"--frobnicate"}, 2},
        {{"--check-real"}, 2},
        {{"--latency", "60001"}, 2},
        {{"--id", "PROV-0123456789A"}, 2},  // 16 bytes
        {{"--id", "中文中文中文中文"}, 2},  // 16 bytes in GBK
        {{"--id"}, 2},
        {{"--flip-bit", "sometimes"}, 2},
        {{"--flip-bit"}, 2},
        {{"--log-after-ok", "1"}, 2},
        {{"--log-after-ok", "1001"}, 2},
        {{"--stall", "-1"}, 2},
        {{"--sim", "maybe"}, 2},
        {{"--sim"}, 2},
        {{"--registration", "away"}, 2},
        {{"--seed", "-1"}, 2},
        {{"--seed", "4294967296"}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + (c.args.size() > 1 ? " " + c.args[1] : ""));
        CSimProcess sim(dir, c.args);
        EXPECT_EQ(sim.WaitExit(3s), c.status);
        EXPECT_FALSE(fs::exists(dir.PortDir()));
    }
}

}  // namespace
