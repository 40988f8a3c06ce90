#include "tools/dtu-sim/dtu_device.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstdint>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tests/support/bytes.h"

namespace {

using namespace std::chrono_literals;
using Clock = CDtuDevice::Clock;
using Record = std::array<uint8_t, 440>;

struct Field {
    std::size_t offset;
    Bytes bytes;
};

Record RecordFrom(std::initializer_list<Field> fields) {
    Record r{};
    for (const Field& f : fields) {
        std::copy(f.bytes.begin(), f.bytes.end(), r.begin() + static_cast<std::ptrdiff_t>(f.offset));
    }
    return r;
}

// The 4G DTU factory record, field by field from the record layout; the checksum was summed by hand.
Record FactoryFourG() {
    return RecordFrom({
        {0, {0x01, 0x01}},                  // firmware 0x0101: 4G
        {2, {0x41}},                        // online, link 1
        {3, {0x18}},                        // reboot period 24
        {4, {0x3C, 0x00}},                  // heartbeat 60
        {6, {0x78, 0x00}},                  // net check 120
        {8, ToBytes("DTU0001234")},         // device id
        {24, ToBytes("CMNET")},             // apn
        {136, ToBytes("10.64.23.118")},     // local ip
        {152, {0x80, 0x25, 0x00, 0x00}},    // 9600
        {156, {0x38, 0x4E, 0x31}},          // '8' 'N' '1'
        {160, {0x00, 0x04}},                // pack length 1024
        {162, {0x32, 0x00}},                // pack time 50
        {164, ToBytes("iot.example.com")},  // remote 1
        {404, {0x88, 0x13}},                // port 5000
        {416, ToBytes("114.114.114.114")},  // dns
        {432, {0x10, 0x0E}},                // dns period 3600
        {439, {0x21}},                      // checksum
    });
}

// A device under a made-up clock. Run moves the clock forward, waking the device whenever it asks.
class CSimHarness {
  public:
    explicit CSimHarness(DtuSettings settings = {})
        : m_now(Clock::time_point{} + 1h), m_device(settings, m_now) {}

    std::vector<std::string> Send(const Bytes& bytes) { return m_device.Receive(bytes, m_now); }
    std::vector<std::string> Send(std::string_view text) { return Send(ToBytes(text)); }

    // Everything the device writes from now up to now + span, with each write's time.
    struct Write {
        Clock::duration at;
        Bytes bytes;
    };
    std::vector<Write> RunFor(Clock::duration span) {
        const Clock::time_point start = m_now;
        const Clock::time_point end = m_now + span;
        std::vector<Write> writes;
        for (;;) {
            auto due = m_device.TakeDue(m_now);
            m_log.insert(m_log.end(), due.log.begin(), due.log.end());
            if (!due.bytes.empty()) {
                writes.push_back({m_now - start, std::move(due.bytes)});
            }
            const auto wake = m_device.NextWake();
            if (!wake || *wake > end) {
                m_now = end;
                return writes;
            }
            m_now = std::max(*wake, m_now);
        }
    }
    Bytes Collect(Clock::duration span) {
        Bytes all;
        for (const Write& w : RunFor(span)) {
            all.insert(all.end(), w.bytes.begin(), w.bytes.end());
        }
        return all;
    }
    Bytes Ask(std::string_view command) {
        Send(command);
        return Collect(5s);
    }
    Bytes Save(const Record& record) {
        Bytes frame = ToBytes("DTU+CONFIG=");
        frame.insert(frame.end(), record.begin(), record.end());
        Send(frame);
        return Collect(5s);
    }
    Record ReadRecord() {
        const Bytes answer = Ask("DTU+CONFIG\r");
        Record r{};
        if (answer.size() == 448) {
            std::copy(answer.begin() + 8, answer.end(), r.begin());
        }
        return r;
    }

    CDtuDevice& Device() { return m_device; }
    Clock::time_point Now() const { return m_now; }
    const std::vector<std::string>& Log() const { return m_log; }

  private:
    Clock::time_point m_now;
    CDtuDevice m_device;
    std::vector<std::string> m_log;
};

TEST(DtuFactoryRecordTest, FourGDtuRecordIsByteExact) {
    const Record expected = FactoryFourG();
    const DeviceParams record = FactoryRecord(false, false);
    const auto actual = record.Bytes();
    EXPECT_TRUE(std::equal(actual.begin(), actual.end(), expected.begin()));
    EXPECT_EQ(SumOf439(expected.data()), 0x21);
}

TEST(DtuFactoryRecordTest, VariantsChangeFirmwareFlagsAndSensorFields) {
    struct Case {
        bool nbiot;
        bool tempHumidity;
        std::vector<Field> changes;
    };
    const Bytes imei = ToBytes("861234567890123");
    const Case cases[] = {
        {true, false, {{0, {0x01, 0x0C}}, {439, {0x2C}}}},
        {false, true, {{4, {0x2C, 0x01}}, {6, {0x01, 0x00}}, {8, imei}, {434, {0x08}}, {439, {0x6D}}}},
        {true,
         true,
         {{0, {0x01, 0x0C}}, {4, {0x2C, 0x01}}, {6, {0x01, 0x00}}, {8, imei}, {434, {0x08}}, {439, {0x78}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("nbiot=") + (c.nbiot ? "1" : "0") + " th=" + (c.tempHumidity ? "1" : "0"));
        Record expected = FactoryFourG();
        for (const Field& f : c.changes) {
            std::copy(f.bytes.begin(), f.bytes.end(),
                      expected.begin() + static_cast<std::ptrdiff_t>(f.offset));
        }
        const DeviceParams record = FactoryRecord(c.nbiot, c.tempHumidity);
        const auto actual = record.Bytes();
        EXPECT_TRUE(std::equal(actual.begin(), actual.end(), expected.begin()));
        EXPECT_EQ(SumOf439(expected.data()), expected[439]);
    }
}

TEST(DtuDeviceTest, ReadAnswersConfigEqualsAndTheRecord) {
    CSimHarness sim;
    const Bytes answer = sim.Ask("DTU+CONFIG\r");
    ASSERT_EQ(answer.size(), 448u);
    const Bytes prefix = {0x2B, 0x43, 0x4F, 0x4E, 0x46, 0x49, 0x47, 0x3D};
    EXPECT_TRUE(std::equal(prefix.begin(), prefix.end(), answer.begin()));
    const Record expected = FactoryFourG();
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), answer.begin() + 8));
    EXPECT_EQ(answer[447], SumOf439(answer.data() + 8));
}

TEST(DtuDeviceTest, ShortAnswersAreExactAndFitTheShortFrameClass) {
    Record goodSave = RecordFrom({{0, {0x01, 0x01}}, {24, ToBytes("CMNET")}, {439, {0x79}}});
    Record badSave = goodSave;
    badSave[439] = 0x78;
    struct Case {
        std::string name;
        Bytes command;
        Bytes answer;
    };
    const auto save = [](const Record& r) {
        Bytes frame = ToBytes("DTU+CONFIG=");
        frame.insert(frame.end(), r.begin(), r.end());
        return frame;
    };
    const Case cases[] = {
        {"save, right checksum",
         save(goodSave),
         {0x2B, 0x43, 0x4F, 0x4E, 0x46, 0x49, 0x47, 0x20, 0x4F, 0x4B, 0x0D, 0x0A}},
        {"save, wrong checksum",
         save(badSave),
         {0x2B, 0x43, 0x4F, 0x4E, 0x46, 0x49, 0x47, 0x20, 0x45, 0x52, 0x52, 0x4F, 0x52, 0x0D, 0x0A}},
        {"defaults", ToBytes("DTU+CONFIG=DEFAULT\r"), {0x2B, 0x43, 0x4F, 0x4E, 0x46, 0x49, 0x47,
                                                       0x20, 0x44, 0x45, 0x46, 0x41, 0x55, 0x4C,
                                                       0x54, 0x20, 0x4F, 0x4B, 0x0D, 0x0A}},
        {"reset",
         ToBytes("DTU+CONFIG=RESET\r"),
         {0x2B, 0x43, 0x4F, 0x4E, 0x46, 0x49, 0x47, 0x20, 0x52, 0x45, 0x53, 0x45, 0x54, 0x20, 0x4F, 0x4B,
          0x0D, 0x0A}},
        {"unknown module command",
         ToBytes("DTU+CONFIG=CMD:ATI\r"),
         {0x2B, 0x43, 0x4F, 0x4E, 0x46, 0x49, 0x47, 0x20, 0x43, 0x4D, 0x44,
          0x3A, 0x0D, 0x0A, 0x45, 0x52, 0x52, 0x4F, 0x52, 0x0D, 0x0A}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CSimHarness sim;
        const auto log = sim.Send(c.command);
        ASSERT_EQ(log.size(), 1u);
        const Bytes answer = sim.Collect(5s);
        EXPECT_EQ(answer, c.answer);
        EXPECT_GE(answer.size(), 10u);
        EXPECT_LE(answer.size(), 99u);
    }
}

TEST(DtuDeviceTest, GoodSaveIsStoredKeepingTheDevicesOwnFirmwareStateAndAddress) {
    DtuSettings settings;
    settings.nbiot = true;
    CSimHarness sim(settings);
    // Sent: a 4G firmware word, no status, no local address, apn CMNET; 0x101 + the letters = 0x179.
    const Record sent = RecordFrom({{0, {0x01, 0x01}}, {24, ToBytes("CMNET")}, {439, {0x79}}});
    EXPECT_EQ(ToText(sim.Save(sent)), "+CONFIG OK\r\n");
    EXPECT_EQ(sim.Device().SaveCount(), 1u);
    EXPECT_EQ(sim.Device().LastSavedBytes(), sent);

    // Stored: the device's 0x0C01, 0x41 and address put back, and a checksum summed anew (0x419).
    const Record expected = RecordFrom({{0, {0x01, 0x0C}},
                                        {2, {0x41}},
                                        {24, ToBytes("CMNET")},
                                        {136, ToBytes("10.64.23.118")},
                                        {439, {0x19}}});
    EXPECT_EQ(sim.ReadRecord(), expected);
}

TEST(DtuDeviceTest, BadSaveLeavesTheRecordAndDefaultsRestoreTheFactoryOne) {
    CSimHarness sim;
    Record edited = FactoryFourG();
    std::fill(edited.begin() + 24, edited.begin() + 56, uint8_t{0});
    const Bytes apn = ToBytes("internet");
    std::copy(apn.begin(), apn.end(), edited.begin() + 24);
    edited[439] = SumOf439(edited.data());

    Record broken = edited;
    broken[439] = static_cast<uint8_t>(broken[439] + 1);
    EXPECT_EQ(ToText(sim.Save(broken)), "+CONFIG ERROR\r\n");
    EXPECT_EQ(sim.Device().SaveCount(), 1u);
    EXPECT_EQ(sim.Device().LastSavedBytes(), broken);
    EXPECT_EQ(sim.ReadRecord(), FactoryFourG());

    EXPECT_EQ(ToText(sim.Save(edited)), "+CONFIG OK\r\n");
    EXPECT_EQ(sim.ReadRecord(), edited);

    EXPECT_EQ(ToText(sim.Ask("DTU+CONFIG=DEFAULT\r")), "+CONFIG DEFAULT OK\r\n");
    EXPECT_EQ(sim.ReadRecord(), FactoryFourG());
}

TEST(DtuDeviceTest, SignalAnswerHasTheModulesFormAndDriftsSlowlyWithinRange) {
    const Bytes golden = {0x2B, 0x43, 0x4F, 0x4E, 0x46, 0x49, 0x47, 0x20, 0x43, 0x4D, 0x44,
                          0x3A, 0x0D, 0x0A, 0x2B, 0x43, 0x53, 0x51, 0x3A, 0x20, 0x32, 0x36,
                          0x2C, 0x39, 0x39, 0x0D, 0x0A, 0x0D, 0x0A, 0x4F, 0x4B, 0x0D, 0x0A};
    EXPECT_EQ(ToBytes(SignalAnswer(26)), golden);

    const std::regex form(R"(\+CONFIG CMD:\r\n\+CSQ: (\d+),99\r\n\r\nOK\r\n)");
    CSimHarness sim;
    std::set<int> seen;
    int previous = -1;
    for (int i = 0; i < 120; ++i) {
        const std::string answer = ToText(sim.Ask("DTU+CONFIG=CMD:AT+CSQ\r"));
        std::smatch m;
        ASSERT_TRUE(std::regex_match(answer, m, form)) << answer;
        ASSERT_GE(answer.size(), 10u);
        ASSERT_LE(answer.size(), 99u);
        // The tool takes what lies between "+CSQ:" and the first comma of the whole frame.
        ASSERT_LT(answer.find("+CSQ:"), answer.find(','));
        const int rssi = std::stoi(m[1]);
        ASSERT_GE(rssi, kRssiMin);
        ASSERT_LE(rssi, kRssiMax);
        if (previous >= 0) {
            // Each query comes 5 s after the last: at most one step per second.
            ASSERT_LE(std::abs(rssi - previous), 5);
        }
        seen.insert(rssi);
        previous = rssi;
    }
    EXPECT_GE(seen.size(), 3u);
}

TEST(DtuDeviceTest, AnswersWaitForDelaySplitAndResetPause) {
    struct Case {
        std::string name;
        DtuSettings settings;
        std::string_view command;
        std::vector<std::pair<Clock::duration, std::size_t>> writes;  // when, how many bytes
    };
    DtuSettings delayed;
    delayed.latency = 250ms;
    DtuSettings split;
    split.split = 150ms;
    DtuSettings both;
    both.latency = 40ms;
    both.split = 150ms;
    const Case cases[] = {
        {"read, no options", {}, "DTU+CONFIG\r", {{0ms, 448}}},
        {"read, latency", delayed, "DTU+CONFIG\r", {{250ms, 448}}},
        {"read, split", split, "DTU+CONFIG\r", {{0ms, 200}, {150ms, 248}}},
        {"read, latency and split", both, "DTU+CONFIG\r", {{40ms, 200}, {190ms, 248}}},
        {"signal, split leaves it whole", split, "DTU+CONFIG=CMD:AT+CSQ\r", {{0ms, 33}}},
        {"reset", {}, "DTU+CONFIG=RESET\r", {{300ms, 18}}},
        {"reset, latency", delayed, "DTU+CONFIG=RESET\r", {{550ms, 18}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CSimHarness sim(c.settings);
        sim.Send(c.command);
        const auto writes = sim.RunFor(3s);
        ASSERT_EQ(writes.size(), c.writes.size());
        for (std::size_t i = 0; i < writes.size(); ++i) {
            EXPECT_EQ(writes[i].at, c.writes[i].first) << i;
            EXPECT_EQ(writes[i].bytes.size(), c.writes[i].second) << i;
        }
        EXPECT_FALSE(sim.Device().NextWake().has_value());
    }
}

// Bits that differ between two byte runs of the same size.
int BitsApart(const Bytes& a, const Bytes& b) {
    int bits = 0;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        bits += std::popcount(static_cast<unsigned>(a[i] ^ b[i]));
    }
    return bits;
}

TEST(DtuDeviceTest, MisbehaviourOptionsEchoLogFlipAndStall) {
    const Record factory = FactoryFourG();
    const Bytes answer = Concat({ToBytes("+CONFIG="), Bytes(factory.begin(), factory.end())});
    const Bytes ok = ToBytes("+CONFIG OK\r\n");
    Record good = factory;
    good[24] = 'X';  // apn "XMNET"
    good[439] = SumOf439(good.data());
    const Bytes saveFrame = Concat({ToBytes("DTU+CONFIG="), Bytes(good.begin(), good.end())});
    const Bytes afterSave = Concat({ToBytes("+CONFIG="), Bytes(good.begin(), good.end())});

    {
        SCOPED_TRACE("echo: every received byte goes back ahead of the answer");
        DtuSettings settings;
        settings.echo = true;
        CSimHarness sim(settings);
        EXPECT_EQ(sim.Ask("DTU+CONFIG\r"), Concat({ToBytes("DTU+CONFIG\r"), answer}));
        sim.Send(saveFrame);
        EXPECT_EQ(sim.Collect(5s), Concat({saveFrame, ok}));
    }
    {
        SCOPED_TRACE("log after OK: a 110-byte line right behind +CONFIG OK, none after a refusal");
        DtuSettings settings;
        settings.logAfterOk = 110;
        CSimHarness sim(settings);
        const Bytes saved = sim.Save(good);
        ASSERT_EQ(saved.size(), ok.size() + 110);
        EXPECT_EQ(Bytes(saved.begin(), saved.begin() + 12), ok);
        const std::string log(saved.begin() + 12, saved.end());
        EXPECT_TRUE(log.ends_with("\r\n")) << log;
        EXPECT_EQ(log.find("+CONFIG"), std::string::npos) << log;
        Record bad = good;
        ++bad[439];
        EXPECT_EQ(sim.Save(bad), ToBytes("+CONFIG ERROR\r\n"));
    }
    {
        SCOPED_TRACE("flip-bit: one bit of the record, in the reads the option names");
        const struct {
            FlipBit when;
            std::vector<int> before;  // flipped bits in each of two reads before a save
            std::vector<int> after;   // and in two after it
        } cases[] = {
            {FlipBit::Never, {0, 0}, {0, 0}},
            {FlipBit::Once, {1, 0}, {0, 0}},
            {FlipBit::Always, {1, 1}, {1, 1}},
            {FlipBit::AfterSave, {0, 0}, {1, 1}},
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(static_cast<int>(c.when));
            DtuSettings settings;
            settings.flipBit = c.when;
            CSimHarness sim(settings);
            for (int expected : c.before) {
                const Bytes read = sim.Ask("DTU+CONFIG\r");
                ASSERT_EQ(read.size(), 448u);
                EXPECT_EQ(BitsApart(read, answer), expected);
            }
            sim.Save(good);
            for (int expected : c.after) {
                const Bytes read = sim.Ask("DTU+CONFIG\r");
                ASSERT_EQ(read.size(), 448u);
                EXPECT_EQ(BitsApart(read, afterSave), expected);
            }
            EXPECT_EQ(sim.Device().Record().Bytes()[24], 'X');  // what the device holds stays whole
        }
    }
    {
        SCOPED_TRACE("stall: every answer in three pieces, the first cut inside +CONFIG");
        DtuSettings settings;
        settings.stall = 200ms;
        const struct {
            std::string_view command;
            std::vector<std::pair<Clock::duration, std::size_t>> writes;
        } cases[] = {
            {"DTU+CONFIG\r", {{0ms, 5}, {200ms, 219}, {400ms, 224}}},
            {"DTU+CONFIG=DEFAULT\r", {{0ms, 5}, {200ms, 5}, {400ms, 10}}},
        };
        for (const auto& c : cases) {
            CSimHarness sim(settings);
            sim.Send(c.command);
            const auto writes = sim.RunFor(3s);
            ASSERT_EQ(writes.size(), c.writes.size()) << c.command;
            for (std::size_t i = 0; i < writes.size(); ++i) {
                EXPECT_EQ(writes[i].at, c.writes[i].first) << i;
                EXPECT_EQ(writes[i].bytes.size(), c.writes[i].second) << i;
            }
        }
    }
}

// The time each byte left, in order.
std::vector<Clock::duration> ByteTimes(const std::vector<CSimHarness::Write>& writes) {
    std::vector<Clock::duration> times;
    for (const auto& w : writes) {
        times.insert(times.end(), w.bytes.size(), w.at);
    }
    return times;
}

TEST(DtuDeviceTest, PacedBytesLeaveWhenTheLineHasCarriedThem) {
    struct Change {
        Clock::duration at;
        LineFraming line;
    };
    struct Case {
        std::string name;
        DtuSettings settings;
        LineFraming line;
        std::string_view command;
        std::optional<Change> change;
        std::size_t count;
        std::vector<std::pair<std::size_t, Clock::duration>> byteAt;  // byte number from 1, when it left
    };
    DtuSettings paced;
    paced.pacing = true;
    DtuSettings latency = paced;
    latency.latency = 250ms;
    DtuSettings split = paced;
    split.split = 150ms;
    const LineFraming l9600{};
    const LineFraming l43000n2{43000, 8, false, 2};
    const LineFraming l19200{19200, 8, false, 1};
    const Case cases[] = {
        {"read, 9600 8N1", paced, l9600, "DTU+CONFIG\r", {}, 448, {{1, 1'041'667ns}, {448, 466'666'667ns}}},
        // 11 / 43000 s a byte.
        {"read, 43000 8N2", paced, l43000n2, "DTU+CONFIG\r", {}, 448, {{1, 255'814ns}, {448, 114'604'652ns}}},
        {"read, latency",
         latency,
         l9600,
         "DTU+CONFIG\r",
         {},
         448,
         {{1, 251'041'667ns}, {448, 716'666'667ns}}},
        // The pause runs from the 200th byte's end: 208'333'334 + 150 ms, then 248 bytes.
        {"read, split",
         split,
         l9600,
         "DTU+CONFIG\r",
         {},
         448,
         {{200, 208'333'334ns}, {201, 359'375'001ns}, {448, 616'666'668ns}}},
        // 96 bytes take exactly 100 ms at 9600; the other 352 go at 19200.
        {"read, rate changed halfway",
         paced,
         l9600,
         "DTU+CONFIG\r",
         Change{100ms, l19200},
         448,
         {{96, 100ms}, {97, 100'520'834ns}, {448, 283'333'334ns}}},
        {"reset", paced, l9600, "DTU+CONFIG=RESET\r", {}, 18, {{1, 301'041'667ns}, {18, 318'750'000ns}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CSimHarness sim(c.settings);
        sim.Device().SetLine(c.line);
        sim.Send(c.command);
        auto writes = sim.RunFor(c.change ? c.change->at : 0ms);
        if (c.change) {
            sim.Device().SetLine(c.change->line);
            for (auto& w : sim.RunFor(2s)) {
                w.at += c.change->at;
                writes.push_back(std::move(w));
            }
        } else {
            writes = sim.RunFor(2s);
        }
        const auto times = ByteTimes(writes);
        ASSERT_EQ(times.size(), c.count);
        EXPECT_TRUE(std::is_sorted(times.begin(), times.end()));
        for (const auto& [n, at] : c.byteAt) {
            EXPECT_EQ(times[n - 1], at) << "byte " << n;
        }
        EXPECT_FALSE(sim.Device().NextWake().has_value());
    }
}

TEST(DtuDeviceTest, CommandsComeInWhileAPacedAnswerGoesOut) {
    DtuSettings settings;
    settings.pacing = true;
    CSimHarness sim(settings);
    sim.Send("DTU+CONFIG\r");
    const Bytes head = sim.Collect(200ms);
    EXPECT_EQ(head.size(), 192u);  // 192 bytes take exactly 200 ms
    // A command in two pieces, both while the record is still going out, is taken whole and answered
    // right behind it.
    EXPECT_TRUE(sim.Send("DTU+CONFIG=DEF").empty());
    auto writes = sim.RunFor(10ms);
    EXPECT_EQ(sim.Send("AULT\r").size(), 1u);
    for (auto& w : sim.RunFor(2s)) {
        w.at += 10ms;
        writes.push_back(std::move(w));
    }
    // Times from the 200 ms mark: the record ends at 4480 / 9600 s, the answer 20 bytes later.
    const auto times = ByteTimes(writes);
    ASSERT_EQ(times.size(), 448u - 192u + 20u);
    EXPECT_EQ(times[448 - 192 - 1] + 200ms, 466'666'667ns);
    EXPECT_EQ(times.back() + 200ms, 487'500'000ns);
    Bytes tail;
    for (const auto& w : writes) {
        tail.insert(tail.end(), w.bytes.begin(), w.bytes.end());
    }
    EXPECT_TRUE(ToText(tail).ends_with("+CONFIG DEFAULT OK\r\n"));
    EXPECT_TRUE(ToText(head).starts_with("+CONFIG="));
}

TEST(DtuDeviceTest, PacedChatterAndAnAnswerBehindItStayApart) {
    DtuSettings settings;
    settings.pacing = true;
    settings.chatter = true;
    CSimHarness sim(settings);
    auto writes = sim.RunFor(1005ms);
    sim.Send("DTU+CONFIG=DEFAULT\r");  // while the first chatter line goes out
    for (auto& w : sim.RunFor(1295ms)) {
        w.at += 1005ms;
        writes.push_back(std::move(w));
    }
    const auto times = ByteTimes(writes);
    Bytes all;
    for (const auto& w : writes) {
        all.insert(all.end(), w.bytes.begin(), w.bytes.end());
    }
    const std::string sent = ToText(all);
    const std::size_t chatter = ChatterLine(234, 45, 1).size();
    ASSERT_EQ(sent.find("+CONFIG DEFAULT OK\r\n"), chatter) << sent;
    ASSERT_EQ(times.size(), chatter + 20u + chatter);
    // 21 bytes from 1 s; 150 ms of silence; the answer; the next line a second after the answer ended.
    EXPECT_EQ(times[chatter - 1], 1'021'875'000ns);
    EXPECT_EQ(times[chatter], 1'172'916'667ns);
    EXPECT_EQ(times[chatter + 19], 1'192'708'334ns);
    EXPECT_EQ(times[chatter + 20], 2'193'750'001ns);
}

TEST(DtuDeviceTest, CommandsArrivingTogetherAreAnsweredInOrder) {
    CSimHarness sim;
    const auto log = sim.Send("DTU+CONFIG=RESET\rDTU+CONFIG\rDTU+CONFIG=DEFAULT\r");
    ASSERT_EQ(log.size(), 3u);
    const auto writes = sim.RunFor(2s);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].at, 300ms);
    const std::string all = ToText(writes[0].bytes);
    ASSERT_EQ(all.size(), 18u + 448u + 20u);
    EXPECT_TRUE(all.starts_with("+CONFIG RESET OK\r\n+CONFIG="));
    EXPECT_TRUE(all.ends_with("+CONFIG DEFAULT OK\r\n"));
}

TEST(DtuDeviceTest, IdleDeviceAsksForNoWakeUp) {
    CSimHarness sim;
    EXPECT_FALSE(sim.Device().NextWake().has_value());
    sim.Send("hello from the terminal\r\n");
    EXPECT_FALSE(sim.Device().NextWake().has_value());
    sim.Send("DTU+CONFIG\r");
    sim.RunFor(1s);
    EXPECT_FALSE(sim.Device().NextWake().has_value());
}

TEST(DtuDeviceTest, UnfinishedCommandIsDroppedAfterASecondOfSilence) {
    CSimHarness sim;
    // The start of a save frame that never finishes; without the drop, the next read would become
    // part of its record.
    sim.Send("DTU+CONFIG=12345");
    ASSERT_TRUE(sim.Device().NextWake().has_value());
    EXPECT_TRUE(sim.RunFor(999ms).empty());
    EXPECT_TRUE(sim.Log().empty());
    sim.RunFor(1ms);
    EXPECT_EQ(sim.Log().size(), 1u);
    EXPECT_EQ(sim.Ask("DTU+CONFIG\r").size(), 448u);
}

TEST(DtuDeviceTest, ChatterLineFormat) {
    EXPECT_EQ(ChatterLine(234, 45, 17), "T=23.4C H=45% seq=17\r\n");
    EXPECT_EQ(ChatterLine(200, 35, 1), "T=20.0C H=35% seq=1\r\n");
}

TEST(DtuDeviceTest, ChatterComesEverySecondAndKeepsClearOfAnswers) {
    DtuSettings settings;
    settings.chatter = true;
    CSimHarness sim(settings);
    const std::regex form(R"(T=(\d\d)\.\dC H=(\d\d)% seq=(\d+)\r\n)");

    auto writes = sim.RunFor(5500ms);
    ASSERT_EQ(writes.size(), 5u);
    for (std::size_t i = 0; i < writes.size(); ++i) {
        const std::string line = ToText(writes[i].bytes);
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, form)) << line;
        EXPECT_EQ(std::stoul(m[3]), i + 1);
        EXPECT_EQ(writes[i].at, std::chrono::seconds(i + 1));
        EXPECT_GE(line.size(), 10u);
        EXPECT_EQ(line.find(','), std::string::npos);
        EXPECT_EQ(line.find("+CONFIG"), std::string::npos);
    }

    // At 5.5 s a restart command arrives, answered 300 ms later: no chatter until a second after that.
    sim.Send("DTU+CONFIG=RESET\r");
    writes = sim.RunFor(3s);
    ASSERT_GE(writes.size(), 2u);
    EXPECT_EQ(writes[0].at, 300ms);
    EXPECT_EQ(ToText(writes[0].bytes), "+CONFIG RESET OK\r\n");
    EXPECT_GE(writes[1].at, 1300ms);
    EXPECT_TRUE(std::regex_match(ToText(writes[1].bytes), form));

    // Bytes of a save frame trickling in hold the chatter back too.
    sim.Send("DTU+CONFIG=");
    writes = sim.RunFor(900ms);
    EXPECT_TRUE(writes.empty());
}

}  // namespace
