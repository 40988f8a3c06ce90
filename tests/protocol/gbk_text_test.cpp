// GBK conversion through the system's converter (iconv on Linux, code page 936 on Windows): both must give
// the same bytes for the same text, so the cases are written out by hand and run on each.
#include "protocol/gbk_text.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace {

TEST(GbkTextTest, ConvertsBothWaysOrRefuses) {
    struct Case {
        const char* name;
        std::string utf8;
        std::optional<std::string> gbk;  // nullopt: the text has no GBK form
    };
    const Case cases[] = {
        {"empty", "", std::string()},
        {"ascii", "AT+CSQ\r\n", std::string("AT+CSQ\r\n")},
        {"han", "\xE4\xB8\xAD\xE6\x96\x87", std::string("\xD6\xD0\xCE\xC4")},
        {"full_width_stop", "\xE3\x80\x82", std::string("\xA1\xA3")},
        {"middle_dot", "\xC2\xB7", std::string("\xA1\xA4")},
        {"em_dash", "\xE2\x80\x94", std::string("\xA1\xAA")},
        {"euro_one_byte", "\xE2\x82\xAC", std::string("\x80")},
        {"extension_pair", "\xE4\xB8\x82", std::string("\x81\x40")},
        {"private_use", "\xEE\x80\x80", std::nullopt},
        {"emoji", "\xF0\x9F\x98\x80", std::nullopt},
        {"bad_utf8", "\xE4\xB8", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Utf8ToGbk(c.utf8), c.gbk);
        if (c.gbk) {
            EXPECT_EQ(GbkToUtf8(*c.gbk), c.utf8);
        }
    }
}

TEST(GbkTextTest, BytesThatAreNoGbkAreRefused) {
    // A lone lead byte, a bad trail, and a user-defined pair (private use in code page 936).
    for (const std::string bytes : {"\xD6", "\xD6\x30", "\xAA\xA1", "A\xFE\xA1"}) {
        SCOPED_TRACE(bytes);
        EXPECT_EQ(GbkToUtf8(bytes), std::nullopt);
    }
    EXPECT_EQ(GbkToUtf8Lossy("A\\\xD6"), "A\\x5c\\xd6");
    EXPECT_EQ(GbkToUtf8Lossy("\xD6\xD0"), "\xE4\xB8\xAD");
}

TEST(GbkTextTest, PairsDecodeToOneUnitOrNone) {
    const std::vector<std::array<std::uint8_t, 2>> pairs = {
        {0xD6, 0xD0}, {0x81, 0x40}, {0xA1, 0xA3}, {0xAA, 0xA1}, {0xA2, 0xA0}};
    const std::vector<char16_t> expected = {u'\u4E2D', u'\u4E02', u'\u3002', 0, 0};
    std::vector<char16_t> codes(pairs.size(), u'?');
    ASSERT_TRUE(DecodeGbkPairs(pairs, codes));
    EXPECT_EQ(codes, expected);
}

}  // namespace
