// One port's conversation with its device, on the thread that runs that port. The serial engine's worker
// hands received bytes to this thread through a queue (the session is the engine's owner); Exchange sends
// one command, collects the answer into a ResponseFrame exactly as the window does (a frame ends after
// 100 ms without a byte, or at once when full) and judges it with the window's dispatcher. Only after the
// answer has been judged does the next command go out, so two answers never share a frame.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "protocol/response_frame.h"
#include "serial/mode_text.h"
#include "serial/port_owner.h"
#include "serial/serial_port.h"

struct ExchangeOutcome {
    enum class Status { Answered, NoAnswer, PortLost } status = Status::NoAnswer;
    DispatchResult result;
};

class CDeviceSession final : public CPortOwner {
  public:
    CDeviceSession(const LineSettings& line, std::chrono::milliseconds answerTime);
    ~CDeviceSession() override;

    // Opens COM<engineNumber> with the line settings and starts the worker. False when the port cannot
    // be opened, or when it refuses the settings (error then holds the engine's text).
    bool Open(int engineNumber, std::string& error);

    // Sends command and waits, for as long as the line speed and the answer time allow an answer of at
    // most answerBytes, for a frame judged as one of wanted; other frames are passed over.
    ExchangeOutcome Exchange(std::span<const uint8_t> command, std::size_t answerBytes,
                             std::initializer_list<ResponseKind> wanted);

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

    ResponseFrame m_frame;
    Clock::time_point m_lastByte;
    std::vector<DispatchResult> m_judged;  // frames judged early, when full
    std::vector<std::string> m_errors;
    bool m_lost = false;

    // Last, so it goes first: its worker may still be posting to the queue above.
    CSerialPort m_port;
};
