// Time stamps in the receive area. In text display every line starts with "[HH:MM:SS.mmm] ", the time
// its first byte arrived; in hex display, where the bytes carry no lines, every run of bytes that comes
// after a quiet gap starts a line of its own with the stamp of its arrival. The stamps are pieces of the
// shown text like any other, so the line rules count them.
//
// Lines are followed in bytes, as the decoders break them: a CR or an LF ends a line, an LF right after
// a CR ends nothing. GBK and UTF-8 agree on this and no multi-byte character holds either byte, so the
// stamper needs no decoder. It sees bytes only while stamps are on (off, the display pays nothing for
// it); switched on, it starts from what the screen shows, so that on mid-line the next line is the first
// stamped.
//
// Where the screen and the bytes part: when the area is emptied mid-line (a clear, the line rules), the
// rest of a text line is stamped again with the line's own time (hex goes on to its next gap); when the
// display skips bytes (stopped, a switch between text and hex), the next byte shown starts a new line.
#pragma once

#include <cstdint>
#include <string>

// When a run of received bytes arrived: a monotonic time for the gaps, and the local time of day shown.
struct ReceiveTime {
    std::int64_t steadyMs = 0;
    std::int32_t dayMs = 0;  // since local midnight
};

// The quiet time that makes a hex run start a stamped line: the idle time after which the program takes
// a device's answer as complete. It is longer than a USB adapter holds bytes back (16 ms, 40 ms for some)
// and than ten characters at 1200 baud, so one burst is not cut into stamps by its own pacing.
inline constexpr std::int64_t kHexStampGapMs = 100;

// "[HH:MM:SS.mmm] " of a time of day.
void AppendStamp(std::int32_t dayMs, std::u16string& out);

class ReceiveStamps {
  public:
    // Stamps come on: whether the area ends at a line start, and whether the decoder holds a CR.
    void Start(bool screenAtLineStart, bool afterCr);

    // A run of bytes that arrived at `time` is about to be shown.
    void BeginRun(ReceiveTime time);
    // What goes before the byte's piece: a stamp, after a line break if the screen needs one.
    void BeforePiece(uint8_t byte, bool hex, std::u16string& out);
    // The area was emptied: the next piece starts a line on screen.
    void AreaEmptied() { m_screenAtLineStart = true; }
    // The display stopped seeing bytes: the next byte shown starts a new line, and a CR before the gap
    // pairs with no LF after it (as the decoder forgets it).
    void Interrupt();
    // The decoder forgot a CR it held (a change of encoding).
    void ForgetCr() { m_afterCr = false; }

  private:
    void StartLine(std::u16string& out);

    bool m_hexKnown = false;          // a byte was seen since the start
    bool m_hex = false;               // the mode of the last byte seen
    bool m_lineOpen = false;          // a line (text) or a stamped group of runs (hex) has begun
    bool m_screenAtLineStart = true;  // the area ends at the start of a line
    bool m_afterCr = false;
    bool m_runStarts = false;  // the next byte is the first of its run
    bool m_gapBefore = true;   // a quiet gap (or nothing) came before the current run
    bool m_haveRun = false;
    ReceiveTime m_run;              // of the current run
    std::int32_t m_lineDayMs = -1;  // the open line's stamp, -1 when it began before stamps came on
};
