// Looks at this test process from outside the engine: its threads, descriptors and CPU time, plus a watchdog
// that ends a test which would otherwise hang.
#pragma once

#include <dirent.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

inline std::size_t CountDirEntries(const char* path) {
    std::size_t n = 0;
    if (DIR* dir = opendir(path)) {
        while (const dirent* entry = readdir(dir)) {
            n += entry->d_name[0] != '.' ? 1 : 0;
        }
        closedir(dir);
    }
    return n;
}

inline std::size_t ThreadCount() {
    return CountDirEntries("/proc/self/task");
}
inline std::size_t FdCount() {
    return CountDirEntries("/proc/self/fd");
}

// Descriptors of this process open on path (also once the path is gone, as a pty slave's after a hang-up).
inline std::size_t FdsOpenOn(const std::string& path) {
    std::size_t n = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (const dirent* entry = readdir(dir)) {
            char target[256] = {};
            const std::string link = std::string("/proc/self/fd/") + entry->d_name;
            const ssize_t len = readlink(link.c_str(), target, sizeof target - 1);
            const std::string opened(target, len > 0 ? static_cast<std::size_t>(len) : 0);
            n += (opened == path || opened == path + " (deleted)") ? 1 : 0;
        }
        closedir(dir);
    }
    return n;
}

inline std::chrono::nanoseconds ProcessCpuTime() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec);
}

// Polls condition every millisecond until it holds or timeout passes.
template <class Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return condition();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Aborts the process if not dismissed within limit: a hang becomes a failure with a message.
class CWatchdog {
  public:
    CWatchdog(std::chrono::milliseconds limit, std::string what) : m_what(std::move(what)) {
        m_thread = std::thread([this, limit] {
            std::unique_lock lock(m_mutex);
            if (!m_changed.wait_for(lock, limit, [this] { return m_dismissed; })) {
                std::fprintf(stderr, "watchdog: %s did not return in time\n", m_what.c_str());
                std::abort();
            }
        });
    }
    ~CWatchdog() {
        {
            std::lock_guard lock(m_mutex);
            m_dismissed = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }

  private:
    std::string m_what;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_dismissed = false;
    std::thread m_thread;
};
