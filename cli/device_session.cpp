#include "cli/device_session.h"

#include <algorithm>

#include "cli/line_timing.h"

namespace {

// What the port panel passes: bytes and the event character notice; the notice means nothing here.
constexpr unsigned kEventMask = EV_RXCHAR | EV_RXFLAG;
constexpr std::size_t kWriteBufferSize = 512;

}  // namespace

CDeviceSession::CDeviceSession(const LineSettings& line, std::chrono::milliseconds answerTime)
    : m_line(line), m_answerTime(answerTime) {}

CDeviceSession::~CDeviceSession() = default;

bool CDeviceSession::Open(int engineNumber, std::string& error) {
    m_errors.clear();
    if (!m_port.OpenPort(this, engineNumber, m_line.baud, m_line.parity, m_line.dataBits, m_line.stopBits,
                         kEventMask, kWriteBufferSize)) {
        error = "cannot be opened";
        return false;
    }
    // A configuration failure is reported during OpenPort, on this thread; the port would run with
    // settings nobody chose, so the session stops here.
    if (!m_errors.empty()) {
        error = m_errors.front();
        m_port.ClosePort();
        return false;
    }
    if (!m_port.StartWorker()) {
        error = "cannot start the port's worker";
        return false;
    }
    return true;
}

void CDeviceSession::PostToOwnerThread(std::function<void()> fn) {
    {
        std::lock_guard lock(m_queueLock);
        m_queue.push_back(std::move(fn));
    }
    m_queued.notify_one();
}

void CDeviceSession::OnPortMessage(unsigned message, std::span<const std::uint8_t> bytes, int) {
    if (message == WM_PORT_LOST) {
        m_lost = true;
        return;
    }
    if (message != WM_PORT_RXCHAR) {
        return;
    }
    CollectResponseRun(m_frame, bytes, [this] { m_judged.push_back(DispatchResponseFrame(m_frame)); });
    if (!bytes.empty()) {
        m_lastByte = Clock::now();
    }
}

void CDeviceSession::OnPortError(const std::string& text) {
    m_errors.push_back(text);
}

void CDeviceSession::RunQueued(Clock::time_point deadline) {
    std::deque<std::function<void()>> work;
    {
        std::unique_lock lock(m_queueLock);
        m_queued.wait_until(lock, deadline, [&] { return !m_queue.empty(); });
        work.swap(m_queue);
    }
    for (auto& fn : work) {
        fn();
    }
}

ExchangeOutcome CDeviceSession::Exchange(std::span<const uint8_t> command, std::size_t answerBytes,
                                         std::initializer_list<ResponseKind> wanted) {
    const auto isWanted = [&](const DispatchResult& r) {
        return std::find(wanted.begin(), wanted.end(), r.kind) != wanted.end();
    };
    // Whatever came since the last answer was judged belongs to no command of ours.
    RunQueued(Clock::now());
    m_frame.count = 0;
    m_judged.clear();

    m_port.WriteBytes(command);
    const auto deadline = Clock::now() + ExchangeDeadline(m_line, command.size(), answerBytes, m_answerTime);
    for (;;) {
        for (const DispatchResult& early : m_judged) {
            if (isWanted(early)) {
                return {ExchangeOutcome::Status::Answered, early};
            }
        }
        m_judged.clear();
        if (m_lost) {
            return {ExchangeOutcome::Status::PortLost, {}};
        }
        const auto now = Clock::now();
        const bool quiet = m_frame.count > 0 && now >= m_lastByte + kFrameQuiet;
        // At the deadline a frame still arriving is judged as it stands: a device that never pauses
        // cannot hold the run.
        if (quiet || (now >= deadline && m_frame.count > 0)) {
            const DispatchResult result = DispatchResponseFrame(m_frame);
            if (isWanted(result)) {
                return {ExchangeOutcome::Status::Answered, result};
            }
            continue;
        }
        if (now >= deadline) {
            return {ExchangeOutcome::Status::NoAnswer, {}};
        }
        RunQueued(m_frame.count > 0 ? std::min(deadline, m_lastByte + kFrameQuiet) : deadline);
    }
}
