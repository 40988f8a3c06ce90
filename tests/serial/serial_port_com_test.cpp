// The engine through the platform's own COM port, against the simulated DTU: reads, saves and the signal
// query as the window makes them, exclusive access, the line rate and the drain at close. On Windows this
// runs under Wine, whose COM port is a pseudo-terminal served by the Linux simulator; Wine reports no
// EV_RXFLAG and does not apply rates outside the standard series, so nothing here depends on either.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "protocol/command_exchange.h"
#include "protocol/device_params.h"
#include "serial/line_pacing.h"
#include "serial/port_names.h"
#include "serial/serial_os.h"
#include "serial/serial_port.h"
#include "tests/serial/recording_owner.h"
#include "tests/support/sim_port.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kPatience = 10000ms;
constexpr unsigned kPanelMask = EV_RXCHAR | EV_RXFLAG;
constexpr std::size_t kRecordAnswerSize = 8 + kDeviceParamsSize;  // "+CONFIG=" and the record

// Polls for a state that no notification announces (a port closed, a file written).
template <class Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds timeout = kPatience) {
    const auto deadline = Clock::now() + timeout;
    while (!condition()) {
        if (Clock::now() >= deadline) {
            return condition();
        }
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// One engine on the simulator's port with an owner that records what it delivers.
class CSession {
  public:
    CSession(int port, int baud = 9600) {
        m_opened = m_port.OpenPort(&m_owner, port, baud, 'N', 8, 1, kPanelMask, 512);
    }

    bool Start() { return m_opened && m_port.StartWorker(); }
    CSerialPort& Port() { return m_port; }
    CRecordingOwner& Owner() { return m_owner; }

    // Sends bytes and returns what came back once done(answer) holds, or all that came by the deadline.
    template <class Done>
    std::string Exchange(std::string_view bytes, Done done, std::chrono::milliseconds patience = kPatience) {
        const std::size_t before = m_owner.ReceivedCount();
        m_port.WriteBytes(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        std::string answer;
        m_owner.WaitFor(
            [&] {
                const std::vector<std::uint8_t> all = m_owner.Received();
                answer.assign(all.begin() + static_cast<std::ptrdiff_t>(std::min(before, all.size())),
                              all.end());
                return done(answer);
            },
            patience);
        return answer;
    }

    // The read's answer from "+CONFIG=" on: bytes of an earlier answer that were still on their way when
    // the port was opened (and so escaped its purge) may come first.
    std::string Read() {
        const std::string answer = Exchange(kCmdReadParams, [](const std::string& a) {
            const std::size_t at = a.find("+CONFIG=");
            return at != std::string::npos && a.size() - at >= kRecordAnswerSize;
        });
        const std::size_t at = answer.find("+CONFIG=");
        return at == std::string::npos ? answer : answer.substr(at, kRecordAnswerSize);
    }

    // The device's verdict on a save: "+CONFIG OK\r\n" or "+CONFIG ERROR\r\n".
    std::string Save(const DeviceParams& record) {
        const auto frame = BuildSaveFrame(record.Bytes());
        const std::string answer =
            Exchange(std::string_view(reinterpret_cast<const char*>(frame.data()), frame.size()),
                     [](const std::string& a) {
                         return a.find("+CONFIG") != std::string::npos && a.ends_with("\r\n");
                     });
        const std::size_t at = answer.find("+CONFIG");
        return at == std::string::npos ? answer : answer.substr(at);
    }

  private:
    CRecordingOwner m_owner;
    CSerialPort m_port;
    bool m_opened = false;
};

std::string Hex(std::string_view bytes) {
    std::string out;
    for (const char c : bytes) {
        char piece[4];
        std::snprintf(piece, sizeof piece, "%02X ", static_cast<unsigned char>(c));
        out += piece;
    }
    return out;
}

// The record of a read's answer; fails the test when the answer is not one.
DeviceParams RecordOf(const std::string& answer) {
    EXPECT_EQ(answer.size(), kRecordAnswerSize);
    EXPECT_TRUE(answer.starts_with("+CONFIG=")) << Hex(answer.substr(0, 16));
    std::array<std::uint8_t, kDeviceParamsSize> bytes{};
    if (answer.size() >= kRecordAnswerSize) {
        std::copy(answer.begin() + 8, answer.begin() + 8 + kDeviceParamsSize, bytes.begin());
    }
    const DeviceParams record = DeviceParams::FromBytes(bytes);
    EXPECT_EQ(record.checksum, RecordChecksum(record));
    return record;
}

DeviceParams WithApn(DeviceParams record, std::string_view apn) {
    record.apn.fill(0);
    std::copy(apn.begin(), apn.end(), record.apn.begin());
    record.checksum = RecordChecksum(record);
    return record;
}

class SerialPortComTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_GT(m_sim.Number(), 0) << m_sim.Error(); }
    int Com() const { return m_sim.Number(); }

    CSimPort m_sim;
};

TEST_F(SerialPortComTest, ReadsTheRecordAndTheSignal) {
    CSession session(Com());
    ASSERT_TRUE(session.Start());
    EXPECT_TRUE(session.Port().IsOpen());

    RecordOf(session.Read());
    const std::string signal = session.Exchange(
        kCmdSignalQuery, [](const std::string& a) { return a.find("OK\r\n") != std::string::npos; });
    EXPECT_TRUE(signal.starts_with("+CONFIG CMD:\r\n+CSQ: ")) << signal;

    // Every delivery came on the owner's thread, each wake-up of the port ending with the mask's notice.
    for (const CRecordingOwner::Message& m : session.Owner().Messages()) {
        EXPECT_EQ(m.thread, session.Owner().ThreadId());
        EXPECT_EQ(m.port, Com());
    }
    EXPECT_GE(session.Owner().Count(WM_PORT_RXFLAG), 1u);
    EXPECT_TRUE(session.Owner().Errors().empty());
}

TEST_F(SerialPortComTest, SavesAndReadsTheSaveBack) {
    CSession session(Com());
    ASSERT_TRUE(session.Start());
    const DeviceParams before = RecordOf(session.Read());

    for (std::string_view apn : {"wine.apn", "cmnet"}) {
        SCOPED_TRACE(apn);
        EXPECT_EQ(session.Save(WithApn(before, apn)), "+CONFIG OK\r\n");
        EXPECT_EQ(FieldText(RecordOf(session.Read()).apn), apn);
    }
    // A record whose checksum does not add up is refused by the device, and so is only this one.
    DeviceParams broken = WithApn(before, "broken");
    broken.checksum = static_cast<std::uint8_t>(broken.checksum + 1);
    EXPECT_EQ(session.Save(broken), "+CONFIG ERROR\r\n");
    EXPECT_EQ(session.Save(before), "+CONFIG OK\r\n");
    EXPECT_TRUE(session.Owner().Errors().empty());
}

// The device is asked through its record file, not through the port, whose next open purges what the
// device may not have taken in yet from a pseudo-terminal.
TEST_F(SerialPortComTest, ASaveHandedOverJustBeforeTheCloseStillArrivesWhole) {
    ASSERT_FALSE(m_sim.RecordOutPath().empty()) << "QUENDAL_SIM_RECORD_OUT is not set";
    CSession session(Com());
    ASSERT_TRUE(session.Start());
    const DeviceParams sent = WithApn(RecordOf(session.Read()), "drained");
    session.Port().WriteBytes(BuildSaveFrame(sent.Bytes()));
    session.Port().ClosePort();
    ASSERT_TRUE(WaitUntil([&] { return !session.Port().IsOpen(); }));

    const std::string expected(reinterpret_cast<const char*>(sent.Bytes().data()), kDeviceParamsSize);
    std::string saved;
    WaitUntil([&] {
        std::ifstream in(m_sim.RecordOutPath(), std::ios::binary);
        saved.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        return saved == expected;
    });
    EXPECT_EQ(saved.size(), kDeviceParamsSize);
    EXPECT_TRUE(saved == expected) << "the device took another record than the one sent";
}

TEST_F(SerialPortComTest, APortHeldByAnEngineIsRefusedToOthersUntilItCloses) {
    if (!m_sim.SecondOpenRefused()) {
        GTEST_SKIP() << "Wine does not refuse a second open of a COM port";
    }
    CSession holder(Com());
    ASSERT_TRUE(holder.Start());

    CRecordingOwner owner;
    CSerialPort other;
    EXPECT_FALSE(other.OpenPort(&owner, Com(), 9600, 'N', 8, 1, kPanelMask, 512));
    EXPECT_FALSE(other.IsOpen());
    OsPort* port = nullptr;
    const int error = OsOpenPort(DevicePathText(Com()), port);
    ASSERT_NE(error, 0);
    EXPECT_EQ(OsClassifyOpenError(error), OsOpenFailure::Held) << OsErrorText(error);

    holder.Port().ClosePort();
    ASSERT_TRUE(WaitUntil([&] { return !holder.Port().IsOpen(); }));
    EXPECT_TRUE(other.OpenPort(&owner, Com(), 9600, 'N', 8, 1, kPanelMask, 512));
    EXPECT_TRUE(owner.Errors().empty());
    EXPECT_EQ(owner.Posted(), 0u);
}

TEST_F(SerialPortComTest, AnAbsentPortIsRefusedWithoutABox) {
    const int absent = Com() + 40;
    CRecordingOwner owner;
    CSerialPort port;
    EXPECT_FALSE(port.OpenPort(&owner, absent, 9600, 'N', 8, 1, kPanelMask, 512));
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(port.StartWorker());
    EXPECT_TRUE(owner.Errors().empty());
    EXPECT_EQ(owner.Posted(), 0u);
}

// The simulator answers at the rate the port was set to, so a slow rate shows in the answer's time: were
// the rate not applied, the record would come at the 9600 baud the port had before.
TEST_F(SerialPortComTest, TheLineRateIsApplied) {
    for (int baud : {2400, 115200}) {
        SCOPED_TRACE(baud);
        CSession session(Com(), baud);
        ASSERT_TRUE(session.Start());
        const auto start = Clock::now();
        RecordOf(session.Read());
        const auto took = Clock::now() - start;
        const auto lineTime = LineTime(kRecordAnswerSize, FramingOf({baud, 'N', 8, 1}));
        EXPECT_GE(took, lineTime - lineTime / 20);
        EXPECT_TRUE(session.Owner().Errors().empty());
    }
}

}  // namespace
