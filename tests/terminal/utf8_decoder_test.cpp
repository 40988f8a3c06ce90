// The UTF-8 receive decoder on hand-written cases: characters of every length, each kind of bad sequence
// shown as U+FFFD per maximal part, the line breaks and zero bytes as the GBK decoder shows them, and the
// same text for every way the bytes are split into reads.
#include "terminal/utf8_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::u16string Decode(const std::string& bytes, const std::vector<std::size_t>& cuts) {
    Utf8Decoder decoder;
    std::u16string out;
    std::size_t from = 0;
    std::vector<std::size_t> ends = cuts;
    ends.push_back(bytes.size());
    for (const std::size_t end : ends) {
        for (std::size_t i = from; i < end; ++i) {
            decoder.FeedByte(static_cast<uint8_t>(bytes[i]), out);
        }
        from = end;
    }
    decoder.Flush(out);
    return out;
}

TEST(Utf8Decoder, EveryCaseShowsTheSameTextHoweverTheReadsSplitIt) {
    const struct {
        const char* name;
        std::string bytes;
        std::u16string shown;
    } cases[] = {
        {"ASCII", "AT+CSQ", u"AT+CSQ"},
        {"two, three and four bytes", "\xC2\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80", u"\u00A9\u4E2D\U0001F600"},
        {"the edges", "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF",
         u"\u007F\u0080\u07FF\u0800\uFFFF\U00010000\U0010FFFF"},
        {"CR, LF, CR LF and a zero byte", std::string("a\rb\nc\r\nd\0e", 11), u"a\nb\nc\nde"},
        {"Unicode's own example", "\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64",
         u"a\uFFFD\uFFFD\uFFFDb\uFFFDc\uFFFD\uFFFDd"},
        {"overlong forms, one U+FFFD per byte", "\xC0\x80\xC1\xBF\xE0\x80\x80\xF0\x8F\xBF\xBF",
         u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"surrogates", "\xED\xA0\x80\xED\xBF\xBFx", u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFDx"},
        {"above U+10FFFF and F5..FF", "\xF4\x90\x80\x80\xF5\xFF", u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"cut short by ASCII or a new lead", "\xE4\xB8z\xF0\x9F\x98\xE4\xB8\xAD", u"\uFFFDz\uFFFD\u4E2D"},
        {"cut short before a line break", "\xE4\r\n", u"\uFFFD\n"},
        {"cut short at the end", "ok\xF0\x9F\x98", u"ok\uFFFD"},
        {"stray continuation bytes", "\x80\xBFq", u"\uFFFD\uFFFDq"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Decode(c.bytes, {}), c.shown);
        for (std::size_t a = 0; a <= c.bytes.size(); ++a) {
            for (std::size_t b = a; b <= c.bytes.size(); ++b) {
                ASSERT_EQ(Decode(c.bytes, {a, b}), c.shown) << "reads cut at " << a << " and " << b;
            }
        }
    }
}

TEST(Utf8Decoder, AnOpenCharacterWaitsAndAFlushClosesIt) {
    Utf8Decoder decoder;
    std::u16string out;
    decoder.FeedByte(0xF0, out);
    decoder.FeedByte(0x9F, out);
    EXPECT_EQ(decoder.Pending(), 2);
    EXPECT_TRUE(out.empty());
    decoder.Flush(out);
    EXPECT_EQ(out, u"\uFFFD");
    EXPECT_EQ(decoder, Utf8Decoder{});
    decoder.FeedByte('\r', out);
    EXPECT_TRUE(decoder.AfterCr());
    decoder.FeedByte(0xC2, out);  // a lead byte ends the CR's hold on an LF, as in GBK
    decoder.FeedByte('\n', out);
    EXPECT_EQ(out, u"\uFFFD\n\uFFFD\n");
}

}  // namespace
