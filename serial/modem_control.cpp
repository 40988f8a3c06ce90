#include "serial/modem_control.h"

#include <algorithm>
#include <utility>

#include "serial/modem_lines.h"
#include "serial/serial_os.h"

namespace {
constexpr unsigned kAvailable = 0x8000'0000u;
constexpr const char* kControlCall = "EscapeCommFunction()";
}  // namespace

void CModemControl::Request(unsigned line, Action action, std::chrono::milliseconds pulseLength) {
    std::lock_guard lock(m_mutex);
    m_requests.push_back({line, action, pulseLength});
}

CModemControl::Status CModemControl::Current() const {
    const unsigned status = m_status.load();
    return {(status & kAvailable) != 0, status & ~kAvailable};
}

void CModemControl::Reset() {
    {
        std::lock_guard lock(m_mutex);
        m_requests.clear();
    }
    m_status = 0;
    m_pulses = {};
    m_nextPoll = Clock::time_point{};
    m_watch = true;
}

CModemControl::Pulse& CModemControl::PulseOf(unsigned line) {
    return m_pulses[line == kLineDtr ? 0 : 1];
}

bool CModemControl::Set(OsPort* port, unsigned line, bool on, Outcome& outcome) {
    const int error = OsSetModemLines(port, line, on);
    if (error == 0) {
        return true;
    }
    // A port without the lines has nothing to set: nothing is shown, the lines just read as absent.
    if (!OsIsNoModemLines(error)) {
        outcome.failedCall = kControlCall;
        outcome.error = error;
        outcome.lost = OsIsLost(error);
    }
    return false;
}

CModemControl::Outcome CModemControl::Run(OsPort* port, Clock::time_point now) {
    Outcome outcome;
    std::deque<Pending> requests;
    {
        std::lock_guard lock(m_mutex);
        requests.swap(m_requests);
    }
    bool read = false;
    for (const Pending& request : requests) {
        if (request.line != kLineDtr && request.line != kLineRts) {
            continue;
        }
        Pulse& pulse = PulseOf(request.line);
        bool on = request.action == Action::Raise;
        if (request.action == Action::Pulse) {
            // A pulse during a pulse lasts longer; it still ends where the first began.
            unsigned lines = 0;
            if (!pulse.ends) {
                if (OsGetModemLines(port, lines) != 0) {
                    continue;
                }
                pulse.restoreOn = (lines & request.line) != 0;
            }
            on = !pulse.restoreOn;
            pulse.ends = now + request.length;
        } else {
            pulse.ends.reset();
        }
        read = true;
        if (!Set(port, request.line, on, outcome)) {
            pulse.ends.reset();
            if (outcome.failedCall) {
                return outcome;
            }
        }
    }
    for (unsigned line : {kLineDtr, kLineRts}) {
        Pulse& pulse = PulseOf(line);
        if (pulse.ends && *pulse.ends <= now) {
            pulse.ends.reset();
            read = true;
            if (!Set(port, line, pulse.restoreOn, outcome) && outcome.failedCall) {
                return outcome;
            }
        }
    }

    if (!read && (!m_nextPoll || *m_nextPoll > now)) {
        return outcome;
    }
    unsigned lines = 0;
    const int error = OsGetModemLines(port, lines);
    Status status = Current();
    if (error == 0) {
        status = {true, lines};
    } else if (OsIsNoModemLines(error)) {
        status = {};
        m_watch = false;
    }
    // Any other failure keeps what was last read: a device going away is told by its reads.
    m_nextPoll = m_watch ? std::optional(now + kPollInterval) : std::nullopt;
    if (status != Current()) {
        m_status = (status.available ? kAvailable : 0u) | status.lines;
        outcome.changed = true;
    }
    return outcome;
}

int CModemControl::MsUntilDue(Clock::time_point now) const {
    std::optional<Clock::time_point> due = m_nextPoll;
    for (const Pulse& pulse : m_pulses) {
        if (pulse.ends) {
            due = due ? std::min(*due, *pulse.ends) : *pulse.ends;
        }
    }
    if (!due) {
        return -1;
    }
    if (*due <= now) {
        return 0;
    }
    // Rounded up, so a wait that ends finds the time come.
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(*due - now).count();
    return static_cast<int>(std::min<long long>(ms, 60'000));
}
