// The simulated system layer (fake_serial_os.h). One lock and one condition stand for every wait object, so
// a wait wakes at a signal or when the next queued byte leaves, whichever comes first.
#include "tests/serial/fake_serial_os.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <system_error>
#include <utility>

#include "serial/line_pacing.h"
#include "serial/mode_text.h"
#include "serial/modem_lines.h"
#include "serial/port_names.h"
#include "serial/serial_os.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Line {
    LineFraming framing;
    std::deque<std::pair<std::uint8_t, Clock::time_point>> queue;  // each byte with the time it leaves
    Clock::time_point lastLeaves{};
    std::vector<std::uint8_t> carried;
    std::size_t accepted = 0;
    std::size_t dropped = 0;
    bool hasModemLines = true;
    unsigned deviceLines = 0;
    std::vector<FakeOutputChange> outputs;
};

std::mutex g_mutex;
std::condition_variable g_changed;
std::map<int, Line> g_lines;

// Moves every byte whose time has come from the queue onto the line.
Line& LineNow(int n, Clock::time_point now) {
    Line& line = g_lines[n];
    while (!line.queue.empty() && line.queue.front().second <= now) {
        line.carried.push_back(line.queue.front().first);
        line.queue.pop_front();
    }
    return line;
}

void DropQueue(int n) {
    const auto now = Clock::now();
    Line& line = LineNow(n, now);
    line.dropped += line.queue.size();
    line.queue.clear();
    line.lastLeaves = now;
}

}  // namespace

struct OsPort {
    int n = 0;
};

struct OsEvent {
    bool signalled = false;
};

std::vector<std::uint8_t> FakeLineBytes(int n) {
    std::lock_guard lock(g_mutex);
    return LineNow(n, Clock::now()).carried;
}

std::size_t FakeAcceptedCount(int n) {
    std::lock_guard lock(g_mutex);
    return g_lines[n].accepted;
}

std::size_t FakeDroppedCount(int n) {
    std::lock_guard lock(g_mutex);
    return g_lines[n].dropped;
}

void FakeSetDeviceLines(int n, unsigned lines) {
    std::lock_guard lock(g_mutex);
    g_lines[n].deviceLines = lines & ~kLineOutputs;
}

void FakeSetHasModemLines(int n, bool has) {
    std::lock_guard lock(g_mutex);
    g_lines[n].hasModemLines = has;
}

std::vector<FakeOutputChange> FakeOutputHistory(int n) {
    std::lock_guard lock(g_mutex);
    return g_lines[n].outputs;
}

PortResolution ResolvePort(int n) {
    return {DevicePathText(n), std::nullopt};
}

int OsOpenPort(std::string_view devicePath, OsPort*& port) {
    const auto n = PortNumberFromDevicePath(devicePath);
    if (!n) {
        return ENOENT;
    }
    std::lock_guard lock(g_mutex);
    Line& line = g_lines[*n];
    if (line.outputs.empty()) {
        line.outputs.push_back({kLineOutputs, Clock::now()});
    }
    port = new OsPort{*n};
    return 0;
}

void OsClosePort(OsPort* port, bool discardOutput) {
    if (discardOutput) {
        std::lock_guard lock(g_mutex);
        DropQueue(port->n);
    }
    // Otherwise the queue keeps leaving after the close, as a driver's does.
    delete port;
}

std::optional<OsCallFailure> OsConfigurePort(OsPort* port, std::string_view modeText, unsigned) {
    const auto settings = ParseModeText(modeText);
    if (!settings) {
        return OsCallFailure{"BuildCommDCB()", EINVAL};
    }
    std::lock_guard lock(g_mutex);
    g_lines[port->n].framing = FramingOf(*settings);
    return std::nullopt;
}

int OsPurge(OsPort* port) {
    return OsPurgeOutput(port);
}

int OsPurgeOutput(OsPort* port) {
    std::lock_guard lock(g_mutex);
    DropQueue(port->n);
    return 0;
}

int OsOutputCount(OsPort* port, std::size_t& count) {
    std::lock_guard lock(g_mutex);
    count = LineNow(port->n, Clock::now()).queue.size();
    return 0;
}

int OsRead(OsPort*, std::span<std::uint8_t>, std::size_t& done) {
    done = 0;
    return EAGAIN;
}

const char* OsReadCallName(const OsPort*) {
    return "ReadFile()";
}

int OsWrite(OsPort* port, std::span<const std::uint8_t> bytes, std::size_t& done) {
    done = 0;
    std::lock_guard lock(g_mutex);
    const auto now = Clock::now();
    Line& line = LineNow(port->n, now);
    const std::size_t room = kFakeQueueSize - line.queue.size();
    if (room == 0) {
        return EAGAIN;
    }
    done = std::min(room, bytes.size());
    const auto byteTime = LineTime(1, line.framing);
    for (std::size_t i = 0; i < done; ++i) {
        line.lastLeaves = std::max(line.lastLeaves, now) + byteTime;
        line.queue.emplace_back(bytes[i], line.lastLeaves);
    }
    line.accepted += done;
    return 0;
}

int OsSetModemLines(OsPort* port, unsigned lines, bool on) {
    std::lock_guard lock(g_mutex);
    Line& line = g_lines[port->n];
    if (!line.hasModemLines) {
        return ENOTTY;
    }
    const unsigned before = line.outputs.back().outputs;
    const unsigned after = on ? (before | (lines & kLineOutputs)) : (before & ~lines);
    line.outputs.push_back({after, Clock::now()});
    return 0;
}

int OsGetModemLines(OsPort* port, unsigned& lines) {
    std::lock_guard lock(g_mutex);
    const Line& line = g_lines[port->n];
    if (!line.hasModemLines) {
        return ENOTTY;
    }
    lines = line.outputs.back().outputs | line.deviceLines;
    return 0;
}

int OsCreateEvent(OsEvent*& event) {
    event = new OsEvent;
    return 0;
}

void OsSignalEvent(OsEvent* event) {
    {
        std::lock_guard lock(g_mutex);
        event->signalled = true;
    }
    g_changed.notify_all();
}

void OsResetEvent(OsEvent* event) {
    std::lock_guard lock(g_mutex);
    event->signalled = false;
}

void OsCloseEvent(OsEvent* event) {
    delete event;
}

int OsWait(std::span<OsWaitItem> items, int timeoutMs) {
    std::unique_lock lock(g_mutex);
    const auto start = Clock::now();
    const std::optional<Clock::time_point> deadline =
        timeoutMs < 0 ? std::nullopt : std::optional(start + std::chrono::milliseconds(timeoutMs));
    for (;;) {
        const auto now = Clock::now();
        std::optional<Clock::time_point> wake = deadline;
        bool any = false;
        for (OsWaitItem& item : items) {
            item.ready = false;
            item.hangup = false;
            if (item.event) {
                item.ready = item.event->signalled;
            } else if (item.port && item.wantOutput) {
                const Line& line = LineNow(item.port->n, now);
                item.ready = line.queue.size() < kFakeQueueSize;
                if (!item.ready) {
                    const auto leaves = line.queue.front().second;
                    wake = wake ? std::min(*wake, leaves) : leaves;
                }
            }
            any = any || item.ready;
        }
        if (any || (deadline && now >= *deadline)) {
            return 0;
        }
        if (wake) {
            g_changed.wait_until(lock, *wake);
        } else {
            g_changed.wait(lock);
        }
    }
}

bool OsIsInterrupted(int error) {
    return error == EINTR;
}

bool OsIsWouldBlock(int error) {
    return error == EAGAIN;
}

bool OsIsNoModemLines(int error) {
    return error == ENOTTY;
}

bool OsIsLost(int error) {
    return error == EIO;
}

int OsLostError() {
    return EIO;
}

std::string OsErrorText(int error) {
    return std::generic_category().message(error);
}

OsOpenFailure OsClassifyOpenError(int error) {
    return error == ENOENT ? OsOpenFailure::Missing : OsOpenFailure::Other;
}
