#include "protocol/command_exchange.h"
#include "tests/support/bytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace {

// A record with CRs, zeros and a complete read command inside, none of which may end it early.
std::array<uint8_t, kDeviceParamsSize> AwkwardRecord() {
    std::array<uint8_t, kDeviceParamsSize> record{};
    for (std::size_t i = 0; i < record.size(); ++i) {
        record[i] = static_cast<uint8_t>(255 - i % 256);
    }
    record[0] = 0x01;
    record[5] = 0x0D;
    record[6] = 0x00;
    const std::string_view read = "DTU+CONFIG\r";
    std::copy(read.begin(), read.end(), record.begin() + 50);
    record[438] = 0x0D;
    record[439] = 0x0D;
    return record;
}

TEST(CommandTest, WireBytesOfTheFixedCommands) {
    struct Case {
        std::string_view command;
        std::vector<uint8_t> wire;
    };
    const Case cases[] = {
        {kCmdReadParams, {0x44, 0x54, 0x55, 0x2B, 0x43, 0x4F, 0x4E, 0x46, 0x49, 0x47, 0x0D}},
        {kCmdFactoryDefaults,
         {0x44, 0x54, 0x55, 0x2B, 0x43, 0x4F, 0x4E, 0x46, 0x49, 0x47, 0x3D, 0x44, 0x45, 0x46, 0x41, 0x55,
          0x4C, 0x54, 0x0D}},
        {kCmdReboot,
         {0x44, 0x54, 0x55, 0x2B, 0x43, 0x4F, 0x4E, 0x46, 0x49, 0x47, 0x3D, 0x52, 0x45, 0x53, 0x45, 0x54,
          0x0D}},
        {kCmdSignalQuery, {0x44, 0x54, 0x55, 0x2B, 0x43, 0x4F, 0x4E, 0x46, 0x49, 0x47, 0x3D,
                           0x43, 0x4D, 0x44, 0x3A, 0x41, 0x54, 0x2B, 0x43, 0x53, 0x51, 0x0D}},
    };
    const std::size_t lengths[] = {11, 19, 17, 22};
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(cases[i].command.size(), lengths[i]);
        EXPECT_EQ(ToBytes(cases[i].command), cases[i].wire) << i;
    }
}

TEST(CommandTest, SaveFrameIsPrefixAndRecordWithoutTerminator) {
    std::array<uint8_t, kDeviceParamsSize> record{};
    for (std::size_t i = 0; i < record.size(); ++i) {
        record[i] = static_cast<uint8_t>(0x20 + i % 0x50);  // no CR anywhere
    }
    record[439] = 0xA7;
    const auto frame = BuildSaveFrame(record);
    ASSERT_EQ(frame.size(), 451u);
    const Bytes prefix = {0x44, 0x54, 0x55, 0x2B, 0x43, 0x4F, 0x4E, 0x46, 0x49, 0x47, 0x3D};
    EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 11), prefix);
    EXPECT_EQ(Bytes(frame.begin() + 11, frame.end()), Bytes(record.begin(), record.end()));
    EXPECT_EQ(frame[450], 0xA7);
    EXPECT_EQ(std::count(frame.begin(), frame.end(), uint8_t{0x0D}), 0);
}

struct Expected {
    DtuCommandKind kind;
    std::string text;
    Bytes record;
};

void ExpectCommands(const std::vector<DtuCommand>& got, const std::vector<Expected>& want,
                    const std::string& where) {
    ASSERT_EQ(got.size(), want.size()) << where;
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].kind, want[i].kind) << where << " command " << i;
        if (want[i].kind == DtuCommandKind::Cmd) {
            EXPECT_EQ(got[i].text, want[i].text) << where << " command " << i;
        }
        if (want[i].kind == DtuCommandKind::Save) {
            EXPECT_EQ(Bytes(got[i].record.begin(), got[i].record.end()), want[i].record)
                << where << " command " << i;
        }
    }
}

std::vector<DtuCommand> FeedInPieces(const Bytes& stream, const std::vector<std::size_t>& cuts) {
    DtuCommandParser parser;
    std::vector<DtuCommand> all;
    std::size_t from = 0;
    for (const std::size_t cut : cuts) {
        auto got = parser.Feed(std::span(stream).subspan(from, cut - from));
        all.insert(all.end(), got.begin(), got.end());
        from = cut;
    }
    auto rest = parser.Feed(std::span(stream).subspan(from));
    all.insert(all.end(), rest.begin(), rest.end());
    return all;
}

struct StreamCase {
    const char* name;
    Bytes stream;
    std::vector<Expected> commands;
};

std::vector<StreamCase> StreamCases() {
    const auto record = AwkwardRecord();
    const Bytes recordBytes(record.begin(), record.end());
    const auto save = BuildSaveFrame(record);
    const Bytes saveBytes(save.begin(), save.end());
    return {
        {"read", ToBytes("DTU+CONFIG\r"), {{DtuCommandKind::Read, "", {}}}},
        {"defaults", ToBytes("DTU+CONFIG=DEFAULT\r"), {{DtuCommandKind::Defaults, "", {}}}},
        {"reset", ToBytes("DTU+CONFIG=RESET\r"), {{DtuCommandKind::Reset, "", {}}}},
        {"signal_query", ToBytes("DTU+CONFIG=CMD:AT+CSQ\r"), {{DtuCommandKind::Cmd, "AT+CSQ", {}}}},
        {"save_with_cr_zero_and_command_inside", saveBytes, {{DtuCommandKind::Save, "", recordBytes}}},
        {"all_with_garbage_between",
         Concat({ToBytes("\r\nhello DTU+CONF"), ToBytes("DTU+CONFIG\r"), ToBytes("DTU+CONFIGURE\r\n"),
                 saveBytes, ToBytes("xx"), ToBytes("DTU+CONFIG=RESET\r"), ToBytes("DTU+CONFIG=DEFAULT\r"),
                 Bytes{0x00, 0xFF}, ToBytes("DTU+CONFIG=CMD:AT+CSQ\r"), ToBytes("DTU+DTU+CONFIG\r")}),
         {{DtuCommandKind::Read, "", {}},
          {DtuCommandKind::Save, "", recordBytes},
          {DtuCommandKind::Reset, "", {}},
          {DtuCommandKind::Defaults, "", {}},
          {DtuCommandKind::Cmd, "AT+CSQ", {}},
          {DtuCommandKind::Read, "", {}}}},
        {"incomplete_save_yields_nothing", Bytes(saveBytes.begin(), saveBytes.end() - 1), {}},
        {"record_beginning_cmd_without_cr_is_a_record",
         Concat({ToBytes("DTU+CONFIG=CMD:"), Bytes(kDeviceParamsSize - 4, 'a')}),
         {{DtuCommandKind::Save, "", Concat({ToBytes("CMD:"), Bytes(kDeviceParamsSize - 4, 'a')})}}},
        // Documented choice: the device reads such a record as the text command it begins with.
        {"record_beginning_like_defaults_is_defaults",
         Concat(
             {ToBytes("DTU+CONFIG=DEFAULT\r"), Bytes(kDeviceParamsSize - 8, 'b'), ToBytes("DTU+CONFIG\r")}),
         {{DtuCommandKind::Defaults, "", {}}, {DtuCommandKind::Read, "", {}}}},
    };
}

class DtuCommandParserTest : public testing::TestWithParam<StreamCase> {};

TEST_P(DtuCommandParserTest, SameCommandsWhateverTheFeedBoundaries) {
    const StreamCase& c = GetParam();
    ExpectCommands(FeedInPieces(c.stream, {}), c.commands, "whole");

    std::vector<std::size_t> everyByte;
    for (std::size_t i = 1; i < c.stream.size(); ++i) {
        everyByte.push_back(i);
    }
    ExpectCommands(FeedInPieces(c.stream, everyByte), c.commands, "byte by byte");

    for (std::size_t cut = 1; cut < c.stream.size(); ++cut) {
        ExpectCommands(FeedInPieces(c.stream, {cut}), c.commands, "cut at " + std::to_string(cut));
    }

    std::mt19937 rng(1234);
    for (int round = 0; round < 50; ++round) {
        std::vector<std::size_t> cuts;
        for (std::size_t at = 0;;) {
            at += std::uniform_int_distribution<std::size_t>(1, 40)(rng);
            if (at >= c.stream.size()) {
                break;
            }
            cuts.push_back(at);
        }
        ExpectCommands(FeedInPieces(c.stream, cuts), c.commands, "random round " + std::to_string(round));
    }
}

INSTANTIATE_TEST_SUITE_P(Streams, DtuCommandParserTest, testing::ValuesIn(StreamCases()),
                         [](const testing::TestParamInfo<StreamCase>& p) {
                             return std::string(p.param.name);
                         });

TEST(DtuCommandParserResetTest, ResetDropsAnUnfinishedSave) {
    DtuCommandParser parser;
    EXPECT_TRUE(parser.Feed(ToBytes("DTU+CONFIG=abc")).empty());
    EXPECT_TRUE(parser.HasPending());
    parser.Reset();
    EXPECT_FALSE(parser.HasPending());
    const auto got = parser.Feed(ToBytes("DTU+CONFIG\r"));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].kind, DtuCommandKind::Read);
}

TEST(DtuCommandParserResetTest, CommandStartSplitAfterLongNoise) {
    DtuCommandParser parser;
    const Bytes noise(5000, 'D');
    EXPECT_TRUE(parser.Feed(noise).empty());
    EXPECT_EQ(parser.Feed(ToBytes("TU+CONFIG\r")).size(), 1u);
    EXPECT_FALSE(parser.HasPending());
}

}  // namespace
