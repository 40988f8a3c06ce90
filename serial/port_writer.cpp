#include "serial/port_writer.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <span>
#include <thread>

#include "serial/serial_os.h"

namespace {

constexpr auto kWriteTimePerByte = std::chrono::milliseconds(1000);
constexpr auto kWriteTimeConstant = std::chrono::milliseconds(1000);
// What a real adapter adds to the line time before the last byte is out (USB frames, latency timers).
constexpr auto kDrainMargin = std::chrono::milliseconds(50);
// How often the driver's queue is looked at while it drains; no more often than its bytes can leave.
constexpr auto kCarriedPoll = std::chrono::milliseconds(10);

std::chrono::milliseconds LineMs(std::size_t count, const LineFraming& line) {
    return std::chrono::ceil<std::chrono::milliseconds>(LineTime(count, line));
}

int WaitMs(std::chrono::milliseconds ms) {
    return static_cast<int>(std::clamp<long long>(ms.count(), 0, INT_MAX));
}

}  // namespace

void CPortWriter::Reset(std::size_t bufferSize) {
    DropOutgoing();
    std::lock_guard lock(m_requestLock);
    m_writeBuffer.assign(bufferSize, 0);
    m_writeLength = 0;
    m_writePending = false;
}

void CPortWriter::Store(const void* bytes, std::size_t copyLength, std::size_t writeLength) {
    std::lock_guard lock(m_requestLock);
    if (m_writeBuffer.size() < copyLength) {
        m_writeBuffer.resize(copyLength);
    }
    if (copyLength > 0) {
        std::memcpy(m_writeBuffer.data(), bytes, copyLength);
    }
    m_writeLength = writeLength;
    m_writePending = true;
}

bool CPortWriter::TakeRequest(bool append) {
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

void CPortWriter::DropOutgoing() {
    m_outgoing.clear();
    m_outgoingSent = 0;
}

CPortWriter::Result CPortWriter::WriteRequest(OsPort* port, OsEvent* shutdown, const LineFraming& line) {
    if (!TakeRequest(false)) {
        return {};
    }
    // Output only: what is left of a write the line did not take in time, as the previous request was carried
    // before this one was taken. Bytes already received belong to the owner, whatever goes out next.
    OsPurgeOutput(port);
    const auto deadline =
        Clock::now() + kWriteTimePerByte * static_cast<long long>(m_outgoing.size()) + kWriteTimeConstant;
    const Result written = WriteOutgoing(port, shutdown, deadline, false);
    if (written.outcome != Outcome::Done) {
        return written;
    }
    // The write is complete once the line has carried it, not when the driver took it.
    std::size_t queued = 0;
    if (OsOutputCount(port, queued) != 0 || queued == 0) {
        return {};
    }
    const auto carried = Clock::now() + LineMs(queued, line) + kDrainMargin;
    if (WaitCarried(port, shutdown, line, carried) == Wait::Stopped) {
        return {Outcome::Stopped};
    }
    return {};
}

// Writes what is left of m_outgoing by the deadline. A stop during a normal write keeps the rest for the
// drain; during the drain nothing is reported any more and any failure just ends it.
CPortWriter::Result CPortWriter::WriteOutgoing(OsPort* port, OsEvent* shutdown, Clock::time_point deadline,
                                               bool duringDrain) {
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
            DropOutgoing();
            if (duringDrain) {
                return {Outcome::Stopped};
            }
            // A lost device ends the worker; any other failure loses the request and the worker carries on.
            return {OsIsLost(error) ? Outcome::Lost : Outcome::Failed, error};
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            if (duringDrain) {
                return {Outcome::Stopped};
            }
            // The line did not take the bytes in time; like a timed-out write, the rest is given up quietly.
            DropOutgoing();
            return {};
        }
        OsWaitItem items[2] = {{.event = shutdown}, {.port = port, .wantOutput = true}};
        const int waitError = OsWait(items, WaitMs(left));
        if (waitError != 0 && !OsIsInterrupted(waitError)) {
            return {duringDrain ? Outcome::Stopped : Outcome::Failed, waitError};
        }
        if (items[0].ready) {
            return {Outcome::Stopped};
        }
        if (items[1].hangup) {
            DropOutgoing();
            return {duringDrain ? Outcome::Stopped : Outcome::Lost};
        }
    }
    DropOutgoing();
    return {};
}

// Waits until the driver's queue is empty or the deadline passes, watching the shutdown event if given.
CPortWriter::Wait CPortWriter::WaitCarried(OsPort* port, OsEvent* shutdown, const LineFraming& line,
                                           Clock::time_point deadline) {
    for (;;) {
        std::size_t queued = 0;
        if (OsOutputCount(port, queued) != 0 || queued == 0) {
            return Wait::Carried;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            return Wait::TimedOut;
        }
        const auto step = std::min({left, std::max(LineMs(queued, line), std::chrono::milliseconds(1)),
                                    std::chrono::milliseconds(kCarriedPoll)});
        OsWaitItem item{.event = shutdown};
        const int error = OsWait({&item, 1}, WaitMs(step));
        if (error != 0 && !OsIsInterrupted(error)) {
            std::this_thread::sleep_for(step);
        } else if (item.ready) {
            return Wait::Stopped;
        }
    }
}

bool CPortWriter::Drain(OsPort* port, const LineFraming& line) {
    TakeRequest(true);
    std::size_t queued = 0;
    if (OsOutputCount(port, queued) != 0) {
        queued = 0;
    }
    const std::size_t unsent = m_outgoing.size() - m_outgoingSent;
    if (unsent + queued == 0) {
        return true;
    }
    const auto deadline = Clock::now() + std::min<std::chrono::milliseconds>(
                                             LineMs(unsent + queued, line) + kDrainMargin, kDrainLimit);
    if (unsent > 0 && WriteOutgoing(port, nullptr, deadline, true).outcome != Outcome::Done) {
        return false;
    }
    // The driver's own queue; what is still in it at the deadline is discarded by the close.
    return WaitCarried(port, nullptr, line, deadline) == Wait::Carried;
}
