// Many open/flood/stop cycles, every way of stopping in turn: nothing may be left behind (descriptors,
// threads) and every stop must keep the engine's 200 ms bound.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>

#include "serial/serial_port.h"
#include "tests/serial/flood_writer.h"
#include "tests/serial/process_probe.h"
#include "tests/serial/recording_owner.h"
#include "tests/support/pty_fixture.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kStopBound = 200ms;
constexpr auto kPatience = 5000ms;
constexpr int kCycles = 200;

TEST(SerialPortStressTest, OpenFloodStopCyclesLeaveNothingBehind) {
    CPortDirFixture dir;
    ASSERT_FALSE(dir.Path().empty());
    CPtyFixture pty;
    ASSERT_TRUE(pty.IsValid());
    ASSERT_FALSE(pty.LinkAs(dir.Path(), 1).empty());
    CRecordingOwner owner;
    owner.SetKeepMessages(false);

    const std::size_t fdsBefore = FdCount();
    const std::size_t threadsBefore = ThreadCount();
    auto longLived = std::make_unique<CSerialPort>();
    std::chrono::milliseconds slowest{};

    enum class How { kClosePort, kDestroy, kReopen, kUnplug };
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        SCOPED_TRACE(cycle);
        const How how = static_cast<How>(cycle % 4);
        // Unplugging needs a device of its own each time.
        std::optional<CPtyFixture> spare;
        CPtyFixture* device = &pty;
        int number = 1;
        if (how == How::kUnplug) {
            spare.emplace();
            ASSERT_TRUE(spare->IsValid());
            ASSERT_FALSE(spare->LinkAs(dir.Path(), 2).empty());
            device = &*spare;
            number = 2;
        }
        std::unique_ptr<CSerialPort> fresh;
        CSerialPort* port = longLived.get();
        if (how == How::kDestroy || how == How::kUnplug) {
            fresh = std::make_unique<CSerialPort>();
            port = fresh.get();
        }

        ASSERT_TRUE(port->OpenPort(&owner, number, 115200, 'N', 8, 1, EV_RXCHAR | EV_RXFLAG, 512));
        ASSERT_TRUE(port->StartWorker());
        const std::size_t receivedBefore = owner.ReceivedCount();
        CFloodWriter flood(device->MasterFd());
        port->WriteText("DTU+CONFIG\r");
        ASSERT_TRUE(owner.WaitFor([&] { return owner.ReceivedCount() > receivedBefore + 8192; }, kPatience));

        const auto start = Clock::now();
        switch (how) {
            case How::kClosePort:
                port->ClosePort();
                ASSERT_TRUE(WaitUntil([&] { return !port->IsOpen(); }, kPatience));
                break;
            case How::kDestroy:
                fresh.reset();
                break;
            case How::kReopen:
                ASSERT_TRUE(port->OpenPort(&owner, 1, 9600, 'N', 8, 1, EV_RXCHAR | EV_RXFLAG, 512));
                break;
            case How::kUnplug:
                flood.Stop();
                device->CloseMaster();
                ASSERT_TRUE(WaitUntil([&] { return !port->IsOpen(); }, kPatience));
                ASSERT_TRUE(owner.WaitFor(
                    [&] { return owner.Count(WM_PORT_LOST) == static_cast<std::size_t>(cycle / 4 + 1); },
                    kPatience));
                break;
        }
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
        slowest = std::max(slowest, took);
        EXPECT_LE(took, kStopBound);
        flood.Stop();
    }
    longLived.reset();

    // Every cycle lost its device exactly once, and nothing else went wrong.
    EXPECT_EQ(owner.Count(WM_PORT_LOST), static_cast<std::size_t>(kCycles / 4));
    EXPECT_EQ(owner.Errors().size(), static_cast<std::size_t>(kCycles / 4));
    EXPECT_TRUE(WaitUntil([&] { return ThreadCount() == threadsBefore; }, kPatience));
    EXPECT_EQ(FdCount(), fdsBefore);
    RecordProperty("slowest_stop_ms", static_cast<int>(slowest.count()));
}

}  // namespace
