// quendal-cli's recognition of answers, over byte sequences written by hand: what an echoing line, a unit
// that logs after "+CONFIG OK", a stalled line and a flipped bit leave in the receive buffer.
#include "cli/answer_scan.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "tests/support/bytes.h"

namespace {

using State = ScannedAnswer::State;

// A record laid out by hand: device ID at 8, APN at 24, checksum at 439 summed the tests' own way.
Bytes Record(std::string_view deviceId, std::string_view apn) {
    Bytes r(440, 0);
    r[0] = 0x01;
    r[1] = 0x01;
    std::copy(deviceId.begin(), deviceId.end(), r.begin() + 8);
    std::copy(apn.begin(), apn.end(), r.begin() + 24);
    r[152] = 0x80;
    r[153] = 0x25;
    r[439] = SumOf439(r.data());
    return r;
}

Bytes Flipped(Bytes record, std::size_t byte, int bit) {
    record[byte] ^= static_cast<uint8_t>(1u << bit);
    return record;
}

Bytes First(const Bytes& bytes, std::size_t count) {
    return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(count));
}

const Bytes kRead = ToBytes("DTU+CONFIG\r");
const Bytes kSignal = ToBytes("DTU+CONFIG=CMD:AT+CSQ\r");
const Bytes kImei = ToBytes("DTU+CONFIG=CMD:AT+CGSN\r");
const Bytes kDefaults = ToBytes("DTU+CONFIG=DEFAULT\r");
const Bytes kReset = ToBytes("DTU+CONFIG=RESET\r");
const Bytes kGood = Record("UNIT-7", "CMNET");
// An APN that a careless scan would take for the device's yes.
const Bytes kOkApn = Record("UNIT-8", "+CONFIG OK");
const Bytes kSaveGood = Concat({ToBytes("DTU+CONFIG="), kGood});
const Bytes kSaveOkApn = Concat({ToBytes("DTU+CONFIG="), kOkApn});
const Bytes kLog110 = Concat({ToBytes("[log] parameters stored"), Bytes(85, '.'), ToBytes("\r\n")});

TEST(AnswerScan, EachAnswerIsRecognisedByItsContent) {
    struct Case {
        std::string name;
        Bytes received;
        Bytes sent;
        AnswerKind kind;
        State state;
        bool accepted = false;
        std::optional<Bytes> record = std::nullopt;
        std::optional<int> rssi = std::nullopt;
        std::string note = "";  // a part of it
    };
    const Bytes answer = Concat({ToBytes("+CONFIG="), kGood, ToBytes("\r\n")});
    const Case cases[] = {
        {"record", answer, kRead, AnswerKind::Record, State::Whole, false, kGood},
        {"record behind the echo of the read", Concat({kRead, answer}), kRead, AnswerKind::Record,
         State::Whole, false, kGood},
        {"record behind a log line that names +CONFIG=", Concat({ToBytes("[log] got +CONFIG=\r\n"), answer}),
         kRead, AnswerKind::Record, State::Whole, false, kGood},
        {"record cut short", First(answer, 300), kRead, AnswerKind::Record, State::Pending, false,
         std::nullopt, std::nullopt, "only 300 of its 448 bytes"},
        {"record with a flipped bit", Concat({ToBytes("+CONFIG="), Flipped(kGood, 30, 2)}), kRead,
         AnswerKind::Record, State::Damaged, false, Flipped(kGood, 30, 2), std::nullopt, "arrived damaged"},
        {"record with a flipped checksum bit", Concat({ToBytes("+CONFIG="), Flipped(kGood, 439, 7)}), kRead,
         AnswerKind::Record, State::Damaged, false, std::nullopt, std::nullopt, "arrived damaged"},
        {"garbage", ToBytes("\x01\xff+CONFIG\r\nCONFIG=\r\n+CONFIG OK\r\n"), kRead, AnswerKind::Record,
         State::Pending, false, std::nullopt, std::nullopt, "none of them the answer"},
        {"nothing",
         {},
         kRead,
         AnswerKind::Record,
         State::Pending,
         false,
         std::nullopt,
         std::nullopt,
         "nothing came"},
        {"echo alone", kRead, kRead, AnswerKind::Record, State::Pending, false, std::nullopt, std::nullopt,
         "only the echo"},

        {"echo of the save, then OK", Concat({kSaveGood, ToBytes("+CONFIG OK\r\n")}), kSaveGood,
         AnswerKind::SaveResult, State::Whole, true},
        {"echo of a save whose APN reads +CONFIG OK, then ERROR",
         Concat({kSaveOkApn, ToBytes("\r\n+CONFIG ERROR\r\n")}), kSaveOkApn, AnswerKind::SaveResult,
         State::Whole, false},
        {"that echo still arriving", First(kSaveOkApn, 60), kSaveOkApn, AnswerKind::SaveResult,
         State::Pending, false, std::nullopt, std::nullopt, "only the echo"},
        {"OK, then a 110-byte log line", Concat({ToBytes("+CONFIG OK\r\n"), kLog110}), kSaveGood,
         AnswerKind::SaveResult, State::Whole, true},
        {"echo, OK and the log line", Concat({kSaveGood, ToBytes("+CONFIG OK\r\n"), kLog110}), kSaveGood,
         AnswerKind::SaveResult, State::Whole, true},
        {"ERROR", ToBytes("+CONFIG ERROR\r\n"), kSaveGood, AnswerKind::SaveResult, State::Whole, false},
        {"OK not yet whole", ToBytes("\r\n+CONFIG O"), kSaveGood, AnswerKind::SaveResult, State::Pending},
        {"defaults", ToBytes("+CONFIG DEFAULT OK\r\n"), kDefaults, AnswerKind::DefaultsOk, State::Whole,
         true},
        {"a save's OK is no answer to defaults", ToBytes("+CONFIG OK\r\n"), kDefaults, AnswerKind::DefaultsOk,
         State::Pending},
        {"restart refused", ToBytes("+CONFIG ERROR\r\n"), kReset, AnswerKind::ResetOk, State::Whole, false},

        {"signal behind its echo", Concat({kSignal, ToBytes("+CONFIG CMD:\r\n+CSQ: 22,99\r\n\r\nOK\r\n")}),
         kSignal, AnswerKind::Signal, State::Whole, false, std::nullopt, 22},
        {"signal, unknown", ToBytes("+CONFIG CMD:\r\n+CSQ: 99,99\r\n"), kSignal, AnswerKind::Signal,
         State::Whole, false, std::nullopt, 99},
        {"signal line not ended", ToBytes("+CONFIG CMD:\r\n+CSQ: 22,9"), kSignal, AnswerKind::Signal,
         State::Pending},
        {"signal that is no number", ToBytes("+CONFIG CMD:\r\n+CSQ: abc,99\r\n"), kSignal, AnswerKind::Signal,
         State::Whole, false, std::nullopt, std::nullopt, "holds no CSQ value: \"abc,99\""},
        {"module error", ToBytes("+CONFIG CMD:\r\nERROR\r\n"), kSignal, AnswerKind::Signal, State::Whole,
         false, std::nullopt, std::nullopt, "answered \"ERROR\""},
        {"CSQ without the device's wrapper", ToBytes("+CSQ: 22,99\r\n"), kSignal, AnswerKind::Signal,
         State::Pending},

        {"module answer behind its echo",
         Concat({kImei, ToBytes("+CONFIG CMD:\r\n864510007405254\r\nOK\r\n")}), kImei, AnswerKind::Module,
         State::Whole, false, std::nullopt, std::nullopt, "the module's answer"},
        {"module answer without its final result", ToBytes("+CONFIG CMD:\r\n864510007405254\r\n"), kImei,
         AnswerKind::Module, State::Pending, false, std::nullopt, std::nullopt, "no final result yet"},
        {"a final result outside the device's wrapper", ToBytes("OK\r\n"), kImei, AnswerKind::Module,
         State::Pending},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ScannedAnswer got = ScanAnswer(c.received, c.sent, c.kind);
        EXPECT_EQ(got.state, c.state) << got.note;
        if (c.state == State::Whole && c.kind != AnswerKind::Record && c.kind != AnswerKind::Signal &&
            c.kind != AnswerKind::Module) {
            EXPECT_EQ(got.accepted, c.accepted);
        }
        if (c.record) {
            EXPECT_EQ(Bytes(got.record.begin(), got.record.end()), *c.record);
        }
        if (c.kind == AnswerKind::Module && c.state == State::Whole) {
            // Kept from the device's marker on, the echo before it left out, for the module parsers.
            EXPECT_TRUE(got.moduleText.starts_with("+CONFIG CMD:\r\n864510007405254")) << got.moduleText;
        }
        if (c.kind == AnswerKind::Signal && c.state == State::Whole) {
            EXPECT_EQ(got.csq.has_value(), c.rssi.has_value());
            if (got.csq && c.rssi) {
                EXPECT_EQ(got.csq->rssi, *c.rssi);
            }
        }
        EXPECT_NE(got.note.find(c.note), std::string::npos) << got.note;
    }
}

// However a stalled line splits an answer, the scan sees the same bytes so far: no part of it counts as the
// answer before its last byte, and then the whole does.
TEST(AnswerScan, NoPartOfAnAnswerCountsBeforeItIsWhole) {
    const struct {
        std::string name;
        Bytes whole;
        Bytes sent;
        AnswerKind kind;
    } cases[] = {
        {"echoed read and record", Concat({kRead, ToBytes("+CONFIG="), kGood}), kRead, AnswerKind::Record},
        {"echoed save whose APN reads +CONFIG OK, and OK", Concat({kSaveOkApn, ToBytes("+CONFIG OK")}),
         kSaveOkApn, AnswerKind::SaveResult},
        {"signal", ToBytes("+CONFIG CMD:\r\n+CSQ: 7,99\r"), kSignal, AnswerKind::Signal},
        // "+CME ERROR: 1" is not yet "+CME ERROR: 10", and the unsolicited line ends nothing.
        {"module error behind an unsolicited line", ToBytes("+CONFIG CMD:\r\n+CREG: 1\r\n+CME ERROR: 10\r"),
         kImei, AnswerKind::Module},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (std::size_t n = 0; n < c.whole.size(); ++n) {
            ASSERT_EQ(ScanAnswer(First(c.whole, n), c.sent, c.kind).state, State::Pending) << n << " bytes";
        }
        EXPECT_EQ(ScanAnswer(c.whole, c.sent, c.kind).state, State::Whole);
    }
}

TEST(AnswerScan, CsqParsedOnceIntoItsValueAndDbm) {
    const struct {
        std::string_view text;  // after "+CSQ:"
        std::optional<int> rssi;
        std::string_view meaning;
    } cases[] = {
        {"0,99", 0, "-113 dBm or less"}, {" 1,0", 1, "-111 dBm"},     {" 22,99", 22, "-69 dBm"},
        {" 22 ,99", 22, "-69 dBm"},      {"30,99", 30, "-53 dBm"},    {"31,99", 31, "-51 dBm or more"},
        {" 99,99", 99, "not known"},     {"32,99", std::nullopt, ""}, {"100,99", std::nullopt, ""},
        {"-1,99", std::nullopt, ""},     {"", std::nullopt, ""},      {" 2x,99", std::nullopt, ""},
        {" abc,99", std::nullopt, ""},   {" 22", std::nullopt, ""},   {",99", std::nullopt, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text));
        const auto csq = ParseCsqField(c.text);
        ASSERT_EQ(csq.has_value(), c.rssi.has_value());
        if (csq) {
            EXPECT_EQ(csq->rssi, *c.rssi);
            EXPECT_EQ(CsqMeaning(*csq), c.meaning);
        }
    }
    EXPECT_EQ(CsqValue{22}.Dbm(), -69);
    EXPECT_FALSE(CsqValue{99}.Known());
}

}  // namespace
