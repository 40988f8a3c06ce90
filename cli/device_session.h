// One port's conversation with its device, on the thread that runs that port. The serial engine's worker
// hands received bytes to this thread through a queue (the session is the engine's owner); Exchange sends
// one command, keeps everything received after it and judges it by content (answer_scan.h) after every
// batch, until the answer is whole or the time the line allows is up. Pauses in the answer do not matter,
// unlike in the window. Only after one answer has been judged does the next command go out.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "cli/answer_scan.h"
#include "serial/mode_text.h"
#include "serial/port_owner.h"
#include "serial/serial_port.h"

struct ExchangeOutcome {
    // Damaged: a whole record came with a wrong checksum; the exchange ends there, as a read that failed.
    enum class Status { Answered, Damaged, NoAnswer, PortLost } status = Status::NoAnswer;
    ScannedAnswer answer;  // note says what came when the answer did not
};

class CDeviceSession final : public CPortOwner {
  public:
    CDeviceSession(const LineSettings& line, std::chrono::milliseconds answerTime);
    ~CDeviceSession() override;

    // Opens COM<engineNumber> with the line settings and starts the worker. False when the port cannot
    // be opened, or when it refuses the settings (error then holds the engine's text).
    bool Open(int engineNumber, std::string& error);

    // Sends command and reads, for as long as the line speed and the answer time allow an answer of at
    // most answerBytes, until the wanted answer is whole (or a record damaged); anything else is passed over.
    ExchangeOutcome Exchange(std::span<const uint8_t> command, std::size_t answerBytes, AnswerKind wanted);

    // Hands every received run to tap as it comes instead of keeping it for an answer (monitor).
    void SetReceiveTap(std::function<void(std::span<const std::uint8_t>)> tap) { m_tap = std::move(tap); }
    // Runs what the worker handed over, waiting until deadline for it; false once the device went away.
    bool Pump(std::chrono::steady_clock::time_point deadline) {
        RunQueued(deadline);
        return !m_lost;
    }

    // The engine's error texts so far (a failed write, a lost device).
    const std::vector<std::string>& Errors() const { return m_errors; }

    void PostToOwnerThread(std::function<void()> fn) override;
    void OnPortMessage(unsigned message, std::span<const std::uint8_t> bytes, int port) override;
    void OnPortError(const std::string& text) override;

  private:
    using Clock = std::chrono::steady_clock;

    // Runs what the worker queued, waiting until deadline for the first piece of work.
    void RunQueued(Clock::time_point deadline);

    LineSettings m_line;
    std::chrono::milliseconds m_answerTime;

    std::mutex m_queueLock;
    std::condition_variable m_queued;
    std::deque<std::function<void()>> m_queue;

    std::function<void(std::span<const std::uint8_t>)> m_tap;
    std::vector<uint8_t> m_received;  // since the command went out
    bool m_receivedNew = false;
    std::vector<std::string> m_errors;
    bool m_lost = false;

    // Last, so it goes first: its worker may still be posting to the queue above.
    CSerialPort m_port;
};
