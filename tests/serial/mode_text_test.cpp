// The mode text as pure functions, built, parsed back and checked against read-back rates.
#include "serial/mode_text.h"

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
