// A capture as text lines: the bytes of the port, received and (when asked) sent, cut into lines that
// each start with the time of their first byte, "[2026-12-07 20:04:19.123] ", in local time. Text lines
// hold the device's bytes unchanged and end after its LF; hex lines hold "41 42 0D" and end after 16
// bytes or a quiet spell. With sent bytes marked, every line says its direction ("RX " or "TX ") after
// the time, and a change of direction ends the line it interrupts. Used by the capture writer for the log
// file and by quendal-cli monitor for its screen.
#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>

enum class CaptureDirection { Received, Sent };

class CCaptureLines {
  public:
    enum class Body { Text, Hex };
    using Clock = std::chrono::system_clock;

    // A hex line is ended by this much quiet before the next byte.
    static constexpr std::chrono::milliseconds kHexQuiet{100};
    static constexpr std::size_t kHexPerLine = 16;

    CCaptureLines(Body body, bool timestamps, bool marked);

    // Appends to out the text for bytes that crossed the port in direction at when.
    void Add(CaptureDirection direction, std::span<const std::uint8_t> bytes, Clock::time_point when,
             std::string& out);
    // Ends a line still open, so the text ends with a whole line.
    void End(std::string& out);

  private:
    void StartLine(CaptureDirection direction, Clock::time_point when, std::string& out);
    void AppendTime(Clock::time_point when, std::string& out);

    Body m_body;
    bool m_timestamps;
    bool m_marked;
    bool m_open = false;
    CaptureDirection m_direction = CaptureDirection::Received;
    std::size_t m_lineBytes = 0;
    Clock::time_point m_last{};
    // The local date and time of the last second formatted: lines within one second share it.
    std::int64_t m_second = -1;
    std::string m_secondText;
};
