#include "protocol/response_frame.h"
#include "tests/support/bytes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace {

Bytes Filler(std::size_t n, uint8_t fill = 'x') {
    return Bytes(n, fill);
}

// A record that holds zeros, CRs and the text "+CONFIG OK", so that a dispatch reading it as text or
// cutting it at a zero gives itself away.
Bytes SampleRecord() {
    Bytes record(kDeviceParamsSize);
    for (std::size_t i = 0; i < record.size(); ++i) {
        record[i] = static_cast<uint8_t>((i * 37 + 11) % 256);
    }
    record[0] = 0x00;
    record[1] = 0x0D;
    record[100] = 0x00;
    const std::string_view ok = "+CONFIG OK";
    std::copy(ok.begin(), ok.end(), record.begin() + 200);
    record[439] = 0x5A;
    return record;
}

Bytes RecordPrefix(std::size_t n) {
    const Bytes record = SampleRecord();
    return Bytes(record.begin(), record.begin() + static_cast<std::ptrdiff_t>(n));
}

DispatchResult CollectAndDispatch(ResponseFrame& frame, const Bytes& bytes) {
    for (const uint8_t b : bytes) {
        EXPECT_FALSE(CollectResponseByte(frame, b)) << "frame full before its end";
    }
    EXPECT_EQ(frame.count, bytes.size());
    return DispatchResponseFrame(frame);
}

struct ShortCase {
    const char* name;
    Bytes bytes;
    ResponseKind kind;
    const GbkText* paneText;
};

class ShortFrameTest : public testing::TestWithParam<ShortCase> {};

TEST_P(ShortFrameTest, JudgedBySizeClassAndFirstMatch) {
    const ShortCase& c = GetParam();
    ResponseFrame frame;
    const DispatchResult result = CollectAndDispatch(frame, c.bytes);
    EXPECT_EQ(result.kind, c.kind);
    EXPECT_EQ(result.paneText, c.paneText);
    EXPECT_EQ(frame.count, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, ShortFrameTest,
    testing::Values(
        ShortCase{"exactly_ten_bytes_ok", ToBytes("+CONFIG OK"), ResponseKind::ConfigOk, &kTextConfigOk},
        ShortCase{"nine_bytes_ignored", ToBytes("+CONFIG E"), ResponseKind::None, nullptr},
        ShortCase{"nine_byte_frame_of_ok_prefix", ToBytes("+CONFIG O"), ResponseKind::None, nullptr},
        ShortCase{"ok_with_line_breaks", ToBytes("\r\n+CONFIG OK\r\n"), ResponseKind::ConfigOk,
                  &kTextConfigOk},
        ShortCase{"error", ToBytes("\r\n+CONFIG ERROR\r\n"), ResponseKind::ConfigError, &kTextConfigFailed},
        ShortCase{"error_then_ok_is_success", ToBytes("+CONFIG ERROR\r\n+CONFIG OK\r\n"),
                  ResponseKind::ConfigOk, &kTextConfigOk},
        ShortCase{"defaults", ToBytes("+CONFIG DEFAULT OK\r\n"), ResponseKind::DefaultsOk,
                  &kTextDefaultsDone},
        ShortCase{"reset", ToBytes("+CONFIG RESET OK\r\n"), ResponseKind::ResetOk, &kTextRebooted},
        ShortCase{"error_beats_reset", ToBytes("+CONFIG RESET OK\r\n+CONFIG ERROR"),
                  ResponseKind::ConfigError, &kTextConfigFailed},
        ShortCase{"case_sensitive", ToBytes("+config ok\r\n"), ResponseKind::None, nullptr},
        ShortCase{"ninety_nine_bytes", Concat({Filler(89), ToBytes("+CONFIG OK")}), ResponseKind::ConfigOk,
                  &kTextConfigOk},
        ShortCase{"hundred_bytes_ignored", Concat({Filler(90), ToBytes("+CONFIG OK")}), ResponseKind::None,
                  nullptr},
        ShortCase{"ok_in_447_bytes_ignored", Concat({ToBytes("+CONFIG OK"), Filler(437)}), ResponseKind::None,
                  nullptr},
        ShortCase{"text_ends_at_first_zero", Concat({ToBytes("abc"), Bytes{0}, ToBytes("+CONFIG OK")}),
                  ResponseKind::None, nullptr},
        ShortCase{"record_marker_in_short_frame", ToBytes("+CONFIG=0123456789"), ResponseKind::None, nullptr},
        ShortCase{"empty_frame", Bytes{}, ResponseKind::None, nullptr}),
    [](const testing::TestParamInfo<ShortCase>& p) { return std::string(p.param.name); });

struct SignalCase {
    const char* name;
    std::string_view text;
    std::optional<std::string> signal;
};

class SignalAnswerTest : public testing::TestWithParam<SignalCase> {};

TEST_P(SignalAnswerTest, ValueBetweenCsqAndFirstComma) {
    const SignalCase& c = GetParam();
    ResponseFrame frame;
    const DispatchResult result = CollectAndDispatch(frame, ToBytes(c.text));
    EXPECT_EQ(result.kind, ResponseKind::Signal);
    EXPECT_EQ(result.paneText, nullptr);
    EXPECT_EQ(result.signal, c.signal);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, SignalAnswerTest,
    testing::Values(SignalCase{"blank_kept", "+CONFIG CMD:\r\n+CSQ: 23,99\r\n\r\nOK\r\n", " 23"},
                    SignalCase{"no_blank", "+CONFIG CMD:+CSQ:7,99", "7"},
                    SignalCase{"comma_before_csq", "+CONFIG CMD:AT,\r\n+CSQ: 23,99\r\n", std::nullopt},
                    SignalCase{"no_csq", "+CONFIG CMD:\r\nERROR,1\r\n", std::nullopt},
                    SignalCase{"no_comma", "+CONFIG CMD:\r\n+CSQ: 23\r\n", std::nullopt},
                    SignalCase{"comma_right_after_colon", "+CONFIG CMD:+CSQ:,99", std::nullopt}),
    [](const testing::TestParamInfo<SignalCase>& p) { return std::string(p.param.name); });

TEST(ResponseFrameTest, ConfigOkBeatsSignalAnswer) {
    ResponseFrame frame;
    const DispatchResult result = CollectAndDispatch(frame, ToBytes("+CONFIG CMD:+CSQ: 23,99\r\n+CONFIG OK"));
    EXPECT_EQ(result.kind, ResponseKind::ConfigOk);
    EXPECT_FALSE(result.signal.has_value());
}

struct RecordCase {
    const char* name;
    Bytes bytes;
    bool taken;
};

class RecordFrameTest : public testing::TestWithParam<RecordCase> {};

TEST_P(RecordFrameTest, RecordTakenOnlyWhenWhollyInALongFrame) {
    const RecordCase& c = GetParam();
    ResponseFrame frame;
    const DispatchResult result = CollectAndDispatch(frame, c.bytes);
    if (c.taken) {
        EXPECT_EQ(result.kind, ResponseKind::Record);
        EXPECT_EQ(result.paneText, &kTextReadDone);
        EXPECT_EQ(Bytes(result.record.begin(), result.record.end()), SampleRecord());
    } else {
        EXPECT_EQ(result.kind, ResponseKind::None);
        EXPECT_EQ(result.paneText, nullptr);
    }
    EXPECT_EQ(frame.count, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, RecordFrameTest,
    testing::Values(RecordCase{"exactly_448", Concat({ToBytes("+CONFIG="), SampleRecord()}), true},
                    RecordCase{"in_447_bytes_ignored",
                               Concat({ToBytes("+CONFIG="), RecordPrefix(kDeviceParamsSize - 1)}), false},
                    RecordCase{"with_text_around",
                               Concat({ToBytes("\r\n+CONFIG="), SampleRecord(), ToBytes("\r\nOK\r\n")}),
                               true},
                    RecordCase{"last_byte_of_record_is_last_of_frame",
                               Concat({ToBytes("noise+CONFIG="), SampleRecord()}), true},
                    RecordCase{"one_byte_short_after_late_marker",
                               Concat({Filler(20), ToBytes("+CONFIG="), RecordPrefix(kDeviceParamsSize - 1)}),
                               false},
                    RecordCase{"late_marker_few_bytes_follow",
                               Concat({Filler(500), ToBytes("+CONFIG="), Filler(100)}), false},
                    RecordCase{"zero_before_marker_hides_it",
                               Concat({ToBytes("ab"), Bytes{0}, ToBytes("+CONFIG="), SampleRecord()}), false},
                    RecordCase{"no_marker", Filler(600), false}),
    [](const testing::TestParamInfo<RecordCase>& p) { return std::string(p.param.name); });

TEST(ResponseFrameTest, StaleBytesOfALongerFrameAreNotSeen) {
    ResponseFrame frame;
    EXPECT_EQ(CollectAndDispatch(frame, Concat({Filler(40), ToBytes("+CONFIG OK"), Filler(10)})).kind,
              ResponseKind::ConfigOk);
    // Twenty bytes: the earlier answer still sits at index 40 of the buffer, past the new count.
    EXPECT_EQ(CollectAndDispatch(frame, Filler(20)).kind, ResponseKind::None);
}

TEST(ResponseFrameTest, FullFrameDispatchedAtTheLastByteAndNextByteStartsANewFrame) {
    const Bytes first = Concat({ToBytes("+CONFIG="), SampleRecord(), Filler(kFrameCapacity - 448, 'y')});
    ASSERT_EQ(first.size(), 1023u);
    ResponseFrame frame;
    for (std::size_t i = 0; i + 1 < first.size(); ++i) {
        ASSERT_FALSE(CollectResponseByte(frame, first[i])) << "at byte " << i + 1;
    }
    EXPECT_TRUE(CollectResponseByte(frame, first.back()));
    EXPECT_EQ(frame.count, 1023u);
    const DispatchResult full = DispatchResponseFrame(frame);
    EXPECT_EQ(full.kind, ResponseKind::Record);
    EXPECT_EQ(Bytes(full.record.begin(), full.record.end()), SampleRecord());
    EXPECT_EQ(frame.bytes[1023], 0);

    const Bytes second = ToBytes("+CONFIG OK");
    EXPECT_EQ(CollectAndDispatch(frame, second).kind, ResponseKind::ConfigOk);
}

TEST(ResponseFrameTest, ByteOfferedToAFullFrameIsDropped) {
    ResponseFrame frame;
    for (std::size_t i = 0; i < kFrameCapacity; ++i) {
        CollectResponseByte(frame, 'z');
    }
    EXPECT_TRUE(CollectResponseByte(frame, 'q'));
    EXPECT_EQ(frame.count, kFrameCapacity);
    EXPECT_EQ(frame.bytes[kFrameCapacity], 0);
}

// A run is collected in blocks, but every frame fills and is judged at the byte where single bytes would
// fill it, whatever the pieces, also when a frame is full on entry.
TEST(ResponseFrameTest, RunsFillFramesAtTheBytesSingleBytesDo) {
    std::mt19937 rng(1207);
    Bytes stream;
    for (int i = 0; i < 5000; ++i) {
        stream.push_back(static_cast<uint8_t>(rng()));
    }
    const auto frames = [&](std::size_t maxPiece, uint32_t startCount) {
        ResponseFrame frame;
        frame.count = startCount;
        std::vector<Bytes> full;
        const auto onFull = [&] {
            full.emplace_back(frame.bytes.begin(), frame.bytes.begin() + frame.count);
            frame.count = 0;
        };
        for (std::size_t at = 0; at < stream.size();) {
            const std::size_t n = std::min<std::size_t>(1 + rng() % maxPiece, stream.size() - at);
            CollectResponseRun(frame, std::span<const uint8_t>(stream).subspan(at, n), onFull);
            at += n;
        }
        full.emplace_back(frame.bytes.begin(), frame.bytes.begin() + frame.count);
        return full;
    };
    for (const uint32_t startCount : {0u, 1000u, kFrameCapacity}) {
        const auto single = frames(1, startCount);
        for (const std::size_t maxPiece : {7u, 1023u, 1024u, 4096u}) {
            EXPECT_EQ(frames(maxPiece, startCount), single) << maxPiece << " from " << startCount;
        }
    }
}

}  // namespace
