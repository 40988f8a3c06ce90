#include "cli/device_session.h"

#include <algorithm>

#include "cli/line_timing.h"

namespace {

// What the port panel passes: bytes and the event character notice; the notice means nothing here.
constexpr unsigned kEventMask = EV_RXCHAR | EV_RXFLAG;
constexpr std::size_t kWriteBufferSize = 512;
// An answer is at most a record and some text around it; a device that floods the line cannot grow the
// buffer without bound, and runs into the time limit instead.
constexpr std::size_t kReceiveLimit = 64 * 1024;

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
    if (message != WM_PORT_RXCHAR || bytes.empty()) {
        return;
    }
    if (m_tap) {
        m_tap(bytes);
        return;
    }
    const std::size_t room = kReceiveLimit - std::min(kReceiveLimit, m_received.size());
    m_received.insert(m_received.end(), bytes.begin(),
                      bytes.begin() + static_cast<std::ptrdiff_t>(std::min(room, bytes.size())));
    m_receivedNew = true;
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
                                         AnswerKind wanted) {
    // Whatever came since the last answer was judged belongs to no command of ours.
    RunQueued(Clock::now());
    m_received.clear();
    m_receivedNew = false;

    m_port.WriteBytes(command);
    const auto deadline = Clock::now() + ExchangeDeadline(m_line, command.size(), answerBytes, m_answerTime);
    ExchangeOutcome out;
    out.answer = ScanAnswer({}, command, wanted);
    for (;;) {
        // Judged once for every batch the worker handed over, not for every byte.
        if (m_receivedNew) {
            m_receivedNew = false;
            out.answer = ScanAnswer(m_received, command, wanted);
            if (out.answer.state == ScannedAnswer::State::Whole) {
                out.status = ExchangeOutcome::Status::Answered;
                return out;
            }
            if (out.answer.state == ScannedAnswer::State::Damaged) {
                out.status = ExchangeOutcome::Status::Damaged;
                return out;
            }
        }
        if (m_lost) {
            out.status = ExchangeOutcome::Status::PortLost;
            return out;
        }
        if (Clock::now() >= deadline) {
            out.status = ExchangeOutcome::Status::NoAnswer;
            return out;
        }
        RunQueued(deadline);
    }
}
