// Capture to a file: every received byte, and on request every sent byte, written to a file by a thread of
// the writer's own, so the thread that hands the bytes over (the window's, at flood speed) only copies
// them into a queue. The queue grows as needed and never drops: the file gets exactly what was handed
// over, in order, however far the disk falls behind for a while. A raw capture holds the received bytes
// unchanged and nothing else; a text or hex capture holds them as lines with the time of each line's
// start (capture_lines.h), and there the sent bytes, when included, are lines of their own marked "TX"
// beside the received ones' "RX". A write that fails (a full disk, the file or its folder removed) ends
// the capture: what is queued after it is let go, the failure is reported once, and nothing else is
// affected.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "terminal/capture_lines.h"

class CCaptureFile;

struct CaptureOptions {
    enum class Format { Raw, Text, Hex } format = Format::Raw;
    bool timestamps = true;    // text and hex lines start with their time
    bool includeSent = false;  // text and hex only: a raw capture is the received bytes alone
    bool append = false;       // false: the file starts empty
};

class CCaptureWriter {
  public:
    using Clock = std::chrono::system_clock;
    // Called once, on the writer's thread, when a write failed; the capture has ended by then.
    using FailureNotice = std::function<void(const std::string& error)>;

    // Opens the file and starts the thread; null with error when the file cannot be used.
    static std::unique_ptr<CCaptureWriter> Start(const std::filesystem::path& path,
                                                 const CaptureOptions& options, FailureNotice onFailure,
                                                 std::string& error);
    // Stops as Stop does.
    ~CCaptureWriter();
    CCaptureWriter(const CCaptureWriter&) = delete;
    CCaptureWriter& operator=(const CCaptureWriter&) = delete;

    // Queue bytes that came in, or went out, at when; return at once.
    void Received(std::span<const std::uint8_t> bytes, Clock::time_point when = Clock::now());
    void Sent(std::span<const std::uint8_t> bytes, Clock::time_point when = Clock::now());

    // Writes everything queued, ends an open line, closes the file and joins the thread. The capture's
    // error, empty when every byte reached the file.
    std::string Stop();

    // Bytes that reached the file (times and marks included), for showing while the capture runs.
    std::uint64_t BytesWritten() const { return m_written.load(); }
    bool Failed() const { return m_failed.load(); }
    const CaptureOptions& Options() const { return m_options; }

  private:
    struct Piece {
        CaptureDirection direction;
        Clock::time_point when;
        std::vector<std::uint8_t> bytes;
    };

    CCaptureWriter(std::unique_ptr<CCaptureFile> file, const CaptureOptions& options,
                   FailureNotice onFailure);
    void Queue(CaptureDirection direction, std::span<const std::uint8_t> bytes, Clock::time_point when);
    void Run();
    bool WriteOut(const std::string& text);

    std::unique_ptr<CCaptureFile> m_file;
    CaptureOptions m_options;
    FailureNotice m_onFailure;
    CCaptureLines m_lines;

    std::mutex m_lock;
    std::condition_variable m_wake;
    std::vector<Piece> m_queue;
    bool m_stopping = false;
    std::string m_error;

    std::atomic<std::uint64_t> m_written{0};
    std::atomic<bool> m_failed{false};
    std::thread m_thread;
};
