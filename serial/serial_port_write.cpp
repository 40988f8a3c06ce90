// The worker's output side: the owner's request taken over, written by its deadline (the line's time at the
// worst rate plus a constant), and what is left drained within a bound when the port stops.
#include <algorithm>
#include <chrono>
#include <climits>
#include <thread>

#include "serial/serial_os.h"
#include "serial/serial_port.h"

namespace {

constexpr auto kWriteTimePerByte = std::chrono::milliseconds(1000);
constexpr auto kWriteTimeConstant = std::chrono::milliseconds(1000);
// What a real adapter adds to the line time before the last byte is out (USB frames, latency timers).
constexpr auto kDrainMargin = std::chrono::milliseconds(50);
constexpr auto kDrainPoll = std::chrono::milliseconds(2);

using Clock = std::chrono::steady_clock;

}  // namespace

CSerialPort::Step CSerialPort::WriteStep() {
    OsResetEvent(m_writeEvent);
    if (!TakeRequest(false)) {
        return Step::kContinue;
    }
    OsPort* const handle = m_handle.load();
    // Output only: bytes already received belong to the owner, whatever goes out next.
    OsPurgeOutput(handle);
    const auto deadline =
        Clock::now() + kWriteTimePerByte * static_cast<long long>(m_outgoing.size()) + kWriteTimeConstant;
    return WriteOutgoing(handle, deadline, false);
}

bool CSerialPort::TakeRequest(bool append) {
    std::lock_guard lock(m_requestLock);
    if (!m_writePending) {
        return false;
    }
    // The worker writes its own copy, so a request arriving meanwhile cannot change the bytes in flight.
    if (!append) {
        m_outgoing.clear();
        m_outgoingSent = 0;
    }
    m_outgoing.insert(m_outgoing.end(), m_writeBuffer.begin(),
                      m_writeBuffer.begin() + static_cast<std::ptrdiff_t>(m_writeLength));
    m_writePending = false;
    return true;
}

// Writes what is left of m_outgoing by the deadline. A stop during a normal write keeps the rest for the
// drain; during the drain nothing is reported any more and any failure just ends it.
CSerialPort::Step CSerialPort::WriteOutgoing(OsPort* port, Clock::time_point deadline, bool duringDrain) {
    while (m_outgoingSent < m_outgoing.size()) {
        std::size_t done = 0;
        const int error = OsWrite(port, std::span(m_outgoing).subspan(m_outgoingSent), done);
        if (error == 0 && done > 0) {
            m_outgoingSent += done;
            continue;
        }
        if (OsIsInterrupted(error)) {
            continue;
        }
        if (error != 0 && !OsIsWouldBlock(error)) {
            m_outgoing.clear();
            m_outgoingSent = 0;
            if (duringDrain) {
                return Step::kStop;
            }
            if (OsIsLost(error)) {
                return LosePort("WriteFile()", error);
            }
            // The request is lost; the worker carries on.
            return ReportErrorSync("WriteFile()", error) ? Step::kContinue : Step::kStop;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            if (duringDrain) {
                return Step::kStop;
            }
            // The line did not take the bytes in time; like a timed-out write, the rest is given up quietly.
            m_outgoing.clear();
            m_outgoingSent = 0;
            return Step::kContinue;
        }
        OsWaitItem items[2] = {{.event = duringDrain ? nullptr : m_shutdownEvent},
                               {.port = port, .wantOutput = true}};
        const int waitError = OsWait(items, static_cast<int>(std::min<long long>(left, INT_MAX)));
        if (waitError != 0 && !OsIsInterrupted(waitError)) {
            if (duringDrain) {
                return Step::kStop;
            }
            return ReportErrorSync("WriteFile()", waitError) ? Step::kContinue : Step::kStop;
        }
        if (items[0].ready) {
            return Step::kStop;
        }
        if (items[1].hangup) {
            m_outgoing.clear();
            m_outgoingSent = 0;
            return duringDrain ? Step::kStop : LosePort("WriteFile()", OsLostError());
        }
    }
    m_outgoing.clear();
    m_outgoingSent = 0;
    return Step::kContinue;
}

// True when everything went out; false when the line did not take it in time and the rest must go.
bool CSerialPort::DrainOnClose(OsPort* port) {
    TakeRequest(true);
    std::size_t queued = 0;
    if (OsOutputCount(port, queued) != 0) {
        queued = 0;
    }
    const std::size_t unsent = m_outgoing.size() - m_outgoingSent;
    if (unsent + queued == 0) {
        return true;
    }
    const auto needed = std::chrono::ceil<std::chrono::milliseconds>(LineTime(unsent + queued, m_line));
    const auto deadline =
        Clock::now() + std::min<std::chrono::milliseconds>(needed + kDrainMargin, kDrainLimit);
    if (unsent > 0 && WriteOutgoing(port, deadline, true) != Step::kContinue) {
        return false;
    }
    // The driver's own queue; what is still in it at the deadline is discarded by the close.
    for (;;) {
        if (OsOutputCount(port, queued) != 0 || queued == 0) {
            return true;
        }
        if (Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(kDrainPoll);
    }
}
