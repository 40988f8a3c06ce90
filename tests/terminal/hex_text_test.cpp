#include "terminal/hex_text.h"
#include "terminal/send_line_ending.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

TEST(HexDigitValueTest, DigitsOfBothCasesAndNothingElse) {
    const std::string_view digits = "0123456789ABCDEF";
    const std::string_view lower = "0123456789abcdef";
    for (int v = 0; v < 16; ++v) {
        EXPECT_EQ(HexDigitValue(digits[static_cast<std::size_t>(v)]), v);
        EXPECT_EQ(HexDigitValue(lower[static_cast<std::size_t>(v)]), v);
    }
    for (const char c : {' ', '\t', '\r', '\n', 'G', 'g', 'x', '/', ':', '@', '`', '\0',
                         static_cast<char>(0xB0), static_cast<char>(0xFF)}) {
        EXPECT_EQ(HexDigitValue(c), 16) << static_cast<int>(c);
    }
}

struct HexCase {
    const char* name;
    std::string_view text;
    Bytes bytes;
};

class HexTextToBytesTest : public testing::TestWithParam<HexCase> {};

TEST_P(HexTextToBytesTest, PairsUntilTheFirstNonPair) {
    const HexCase& c = GetParam();
    Bytes out = {0xEE};  // bytes already there stay; the count covers only the new ones
    EXPECT_EQ(HexTextToBytes(c.text, out), c.bytes.size());
    Bytes expected = {0xEE};
    expected.insert(expected.end(), c.bytes.begin(), c.bytes.end());
    EXPECT_EQ(out, expected);
}

INSTANTIATE_TEST_SUITE_P(
    SendArea, HexTextToBytesTest,
    testing::Values(HexCase{"pairs_with_blanks", "01 02 0A ff", {0x01, 0x02, 0x0A, 0xFF}},
                    HexCase{"pairs_without_blanks", "01020A", {0x01, 0x02, 0x0A}},
                    HexCase{"blanks_lead_repeat_trail", "  01   02 ", {0x01, 0x02}},
                    HexCase{"lone_last_digit_dropped", "123", {0x12}},
                    HexCase{"blank_inside_pair", "0 1", {}},
                    HexCase{"line_break_ends", "01 02\r\n03", {0x01, 0x02}},
                    HexCase{"prefix_ends", "0x12", {}}, HexCase{"tab_ends", "01\t02", {0x01}},
                    HexCase{"comma_ends", "01,02", {0x01}}, HexCase{"non_ascii_ends", "7f\xB0\xA1", {0x7F}},
                    HexCase{"mixed_case", "aB Cd", {0xAB, 0xCD}}, HexCase{"only_blanks", "   ", {}},
                    HexCase{"empty", "", {}}),
    [](const testing::TestParamInfo<HexCase>& p) { return std::string(p.param.name); });

TEST(HexTextToBytesLongTest, MoreThanTheEngineBufferIsConvertedWhole) {
    std::string text;
    Bytes expected;
    const char* digits = "0123456789ABCDEF";
    for (int i = 0; i < 2000; ++i) {
        const int v = (i * 7) % 256;
        text += digits[v / 16];
        text += digits[v % 16];
        text += ' ';
        expected.push_back(static_cast<uint8_t>(v));
    }
    Bytes out;
    EXPECT_EQ(HexTextToBytes(text, out), 2000u);
    EXPECT_EQ(out, expected);
}

TEST(TextSendBytes, TheSendAreaThenTheChosenEnding) {
    const struct {
        SendLineEnding ending;
        std::string_view text;
        std::string bytes;
    } cases[] = {
        {SendLineEnding::None, "AT", "AT"},
        {SendLineEnding::Cr, "AT", "AT\r"},
        {SendLineEnding::Lf, "AT", "AT\n"},
        {SendLineEnding::CrLf, "AT", "AT\r\n"},
        {SendLineEnding::CrLf, "A\r\nT", "A\r\nT\r\n"},  // a line break typed in the area stays as it is
        {SendLineEnding::Cr, "", "\r"},                  // an empty area sends the ending alone
        {SendLineEnding::None, "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TextSendBytes(c.text, c.ending), c.bytes) << c.bytes;
    }
}

}  // namespace
