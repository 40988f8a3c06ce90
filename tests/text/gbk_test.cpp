// GBK over the program's one table: known characters against bytes written by hand, the refusals, what a
// shown text makes of bytes that form no character, and that both directions agree on every pair.
#include "text/gbk.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

TEST(Gbk, SystemTableFound) {
    EXPECT_TRUE(GbkAvailable());
}

struct EncodeCase {
    const char* name;
    std::string utf8;
    std::u16string utf16;  // the same text, or empty where UTF-16 cannot hold the malformed input
    std::optional<std::string> gbk;
};

TEST(Gbk, EncodesKnownCharactersAndRefusesWhatGbkHasNot) {
    const EncodeCase cases[] = {
        {"ascii with line end", "AT+1\r\n", u"AT+1\r\n", "AT+1\r\n"},
        {"empty", "", u"", ""},
        {"two ideographs", "\xE4\xB8\xAD\xE6\x96\x87", u"\u4E2D\u6587", "\xD6\xD0\xCE\xC4"},
        {"mixed", "cmnet\xE7\xA7\xBB\xE5\x8A\xA8", u"cmnet\u79FB\u52A8", "cmnet\xD2\xC6\xB6\xAF"},
        {"ideographic space", "\xE3\x80\x80", u"\u3000", "\xA1\xA1"},
        {"GBK extension", "\xE4\xB8\x82", u"\u4E02", "\x81\x40"},
        {"marks of the form", "\xE2\x88\x9A\xC3\x97", u"\u221A\u00D7", "\xA1\xCC\xA1\xC1"},
        {"full-width stop", "\xE3\x80\x82", u"\u3002", "\xA1\xA3"},
        {"middle dot", "\xC2\xB7", u"\u00B7", "\xA1\xA4"},
        {"em dash", "\xE2\x80\x94", u"\u2014", "\xA1\xAA"},
        {"emoji", "ok \xF0\x9F\x98\x80", u"ok \U0001F600", std::nullopt},
        {"euro sign, which has no pair", "\xE2\x82\xAC", u"\u20AC", std::nullopt},
        {"replacement character", "\xEF\xBF\xBD", u"\uFFFD", std::nullopt},
        {"private use", "\xEE\x80\x80", u"\uE000", std::nullopt},
        {"overlong slash", "\xC0\xAF", u"", std::nullopt},
        {"lone continuation byte", "\x80", u"", std::nullopt},
        {"cut short", "\xE4\xB8", u"", std::nullopt},
        {"encoded surrogate", "\xED\xA0\x80", u"", std::nullopt},
    };
    for (const EncodeCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Utf8ToGbk(c.utf8), c.gbk);
        if (!c.utf16.empty() || c.utf8.empty()) {
            EXPECT_EQ(Utf16ToGbk(c.utf16), c.gbk);
        }
        if (c.gbk) {
            EXPECT_EQ(GbkToUtf8(*c.gbk), c.utf8);
        }
    }
    // Half of a surrogate pair is no character.
    EXPECT_EQ(Utf16ToGbk(u"a\xD83D"), std::nullopt);
}

TEST(Gbk, BytesThatAreNoTextAreRefusedOrShownAsReplacements) {
    struct Case {
        const char* name;
        std::string gbk;
        std::u16string shown;
    };
    const Case cases[] = {
        {"pair", "\xD6\xD0", u"\u4E2D"},
        {"lead byte at the end", "abc\x81", u"abc\uFFFD"},
        {"character then half of one", "\xD2\xC6\xB6", u"\u79FB\uFFFD"},
        {"lead then ASCII, which stays",
         "\xD6"
         "0",
         u"\uFFFD0"},
        {"lead then 0xFF", "\xD6\xFF", u"\uFFFD\uFFFD"},
        {"0x80",
         "\x80"
         "A",
         u"\uFFFDA"},
        // User-defined areas: code page 936 gives them private use characters, glibc nothing; both refuse.
        {"user-defined pair", "\xAA\xA1", u"\uFFFD"},
        {"user-defined pair after ASCII", "A\xFE\xA1", u"A\uFFFD"},
        {"user-defined pair below the symbols", "\xA2\xA0", u"\uFFFD"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(GbkToUtf16Shown(c.gbk), c.shown);
        EXPECT_EQ(GbkToUtf8(c.gbk).has_value(), c.shown.find(u'\uFFFD') == std::u16string::npos);
    }
    EXPECT_EQ(GbkToUtf8Lossy("a\\\xD6"), "a\\x5c\\xd6");
    EXPECT_EQ(GbkToUtf8Lossy("\xD6\xD0"), "\xE4\xB8\xAD");
}

// One table for both directions: every pair with a character encodes back to itself.
TEST(Gbk, BothDirectionsAgreeOnEveryPair) {
    int pairs = 0;
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            const auto l = static_cast<uint8_t>(lead);
            const auto t = static_cast<uint8_t>(trail);
            const char16_t code = IsGbkTrail(t) ? GbkPairCode(l, t) : 0;
            if (code == 0) {
                continue;
            }
            ++pairs;
            const std::string bytes{static_cast<char>(l), static_cast<char>(t)};
            ASSERT_EQ(GbkToUtf16Shown(bytes), std::u16string(1, code)) << lead << " " << trail;
            ASSERT_EQ(Utf16ToGbk(std::u16string(1, code)), bytes) << lead << " " << trail;
        }
    }
    EXPECT_GT(pairs, 21000);
}

}  // namespace
