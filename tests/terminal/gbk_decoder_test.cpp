#include "terminal/gbk_decoder.h"
#include "text/gbk.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

const std::string kReplacement = "\xEF\xBF\xBD";  // U+FFFD

struct DecodeCase {
    const char* name;
    std::vector<Bytes> feeds;
    std::vector<std::string> outputs;  // what each feed adds
    uint8_t pendingLead;
    bool afterCr;
};

class GbkDecoderTest : public testing::TestWithParam<DecodeCase> {};

TEST_P(GbkDecoderTest, FeedsAddTheirText) {
    const DecodeCase& c = GetParam();
    ASSERT_EQ(c.feeds.size(), c.outputs.size());
    GbkDecoder decoder;
    for (std::size_t i = 0; i < c.feeds.size(); ++i) {
        EXPECT_EQ(decoder.Feed(c.feeds[i]), c.outputs[i]) << "feed " << i;
    }
    EXPECT_EQ(decoder.PendingLead(), c.pendingLead);
    EXPECT_EQ(decoder.AfterCr(), c.afterCr);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, GbkDecoderTest,
    testing::Values(
        DecodeCase{"ascii", {{'A', 'T', '+', '1'}}, {"AT+1"}, 0, false},
        DecodeCase{"zhong_whole", {{0xD6, 0xD0}}, {"\xE4\xB8\xAD"}, 0, false},
        DecodeCase{"zhong_split_across_feeds",
                   {{'A', 0xD6}, {0xD0, 'B'}},
                   {"A",
                    "\xE4\xB8\xAD"
                    "B"},
                   0,
                   false},
        DecodeCase{"lead_waits_at_end", {{0xCE}}, {""}, 0xCE, false},
        DecodeCase{"mixed_text",
                   {{'A', 0xD6, 0xD0, 0xCE, 0xC4, 0xA1, 0xA3, 'B'}},
                   {"A\xE4\xB8\xAD\xE6\x96\x87\xE3\x80\x82"
                    "B"},
                   0,
                   false},
        DecodeCase{"gbk_extension_pair", {{0x81, 0x40}}, {"\xE4\xB8\x82"}, 0, false},
        DecodeCase{"ascii_after_pair_is_not_a_trail",
                   {{0xD6, 0xD0, 0x41}},
                   {"\xE4\xB8\xAD"
                    "A"},
                   0,
                   false},
        DecodeCase{"invalid_trail_digit", {{0xD6, '0'}}, {kReplacement + "0"}, 0, false},
        DecodeCase{"invalid_trail_7f", {{0xD6, 0x7F}}, {kReplacement + "\x7F"}, 0, false},
        DecodeCase{"invalid_trail_ff", {{0xD6, 0xFF}}, {kReplacement + kReplacement}, 0, false},
        DecodeCase{"invalid_trail_then_pair",
                   {{0xD6, 0x3F, 0xD6, 0xD0}},
                   {kReplacement + "?\xE4\xB8\xAD"},
                   0,
                   false},
        DecodeCase{"lead_then_cr_breaks_line", {{0xD6, 0x0D, 0x0A}}, {kReplacement + "\n"}, 0, false},
        DecodeCase{"lead_then_zero", {{0xD6, 0x00, 'A'}}, {kReplacement + "A"}, 0, false},
        DecodeCase{"lone_80", {{0x80, 'A'}}, {kReplacement + "A"}, 0, false},
        DecodeCase{"lone_ff", {{0xFF, 0xD6, 0xD0}}, {kReplacement + "\xE4\xB8\xAD"}, 0, false},
        DecodeCase{"unconvertible_pair_one_mark", {{0xAA, 0xA1, 'A'}}, {kReplacement + "A"}, 0, false},
        DecodeCase{"zero_adds_nothing", {{'A', 0x00, 'B', 0x00}}, {"AB"}, 0, false},
        DecodeCase{"other_controls_pass", {{0x07, 0x09, 0x1B, 0x7F}}, {"\x07\x09\x1B\x7F"}, 0, false},
        DecodeCase{"cr_lf_once", {{'a', 0x0D, 0x0A, 'b'}}, {"a\nb"}, 0, false},
        DecodeCase{"lf_once", {{'a', 0x0A, 'b'}}, {"a\nb"}, 0, false},
        DecodeCase{"lone_cr_breaks_at_once", {{'a', 0x0D}, {'b'}}, {"a\n", "b"}, 0, false},
        DecodeCase{"cr_waits_for_lf_across_feeds", {{'a', 0x0D}, {0x0A, 'b'}}, {"a\n", "b"}, 0, false},
        DecodeCase{"cr_cr_lf", {{0x0D, 0x0D, 0x0A}}, {"\n\n"}, 0, false},
        DecodeCase{"lf_lf", {{0x0A, 0x0A}}, {"\n\n"}, 0, false},
        DecodeCase{"lf_cr", {{0x0A, 0x0D}}, {"\n\n"}, 0, true},
        DecodeCase{"lf_cr_lf", {{0x0A, 0x0D, 0x0A}}, {"\n\n"}, 0, false},
        // Only an LF right after the CR is absorbed; a zero between them is a byte of its own.
        DecodeCase{"cr_zero_lf", {{0x0D, 0x00, 0x0A}}, {"\n\n"}, 0, false}),
    [](const testing::TestParamInfo<DecodeCase>& p) { return std::string(p.param.name); });

TEST(GbkDecoderStateTest, CopiedStateContinuesTheCharacterAndTheLineBreak) {
    GbkDecoder decoder;
    EXPECT_EQ(decoder.Feed(Bytes{'x', 0x0D}), "x\n");
    GbkDecoder kept = decoder;
    EXPECT_EQ(kept.Feed(Bytes{0x0A, 0xD6}), "");
    EXPECT_EQ(kept.PendingLead(), 0xD6);
    GbkDecoder again = kept;
    EXPECT_EQ(again.Feed(Bytes{0xD0}), "\xE4\xB8\xAD");
    EXPECT_NE(kept, again);
}

TEST(GbkDecoderStateTest, FlushClosesAWaitingLeadOnly) {
    GbkDecoder decoder;
    std::string out;
    decoder.Flush(out);
    EXPECT_EQ(out, "");
    decoder.FeedByte(0x0D, out);
    decoder.FeedByte(0xB0, out);
    decoder.Flush(out);
    EXPECT_EQ(out, "\n" + kReplacement);
    EXPECT_EQ(decoder.PendingLead(), 0);
    decoder.FeedByte('A', out);  // would be a trail byte had the lead stayed
    EXPECT_EQ(out, "\n" + kReplacement + "A");
}

TEST(GbkDecoderTableTest, SystemConversionFound) {
    EXPECT_TRUE(GbkAvailable());
}

std::size_t CodePoints(const std::string& s) {
    std::size_t n = 0;
    for (const char c : s) {
        n += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    }
    return n;
}

// A lead byte followed by any byte B: either one character, or a mark for the lead and then whatever B
// shows on its own. The byte after them always shows as itself.
TEST(GbkDecoderTableTest, NoLeadSwallowsItsNeighbour) {
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int next = 0; next <= 0xFF; ++next) {
            const auto b = static_cast<uint8_t>(next);
            GbkDecoder decoder;
            const std::string got = decoder.Feed(Bytes{static_cast<uint8_t>(lead), b, 'Z'});
            const bool trail = next >= 0x40 && next <= 0xFE && next != 0x7F;
            if (trail) {
                ASSERT_FALSE(got.empty());
                EXPECT_EQ(got.back(), 'Z');
                EXPECT_EQ(CodePoints(got), 2u) << lead << " " << next;
            } else {
                GbkDecoder alone;
                EXPECT_EQ(got, kReplacement + alone.Feed(Bytes{b, 'Z'})) << lead << " " << next;
            }
        }
    }
}

bool IsValidUtf8(const std::string& s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t extra = 0;
        if (c < 0x80) {
            extra = 0;
        } else if (c >= 0xC2 && c < 0xE0) {
            extra = 1;
        } else if (c >= 0xE0 && c < 0xF0) {
            extra = 2;
        } else {
            return false;
        }
        if (i + extra >= s.size()) {
            return false;
        }
        for (std::size_t k = 1; k <= extra; ++k) {
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += extra + 1;
    }
    return true;
}

// Every character the decoder gives lies in the Basic Multilingual Plane.
std::string Utf8Of(const std::u16string& text) {
    std::string out;
    for (const char16_t c : text) {
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

TEST(GbkDecoderStreamTest, ByteByByteAndRandomRunsEqualOneFeed) {
    std::mt19937 rng(20240611);
    // Weighted toward the bytes that matter: leads, trails, CR, LF, zero.
    const Bytes interesting = {0x00, 0x0A, 0x0D, 0x41, 0x40, 0x7F, 0x80,
                               0x81, 0xA1, 0xAA, 0xD6, 0xD0, 0xFE, 0xFF};
    for (int round = 0; round < 200; ++round) {
        Bytes stream(std::uniform_int_distribution<std::size_t>(0, 300)(rng));
        for (uint8_t& b : stream) {
            b = rng() % 2 == 0 ? interesting[rng() % interesting.size()]
                               : static_cast<uint8_t>(std::uniform_int_distribution<int>(0, 255)(rng));
        }
        GbkDecoder whole;
        const std::string expected = whole.Feed(stream);
        ASSERT_TRUE(IsValidUtf8(expected)) << "round " << round;

        GbkDecoder single;
        std::string bytewise;
        for (const uint8_t b : stream) {
            single.FeedByte(b, bytewise);
        }
        EXPECT_EQ(bytewise, expected) << "round " << round;
        EXPECT_EQ(single, whole);

        GbkDecoder runs;
        std::string chunked;
        for (std::size_t at = 0; at < stream.size();) {
            const std::size_t n =
                std::min(stream.size() - at, std::uniform_int_distribution<std::size_t>(1, 17)(rng));
            chunked += runs.Feed(std::span(stream).subspan(at, n));
            at += n;
        }
        EXPECT_EQ(chunked, expected) << "round " << round;
        EXPECT_EQ(runs, whole);

        // The text area's form: the same characters in UTF-16.
        GbkDecoder wide;
        std::u16string utf16;
        for (const uint8_t b : stream) {
            wide.FeedByte(b, utf16);
        }
        EXPECT_EQ(Utf8Of(utf16), expected) << "round " << round;
        EXPECT_EQ(wide, whole);
    }
}

}  // namespace
