// Time stamps in the receive pieces: line starts split across runs, CR, LF and CR LF, hex runs after
// quiet gaps, stamps switched on mid-line, and the screen emptied or interrupted mid-line. The times are
// those a fake clock gives each run.
#include "terminal/receive_stamps.h"
#include "terminal/receive_pieces.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

constexpr std::int32_t Day(int h, int m, int s, int ms) {
    return ((h * 60 + m) * 60 + s) * 1000 + ms;
}

TEST(ReceiveStamps, StampsShowTheTimeOfDayToTheMillisecond) {
    const struct {
        std::int32_t dayMs;
        std::u16string stamp;
    } cases[] = {
        {0, u"[00:00:00.000] "},
        {Day(1, 2, 3, 4), u"[01:02:03.004] "},
        {Day(23, 59, 59, 999), u"[23:59:59.999] "},
        {Day(24, 0, 0, 5), u"[00:00:00.005] "},  // a clock past midnight wraps
    };
    for (const auto& c : cases) {
        std::u16string out;
        AppendStamp(c.dayMs, out);
        EXPECT_EQ(out, c.stamp) << c.dayMs;
    }
}

struct Step {
    enum Kind { Run, Empty, EndText, On, Off, Utf8 } kind = Run;
    std::int64_t steadyMs = 0;
    std::string bytes;
    bool hex = false;
};

Step Text(std::int64_t ms, std::string bytes) {
    return {Step::Run, ms, std::move(bytes), false};
}
Step Hex(std::int64_t ms, std::string bytes) {
    return {Step::Run, ms, std::move(bytes), true};
}
const Step kEmpty{Step::Empty, 0, {}, false};
const Step kEndText{Step::EndText, 0, {}, false};
const Step kOn{Step::On, 0, {}, false};
const Step kOff{Step::Off, 0, {}, false};
const Step kUtf8{Step::Utf8, 0, {}, false};

// The fake clock's time of day is 10:00:00 plus the run's steady time.
std::u16string S(std::int64_t ms) {
    std::u16string out;
    AppendStamp(Day(10, 0, 0, 0) + static_cast<std::int32_t>(ms), out);
    return out;
}

TEST(ReceiveStamps, LinesAndRunsStartWithTheTimeTheirFirstByteArrived) {
    struct Case {
        const char* name;
        std::vector<Step> steps;
        std::u16string shown;  // "|" where the area was emptied
    };
    const Case cases[] = {
        {"off: the pieces alone", {kOff, Text(0, "ab\r\ncd")}, u"ab\ncd"},
        {"off: hex", {kOff, Hex(0, "AB"), Hex(500, "C")}, u"41 42 43 "},
        {"CR LF, CR, LF in one run",
         {Text(1, "ab\r\ncd\ref\ngh")},
         S(1) + u"ab\n" + S(1) + u"cd\n" + S(1) + u"ef\n" + S(1) + u"gh"},
        {"empty lines are stamped", {Text(1, "\n\r\r\n")}, S(1) + u"\n" + S(1) + u"\n" + S(1) + u"\n"},
        {"a line's first byte in the next run",
         {Text(1, "ab\r\n"), Text(7, "cd")},
         S(1) + u"ab\n" + S(7) + u"cd"},
        {"CR and LF in two runs: the LF starts nothing",
         {Text(1, "ab\r"), Text(2, "\n"), Text(9, "cd")},
         S(1) + u"ab\n" + S(9) + u"cd"},
        {"a line goes on across runs", {Text(1, "ab"), Text(300, "c\nd")}, S(1) + u"abc\n" + S(300) + u"d"},
        {"a GBK character split at its line start",
         {Text(1, "\n\xD6"), Text(4, "\xD0")},
         S(1) + u"\n" + S(1) + u"\u4E2D"},
        {"UTF-8 split at its line start",
         {kUtf8, Text(1, "\xE4\xB8"), Text(2, "\xAD\r\n")},
         S(1) + u"\u4E2D\n"},
        {"on mid-line: the next line is the first stamped",
         {kOff, Text(0, "ab"), kOn, Text(5, "c\nd")},
         u"abc\n" + S(5) + u"d"},
        {"on at a line start", {kOff, Text(0, "a\n"), kOn, Text(5, "b")}, u"a\n" + S(5) + u"b"},
        {"on between CR and LF", {kOff, Text(0, "a\r"), kOn, Text(5, "\nb")}, u"a\n" + S(5) + u"b"},
        {"on mid-hex: the next run starts a line",
         {kOff, Hex(0, "A"), kOn, Hex(10, "B")},
         u"41 \n" + S(10) + u"42 "},
        {"emptied mid-line: the rest keeps the line's time",
         {Text(1, "ab"), kEmpty, Text(8, "c\nd")},
         S(1) + u"ab|" + S(1) + u"c\n" + S(8) + u"d"},
        {"emptied at a line start", {Text(1, "ab\n"), kEmpty, Text(8, "c")}, S(1) + u"ab\n|" + S(8) + u"c"},
        {"on mid-line, then emptied", {kOff, Text(0, "ab"), kOn, kEmpty, Text(5, "c")}, u"ab|" + S(5) + u"c"},
        {"display interrupted mid-line",
         {Text(1, "ab"), kEndText, Text(2, "c")},
         S(1) + u"ab\n" + S(2) + u"c"},
        {"interrupt forgets a CR",
         {Text(1, "a\r"), kEndText, Text(2, "\nb")},
         S(1) + u"a\n" + S(2) + u"\n" + S(2) + u"b"},
        {"hex: runs after a gap of 100 ms start a line",
         {Hex(0, "AB"), Hex(50, "C"), Hex(149, "D"), Hex(249, "E"), Hex(250, "\n")},
         S(0) + u"41 42 43 44 \n" + S(249) + u"45 0A "},
        {"hex: emptied, the bytes go on unstamped to the next gap",
         {Hex(0, "A"), kEmpty, Hex(20, "BC"), Hex(120, "D")},
         S(0) + u"41 |42 43 \n" + S(120) + u"44 "},
        {"text to hex and back: each starts a line",
         {Text(1, "ab"), Hex(2, "C"), Text(3, "d")},
         S(1) + u"ab\n" + S(2) + u"43 \n" + S(3) + u"d"},
        {"hex after a text line end needs no break",
         {Text(1, "a\n"), Hex(2, "C")},
         S(1) + u"a\n" + S(2) + u"43 "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ReceivePieces pieces;
        std::u16string shown;
        // As the window tells it: whether the area ends at a line start ("|": just emptied).
        auto atLineStart = [&shown] {
            return shown.empty() || shown.back() == u'\n' || shown.back() == u'|';
        };
        pieces.SetStamps(true, true);
        for (const Step& step : c.steps) {
            switch (step.kind) {
                case Step::Run:
                    if (pieces.StampsOn()) {
                        pieces.BeginRun(
                            {step.steadyMs, Day(10, 0, 0, 0) + static_cast<std::int32_t>(step.steadyMs)});
                    }
                    for (const char byte : step.bytes) {
                        pieces.Append(static_cast<uint8_t>(byte), step.hex, shown);
                    }
                    break;
                case Step::Empty:
                    pieces.AreaEmptied();
                    shown += u'|';
                    break;
                case Step::EndText:
                    pieces.EndText(shown);
                    break;
                case Step::On:
                    pieces.SetStamps(true, atLineStart());
                    break;
                case Step::Off:
                    pieces.SetStamps(false, false);
                    break;
                case Step::Utf8:
                    pieces.SetEncoding(ReceiveEncoding::Utf8, shown);
                    break;
            }
        }
        EXPECT_EQ(shown, c.shown);
    }
}

}  // namespace
