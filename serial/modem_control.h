// DTR and RTS requests from the engine's owner, and the modem lines as the worker last read them. The worker
// alone calls the port: it carries out the requests in the order they were made (a pulse inverts its line
// and puts it back when its time is up) and reads the lines again every kPollInterval while the port has
// modem lines at all. Polling rather than waiting for a change keeps the worker's one wait: a line that
// flips faster than four times a second is no use to watch by eye anyway.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <optional>

struct OsPort;

class CModemControl {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kPollInterval{250};

    enum class Action { Raise, Drop, Pulse };

    struct Status {
        bool available = false;  // the port has modem lines and they were read
        unsigned lines = 0;      // modem_lines.h bits, as last read
        bool operator==(const Status&) const = default;
    };

    // What a run of the worker met: a failed call to report (by its name in the error box), a lost device.
    struct Outcome {
        bool changed = false;
        const char* failedCall = nullptr;
        int error = 0;
        bool lost = false;
    };

    // Owner's thread: queued for the worker, which the caller then wakes.
    void Request(unsigned line, Action action, std::chrono::milliseconds pulseLength);
    Status Current() const;

    // A new port: requests and pulses dropped, nothing known, a read due at once.
    void Reset();

    // Worker: carries out what is due at now on port.
    Outcome Run(OsPort* port, Clock::time_point now);
    // How long until Run has something due: -1 for nothing but a request.
    int MsUntilDue(Clock::time_point now) const;

  private:
    struct Pending {
        unsigned line;
        Action action;
        std::chrono::milliseconds length;
    };
    struct Pulse {
        std::optional<Clock::time_point> ends;
        bool restoreOn = false;
    };

    bool Set(OsPort* port, unsigned line, bool on, Outcome& outcome);
    Pulse& PulseOf(unsigned line);

    mutable std::mutex m_mutex;
    std::deque<Pending> m_requests;
    std::atomic<unsigned> m_status{0};  // kAvailable plus the lines
    // The worker's own.
    std::array<Pulse, 2> m_pulses{};
    std::optional<Clock::time_point> m_nextPoll;
    bool m_watch = true;
};
