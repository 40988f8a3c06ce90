// The two baselines the window is compared with: `cat` reading the same kind of pty (what the kernel and a
// trivial reader manage), and the serial engine alone, its worker handing each run to an owner that only
// counts (what the engine's hand-over costs before any widget is touched).
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>

#include "bench/benches.h"
#include "serial/port_owner.h"
#include "serial/serial_port.h"
#include "tests/support/pty_fixture.h"

extern char** environ;

namespace {

constexpr std::uint64_t kDefaultBytes = 8ull * 1024 * 1024;
constexpr double kNoProgressSeconds = 10.0;

// True once process pid holds path open, or false after a while; the clock must not start before cat reads.
bool WaitUntilOpened(pid_t pid, const std::string& path) {
    const std::string dir = "/proc/" + std::to_string(pid) + "/fd";
    for (int i = 0; i < 2000; ++i) {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
            std::error_code ignored;
            if (std::filesystem::read_symlink(entry.path(), ignored) == path) {
                return true;
            }
        }
        usleep(1000);
    }
    return false;
}

// Runs posted work on a thread of its own, as a window's event loop would, and only counts the bytes.
class CCountingOwner : public CPortOwner {
  public:
    CCountingOwner() {
        m_thread = std::thread([this] { Pump(); });
    }
    ~CCountingOwner() override {
        {
            std::lock_guard lock(m_mutex);
            m_quit = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }

    void PostToOwnerThread(std::function<void()> fn) override {
        {
            std::lock_guard lock(m_mutex);
            m_queue.push_back(std::move(fn));
        }
        m_changed.notify_all();
    }
    void OnPortMessage(unsigned message, std::span<const std::uint8_t> bytes, int) override {
        if (message == WM_PORT_RXCHAR) {
            m_received += bytes.size();
        }
    }
    void OnPortError(const std::string& text) override {
        std::fprintf(stderr, "port error: %s", text.c_str());
    }

    std::uint64_t Received() const { return m_received; }

  private:
    void Pump() {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_changed.wait(lock, [this] { return m_quit || !m_queue.empty(); });
            if (m_quit) {
                return;
            }
            std::function<void()> fn = std::move(m_queue.front());
            m_queue.pop_front();
            lock.unlock();
            fn();
            lock.lock();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::function<void()>> m_queue;
    std::atomic<std::uint64_t> m_received{0};
    bool m_quit = false;
    std::thread m_thread;
};

}  // namespace

int RunCat(const BenchArgs& args) {
    const std::uint64_t total = args.Number("bytes", kDefaultBytes);
    CPtyFixture pty;
    if (!pty.IsValid()) {
        std::fprintf(stderr, "pty: %s\n", pty.Error().c_str());
        return 1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    std::string slave = pty.SlavePath();
    char catName[] = "cat";
    char* argv[] = {catName, slave.data(), nullptr};
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, "cat", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0 || !WaitUntilOpened(pid, slave)) {
        std::fprintf(stderr, "cat did not start on %s\n", slave.c_str());
        if (spawned == 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
        return 1;
    }

    const double start = MonotonicSeconds();
    CFeeder feeder(pty.MasterFd(), StreamKind::kText, total);
    // Drained: every byte written and none left waiting in the port's input queue.
    const bool ok = WaitWhileProgressing([&] { return feeder.Done() && pty.SlaveInputCount() == 0; },
                                         [&] { return feeder.Written(); }, kNoProgressSeconds);
    const double seconds = MonotonicSeconds() - start;
    feeder.Stop();
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);

    BenchRow row;
    row.name = "cat";
    row.bytes = total;
    row.seconds = seconds;
    row.lost = ok ? 0 : total - feeder.Written();
    PrintRow(row);
    return ok ? 0 : 1;
}

int RunEngine(const BenchArgs& args) {
    const std::uint64_t total = args.Number("bytes", kDefaultBytes);
    CPortDirFixture portDir;
    CPtyFixture pty;
    if (!LinkPtyAsCom1(portDir, pty)) {
        return 1;
    }
    // The owner outlives the engine: the engine's destructor stops the worker before the owner goes.
    CCountingOwner owner;
    CSerialPort port;
    // The window's own event mask, so each read costs the same hand-overs as in the window.
    if (!port.OpenPort(&owner, 1, 115200, 'N', 8, 1, EV_RXCHAR | EV_RXFLAG, 512) || !port.StartWorker()) {
        std::fprintf(stderr, "engine could not open COM1\n");
        return 1;
    }
    const double cpuBefore = ProcessCpuSeconds();
    const double start = MonotonicSeconds();
    CFeeder feeder(pty.MasterFd(), StreamKind::kText, total);
    const bool ok = WaitWhileProgressing([&] { return owner.Received() >= total; },
                                         [&] { return owner.Received(); }, kNoProgressSeconds);
    const double seconds = MonotonicSeconds() - start;
    feeder.Stop();
    const double cpu = ProcessCpuSeconds() - cpuBefore - feeder.CpuSeconds();

    BenchRow row;
    row.name = "engine";
    row.bytes = total;
    row.seconds = seconds;
    row.rssMb = ProcStatusMb("VmRSS");
    row.hwmMb = ProcStatusMb("VmHWM");
    row.cpuPercent = 100.0 * cpu / seconds;
    row.lost = total - std::min(total, owner.Received());
    PrintRow(row);
    port.ClosePort();
    return ok ? 0 : 1;
}
