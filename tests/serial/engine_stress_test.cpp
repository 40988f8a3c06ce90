// The engine under input that never pauses: a device streaming faster than the owner handles the bytes
// keeps the port ready on every wait. The owner's commands must still go out whole, and a device lost in
// that state must be told once, before the port reads closed.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "serial/serial_port.h"
#include "tests/serial/flood_writer.h"
#include "tests/serial/process_probe.h"
#include "tests/serial/recording_owner.h"
#include "tests/support/pty_fixture.h"

namespace {

using namespace std::chrono_literals;

constexpr auto kPatience = 5000ms;
constexpr auto kCommandBound = 1000ms;
constexpr int kCommands = 20;

TEST(EngineStressTest, CommandsGoOutWholeWhileTheOwnerFallsBehindAFlood) {
    CPortDirFixture dir;
    ASSERT_FALSE(dir.Path().empty());
    CPtyFixture pty;
    ASSERT_TRUE(pty.IsValid()) << pty.Error();
    ASSERT_FALSE(pty.LinkAs(dir.Path(), 1).empty()) << pty.Error();
    CRecordingOwner owner;
    owner.SetKeepMessages(false);
    // An owner slower than the line: whenever the worker waits again, more input is already there.
    owner.SetHook([](const CRecordingOwner::Message& m) {
        if (m.code == WM_PORT_RXCHAR) {
            std::this_thread::sleep_for(2ms);
        }
    });
    const std::size_t threadsBefore = ThreadCount();
    const std::size_t fdsBefore = FdCount();
    {
        auto engine = std::make_unique<CSerialPort>();
        CSerialPort& port = *engine;
        ASSERT_TRUE(port.OpenPort(&owner, 1, 115200, 'N', 8, 1, EV_RXCHAR | EV_RXFLAG, 512));
        ASSERT_TRUE(port.StartWorker());
        CFloodWriter flood(pty.MasterFd());
        ASSERT_TRUE(owner.WaitFor([&] { return owner.ReceivedCount() > 64 * 1024; }, kPatience));

        for (int i = 0; i < kCommands; ++i) {
            SCOPED_TRACE(i);
            const std::string command = "AT+CMD" + std::to_string(1000 + i) + "\r\n";
            port.WriteText(command.c_str());
            const std::vector<std::uint8_t> got = pty.Read(command.size(), kCommandBound);
            ASSERT_EQ(std::string(got.begin(), got.end()), command);
        }
        // Input still flows after the commands.
        const std::size_t received = owner.ReceivedCount();
        EXPECT_TRUE(owner.WaitFor([&] { return owner.ReceivedCount() > received + 16 * 1024; }, kPatience));
        EXPECT_TRUE(owner.Errors().empty());
        {
            CWatchdog watchdog(200ms, "destroying the engine under a flood");
            engine.reset();
        }
        flood.Stop();
    }
    EXPECT_TRUE(WaitUntil([&] { return ThreadCount() == threadsBefore; }, kPatience));
    EXPECT_EQ(FdCount(), fdsBefore);
}

// The device goes away while input pours in and commands keep coming. One report, one WM_PORT_LOST, and the
// port reads open until the owner has been told: an owner that finds it closed any earlier (an auto-send tick
// in that gap) would refuse with a second box behind a panel it still shows open.
TEST(EngineStressTest, LossUnderAFloodIsToldOnceBeforeThePortReadsClosed) {
    for (int round = 0; round < 10; ++round) {
        SCOPED_TRACE(round);
        CPortDirFixture dir;
        ASSERT_FALSE(dir.Path().empty());
        CPtyFixture pty;
        ASSERT_TRUE(pty.IsValid()) << pty.Error();
        ASSERT_FALSE(pty.LinkAs(dir.Path(), 1).empty()) << pty.Error();
        CRecordingOwner owner;
        owner.SetKeepMessages(false);
        CSerialPort port;
        std::atomic<int> closedBeforeTold{0};
        owner.SetHook([&](const CRecordingOwner::Message& m) {
            if (m.code == WM_PORT_LOST && !port.IsOpen()) {
                ++closedBeforeTold;
            }
        });
        const std::size_t threadsBefore = ThreadCount();
        ASSERT_TRUE(port.OpenPort(&owner, 1, 115200, 'N', 8, 1, EV_RXCHAR | EV_RXFLAG, 512));
        ASSERT_TRUE(port.StartWorker());
        {
            CFloodWriter flood(pty.MasterFd());
            ASSERT_TRUE(owner.WaitFor([&] { return owner.ReceivedCount() > 16 * 1024; }, kPatience));
            for (int i = 0; i < round; ++i) {
                port.WriteText("AT+PING\r\n");
            }
        }
        pty.CloseMaster();
        ASSERT_TRUE(WaitUntil([&] { return ThreadCount() == threadsBefore; }, kPatience));
        EXPECT_FALSE(port.IsOpen());
        EXPECT_EQ(FdsOpenOn(pty.SlavePath()), 1u) << "only the fixture's own slave";
        EXPECT_EQ(owner.Errors().size(), 1u);
        EXPECT_EQ(owner.Count(WM_PORT_LOST), 1u);
        EXPECT_EQ(closedBeforeTold, 0);
    }
}

}  // namespace
