// Mode text and terminal settings as pure functions: a pseudo-terminal forces 8 data bits and no parity,
// so these combinations can only be checked here.
#include "serial/mode_text.h"

#include <asm/termbits.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(ModeTextTest, BuildsTheTextFromThePanelChoices) {
    EXPECT_EQ(BuildModeText(9600, 'N', 8, 1), "baud=9600 parity=N data=8 stop=1");
    EXPECT_EQ(BuildModeText(115200, 'E', 7, 2), "baud=115200 parity=E data=7 stop=2");
    EXPECT_EQ(BuildModeText(43000, 'O', 8, 1), "baud=43000 parity=O data=8 stop=1");
}

struct ParseCase {
    const char* text;
    bool ok;
    LineSettings expected;
};

TEST(ModeTextTest, ParsesValidTextsAndRefusesTheRest) {
    const std::vector<ParseCase> cases = {
        {"baud=9600 parity=N data=8 stop=1", true, {9600, 'N', 8, 1}},
        {"baud=115200 parity=E data=7 stop=2", true, {115200, 'E', 7, 2}},
        {"baud=43000 parity=O data=8 stop=1", true, {43000, 'O', 8, 1}},
        {"BAUD=300 PARITY=e DATA=5 STOP=2", true, {300, 'E', 5, 2}},
        {"stop=2 data=6 parity=S baud=1200", true, {1200, 'S', 6, 2}},
        {"  baud=600  parity=m data=8 stop=1 ", true, {600, 'M', 8, 1}},
        {"", false, {}},
        {"baud=9600 parity=N data=8", false, {}},
        {"baud=9600 parity=X data=8 stop=1", false, {}},
        {"baud=9600 parity=NO data=8 stop=1", false, {}},
        {"baud=9600 parity= data=8 stop=1", false, {}},
        {"baud=0 parity=N data=8 stop=1", false, {}},
        {"baud=-9600 parity=N data=8 stop=1", false, {}},
        {"baud=+9600 parity=N data=8 stop=1", false, {}},
        {"baud=96x0 parity=N data=8 stop=1", false, {}},
        {"baud=99999999999 parity=N data=8 stop=1", false, {}},
        {"baud= parity=N data=8 stop=1", false, {}},
        {"baud9600 parity=N data=8 stop=1", false, {}},
        {"baud=9600 parity=N data=9 stop=1", false, {}},
        {"baud=9600 parity=N data=4 stop=1", false, {}},
        {"baud=9600 parity=N data=8 stop=1.5", false, {}},
        {"baud=9600 parity=N data=8 stop=3", false, {}},
        {"baud=9600 parity=N data=8 stop=0", false, {}},
        {"baud=9600 baud=4800 parity=N data=8 stop=1", false, {}},
        {"baud=9600 parity=N data=8 stop=1 xon=on", false, {}},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.text);
        const auto parsed = ParseModeText(c.text);
        ASSERT_EQ(parsed.has_value(), c.ok);
        if (c.ok) {
            EXPECT_EQ(parsed->baud, c.expected.baud);
            EXPECT_EQ(parsed->parity, c.expected.parity);
            EXPECT_EQ(parsed->dataBits, c.expected.dataBits);
            EXPECT_EQ(parsed->stopBits, c.expected.stopBits);
        }
    }
}

TEST(ModeTextTest, EveryPanelChoiceSurvivesTheText) {
    const int bauds[] = {300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 43000, 56000, 57600, 115200};
    for (int baud : bauds) {
        for (char parity : {'N', 'O', 'E'}) {
            for (int data : {8, 7}) {
                for (int stop : {1, 2}) {
                    const std::string text = BuildModeText(baud, parity, data, stop);
                    SCOPED_TRACE(text);
                    const auto parsed = ParseModeText(text);
                    ASSERT_TRUE(parsed.has_value());
                    EXPECT_EQ(parsed->baud, baud);
                    EXPECT_EQ(parsed->parity, parity);
                    EXPECT_EQ(parsed->dataBits, data);
                    EXPECT_EQ(parsed->stopBits, stop);
                }
            }
        }
    }
}

// What a fresh terminal looks like: line editing, echo, signals, CR/LF mapping, flow control, 38400 baud,
// plus line bits that must all be replaced.
TermiosValue CookedTerminal() {
    TermiosValue v;
    v.iflag = BRKINT | ICRNL | IXON | IXOFF | INLCR | IGNCR | ISTRIP | PARMRK | INPCK | IMAXBEL | IUTF8;
    v.oflag = OPOST | ONLCR;
    v.lflag = ISIG | ICANON | ECHO | ECHOE | ECHOK | ECHOCTL | ECHOKE | IEXTEN;
    v.cflag = B38400 | (B38400 << IBSHIFT) | CS6 | PARENB | PARODD | CMSPAR | CSTOPB | HUPCL | CRTSCTS;
    v.cc[VMIN] = 0;
    v.cc[VTIME] = 10;
    v.cc[VINTR] = 3;
    v.ispeed = 38400;
    v.ospeed = 38400;
    return v;
}

TEST(ModeTextTest, SettingsEditTheTerminalForEveryCombination) {
    // Expected bits written out per choice, independently of the code under test.
    const std::pair<int, std::uint32_t> sizes[] = {{5, CS5}, {6, CS6}, {7, CS7}, {8, CS8}};
    const std::pair<char, std::uint32_t> parities[] = {{'N', 0},
                                                       {'O', PARENB | PARODD},
                                                       {'E', PARENB},
                                                       {'M', PARENB | PARODD | CMSPAR},
                                                       {'S', PARENB | CMSPAR}};
    const std::pair<int, std::uint32_t> stops[] = {{1, 0}, {2, CSTOPB}};

    for (const TermiosValue& start : {CookedTerminal(), TermiosValue{}}) {
        for (const auto& [data, sizeBits] : sizes) {
            for (const auto& [parity, parityBits] : parities) {
                for (const auto& [stop, stopBits] : stops) {
                    SCOPED_TRACE(BuildModeText(43000, parity, data, stop));
                    TermiosValue v = start;
                    ApplyLineSettings({43000, parity, data, stop}, v);

                    EXPECT_EQ(v.cflag & CSIZE, sizeBits);
                    EXPECT_EQ(v.cflag & (PARENB | PARODD | CMSPAR), parityBits);
                    EXPECT_EQ(v.cflag & CSTOPB, stopBits);
                    EXPECT_EQ(v.cflag & CBAUD, static_cast<std::uint32_t>(BOTHER));
                    EXPECT_EQ(v.cflag & CIBAUD, static_cast<std::uint32_t>(BOTHER << IBSHIFT));
                    EXPECT_EQ(v.ospeed, 43000u);
                    EXPECT_EQ(v.ispeed, 43000u);
                    EXPECT_EQ(v.cflag & (CLOCAL | CREAD), static_cast<std::uint32_t>(CLOCAL | CREAD));
                    EXPECT_EQ(v.cflag & CRTSCTS, 0u);
                    // Bits the line settings do not concern stay as they were.
                    EXPECT_EQ(v.cflag & HUPCL, start.cflag & HUPCL);
                    EXPECT_EQ(v.iflag & IUTF8, start.iflag & IUTF8);
                    EXPECT_EQ(v.cc[VINTR], start.cc[VINTR]);

                    EXPECT_EQ(
                        v.iflag & (BRKINT | ICRNL | IXON | IXOFF | INLCR | IGNCR | ISTRIP | PARMRK | INPCK),
                        0u);
                    EXPECT_EQ(v.oflag & OPOST, 0u);
                    EXPECT_EQ(v.lflag & (ISIG | ICANON | ECHO | ECHONL | IEXTEN), 0u);
                    EXPECT_EQ(v.cc[VMIN], 1);
                    EXPECT_EQ(v.cc[VTIME], 0);
                }
            }
        }
    }
}

TEST(ModeTextTest, ReadBackSpeedMustBeWithinThreePercent) {
    struct Case {
        int requested;
        std::uint32_t actual;
        bool ok;
    };
    const Case cases[] = {
        {43000, 43000, true},  {43000, 41710, true},   {43000, 41709, false},   {43000, 44290, true},
        {43000, 44291, false}, {115200, 111744, true}, {115200, 111743, false}, {9600, 0, false},
        {300, 300, true},      {0, 0, false},          {-9600, 9600, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.requested) + " read back as " + std::to_string(c.actual));
        EXPECT_EQ(SpeedWithinTolerance(c.requested, c.actual), c.ok);
    }
}

}  // namespace
