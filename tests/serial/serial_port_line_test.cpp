// The engine over a simulated line whose driver queue empties at line speed (fake_serial_os.h), linked in
// place of the system layer: what a pseudo-terminal cannot show, output a request handed over being cut
// off on its way to the device.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "protocol/command_exchange.h"
#include "serial/modem_lines.h"
#include "serial/serial_port.h"
#include "tests/serial/fake_serial_os.h"
#include "tests/serial/recording_owner.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kPatience = 10000ms;
constexpr unsigned kPanelMask = EV_RXCHAR | EV_RXFLAG;

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

std::vector<std::uint8_t> SaveFrame() {
    std::array<std::uint8_t, kDeviceParamsSize> record{};
    for (std::size_t i = 0; i < record.size(); ++i) {
        record[i] = static_cast<std::uint8_t>(i * 31 + 7);
    }
    const auto frame = BuildSaveFrame(record);
    return {frame.begin(), frame.end()};
}

// Everything COMn's driver took has left the queue, onto the line or dropped.
bool LineIdle(int n) {
    return FakeLineBytes(n).size() + FakeDroppedCount(n) == FakeAcceptedCount(n);
}

// "保存参数" then "重启设备" at once: the reboot is asked for while the line still carries the save frame.
// At 2400 baud the frame takes 1.9 s, longer than a stop may wait.
TEST(SerialPortLineTest, ASaveFollowedAtOnceByARebootReachesTheLineWholeAndInOrder) {
    const std::vector<std::uint8_t> frame = SaveFrame();
    ASSERT_EQ(frame.size(), 451u);
    const std::string reboot(kCmdReboot);
    std::vector<std::uint8_t> expected = frame;
    expected.insert(expected.end(), reboot.begin(), reboot.end());
    struct Case {
        int n;
        int baud;
    };
    for (const Case c : {Case{1, 9600}, Case{2, 2400}}) {
        SCOPED_TRACE(c.baud);
        CRecordingOwner owner;
        CSerialPort port;
        ASSERT_TRUE(port.OpenPort(&owner, c.n, c.baud, 'N', 8, 1, kPanelMask, 512));
        ASSERT_TRUE(port.StartWorker());
        port.WriteBytes(frame);
        // The worker has taken the frame and handed it to the driver before the reboot is asked for.
        ASSERT_TRUE(WaitUntil([&] { return FakeAcceptedCount(c.n) == frame.size(); }));
        port.WriteText(reboot.c_str());
        ASSERT_TRUE(WaitUntil([&] { return FakeAcceptedCount(c.n) == expected.size() && LineIdle(c.n); }));
        EXPECT_EQ(FakeDroppedCount(c.n), 0u);
        EXPECT_EQ(FakeLineBytes(c.n), expected);
        EXPECT_TRUE(owner.Errors().empty());
    }
}

// Waiting for the line to carry a write does not hold up a stop: the stop drains within its own bound and
// drops the rest, never more than the frame's own bytes in their order.
TEST(SerialPortLineTest, AStopWhileTheLineCarriesAWriteEndsWithinTheDrainLimit) {
    const std::vector<std::uint8_t> frame = SaveFrame();
    constexpr int kCom = 3;
    CRecordingOwner owner;
    CSerialPort port;
    // 451 bytes at 1200 baud take 3.8 s.
    ASSERT_TRUE(port.OpenPort(&owner, kCom, 1200, 'N', 8, 1, kPanelMask, 512));
    ASSERT_TRUE(port.StartWorker());
    port.WriteBytes(frame);
    ASSERT_TRUE(WaitUntil([&] { return FakeAcceptedCount(kCom) == frame.size(); }));
    const auto start = Clock::now();
    port.ClosePort();
    ASSERT_TRUE(WaitUntil([&] { return !port.IsOpen(); }));
    EXPECT_LE(Clock::now() - start, CSerialPort::kDrainLimit + 500ms);
    const auto carried = FakeLineBytes(kCom);
    EXPECT_EQ(carried, std::vector<std::uint8_t>(frame.begin(), frame.begin() + carried.size()));
    EXPECT_TRUE(owner.Errors().empty());
}

// DTR and RTS as the port panel's menu drives them: raised and dropped in the order asked, and a pulse
// inverts its line, whichever state it was in, for at least its length and puts it back.
TEST(SerialPortLineTest, DtrAndRtsRequestsReachTheLineInOrderAndPulsesComeBack) {
    constexpr int kCom = 10;
    constexpr auto kPulse = 100ms;
    const unsigned both = kLineDtr | kLineRts;
    CRecordingOwner owner;
    CSerialPort port;
    ASSERT_TRUE(port.OpenPort(&owner, kCom, 115200, 'N', 8, 1, kPanelMask, 512));
    ASSERT_TRUE(port.StartWorker());
    auto outputs = [&] {
        std::vector<unsigned> seen;
        for (const auto& change : FakeOutputHistory(kCom)) {
            seen.push_back(change.outputs);
        }
        return seen;
    };
    port.SetModemLine(kLineDtr, false);
    port.SetModemLine(kLineRts, false);
    port.SetModemLine(kLineDtr, true);
    ASSERT_TRUE(WaitUntil([&] { return outputs().size() == 4; }));
    EXPECT_EQ(outputs(), (std::vector<unsigned>{both, kLineRts, 0, kLineDtr}));

    port.PulseModemLine(kLineRts, kPulse);  // RTS is down: up, then down again
    ASSERT_TRUE(WaitUntil([&] { return outputs().size() == 6; }));
    port.PulseModemLine(kLineDtr, kPulse);  // DTR is up: down, then up again
    ASSERT_TRUE(WaitUntil([&] { return outputs().size() == 8; }));
    EXPECT_EQ(outputs(), (std::vector<unsigned>{both, kLineRts, 0, kLineDtr, both, kLineDtr, 0, kLineDtr}));
    const auto history = FakeOutputHistory(kCom);
    EXPECT_GE(history[5].at - history[4].at, kPulse);
    EXPECT_GE(history[7].at - history[6].at, kPulse);
    ASSERT_TRUE(owner.WaitFor([&] { return port.ModemLines().lines == kLineDtr; }, kPatience));
    EXPECT_TRUE(port.ModemLines().available);
    EXPECT_TRUE(owner.Errors().empty());
}

// The device's lines are read back while the port is open and every change is told once it is seen.
TEST(SerialPortLineTest, DeviceLinesAreReadBackAndEachChangeIsTold) {
    constexpr int kCom = 11;
    const unsigned both = kLineDtr | kLineRts;
    CRecordingOwner owner;
    CSerialPort port;
    ASSERT_TRUE(port.OpenPort(&owner, kCom, 9600, 'N', 8, 1, kPanelMask, 512));
    ASSERT_TRUE(port.StartWorker());
    for (unsigned device : {kLineCts | kLineDcd, kLineDsr | kLineRi, 0u}) {
        SCOPED_TRACE(device);
        const std::size_t told = owner.Count(WM_PORT_MODEM);
        FakeSetDeviceLines(kCom, device);
        ASSERT_TRUE(owner.WaitFor(
            [&] { return owner.Count(WM_PORT_MODEM) > told && port.ModemLines().lines == (both | device); },
            kPatience));
        EXPECT_TRUE(port.ModemLines().available);
    }
    EXPECT_TRUE(owner.Errors().empty());
}

// A port without modem lines, as a pseudo-terminal: requests change nothing and show nothing, and the lines
// read as not available without a notice.
TEST(SerialPortLineTest, APortWithoutModemLinesTakesRequestsQuietly) {
    constexpr int kCom = 12;
    FakeSetHasModemLines(kCom, false);
    CRecordingOwner owner;
    CSerialPort port;
    ASSERT_TRUE(port.OpenPort(&owner, kCom, 9600, 'N', 8, 1, kPanelMask, 512));
    ASSERT_TRUE(port.StartWorker());
    port.SetModemLine(kLineDtr, false);
    port.PulseModemLine(kLineRts, 10ms);
    port.WriteText("ping");
    ASSERT_TRUE(WaitUntil([&] { return FakeAcceptedCount(kCom) == 4; }));
    // The worker has met the requests by now, or meets them later: either way nothing of them may show.
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(port.ModemLines().available);
    EXPECT_EQ(FakeOutputHistory(kCom).size(), 1u);
    EXPECT_EQ(owner.Count(WM_PORT_MODEM), 0u);
    EXPECT_TRUE(owner.Errors().empty());
}

}  // namespace
