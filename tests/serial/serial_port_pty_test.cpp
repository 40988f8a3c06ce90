// The engine against pseudo-terminals linked as COMn in a temporary port directory. The master side plays
// the device. Stops are measured against the engine's 200 ms bound; other waits have wide margins for
// loaded machines.
#include <asm/termbits.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "serial/port_names.h"
#include "serial/serial_os.h"
#include "serial/serial_port.h"
#include "serial/termios_posix.h"
#include "tests/serial/flood_writer.h"
#include "tests/serial/process_probe.h"
#include "tests/serial/recording_owner.h"
#include "tests/support/pty_fixture.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kStopBound = 200ms;
constexpr auto kPatience = 5000ms;
constexpr unsigned kPanelMask = EV_RXCHAR | EV_RXFLAG;

std::vector<std::uint8_t> Bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

std::string Text(const std::vector<std::uint8_t>& bytes) {
    return {bytes.begin(), bytes.end()};
}

std::chrono::milliseconds Since(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

class SerialPortPtyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(m_dir.Path().empty());
        ASSERT_TRUE(m_pty.IsValid()) << m_pty.Error();
        ASSERT_FALSE(m_pty.LinkAs(m_dir.Path(), 1).empty()) << m_pty.Error();
    }

    bool Open(CSerialPort& port, CRecordingOwner& owner, unsigned mask = kPanelMask, int baud = 9600) {
        return port.OpenPort(&owner, 1, baud, 'N', 8, 1, mask, 512);
    }

    CPortDirFixture m_dir;
    CPtyFixture m_pty;
};

TEST_F(SerialPortPtyTest, OpensAndClosesThePort) {
    CRecordingOwner owner;
    CSerialPort port;
    ASSERT_TRUE(Open(port, owner));
    EXPECT_TRUE(port.IsOpen());
    EXPECT_FALSE(port.IsClosing());
    EXPECT_EQ(FdsOpenOn(m_pty.SlavePath()), 2u);  // the fixture's and the engine's
    ASSERT_TRUE(port.StartWorker());
    EXPECT_FALSE(port.StartWorker());

    port.ClosePort();
    EXPECT_TRUE(port.IsClosing());  // at once, while the worker may still hold the port
    const auto start = Clock::now();
    ASSERT_TRUE(WaitUntil([&] { return !port.IsOpen(); }, kPatience));
    EXPECT_LE(Since(start), kStopBound);
    EXPECT_EQ(FdsOpenOn(m_pty.SlavePath()), 1u);
    EXPECT_TRUE(owner.Errors().empty());

    // Closed means released: the port opens again, here and in another engine.
    {
        CSerialPort other;
        ASSERT_TRUE(Open(other, owner));
    }
    ASSERT_TRUE(Open(port, owner));
    EXPECT_FALSE(port.IsClosing());
    EXPECT_TRUE(owner.Errors().empty());
}

TEST_F(SerialPortPtyTest, PortHeldByAnotherEngineIsRefused) {
    CRecordingOwner owner;
    CSerialPort first;
    CSerialPort second;
    ASSERT_TRUE(Open(first, owner));
    ASSERT_TRUE(first.StartWorker());

    EXPECT_FALSE(Open(second, owner));
    EXPECT_FALSE(second.IsOpen());
    EXPECT_TRUE(owner.Errors().empty());

    // The refusal left the holder untouched.
    ASSERT_TRUE(m_pty.Write("AB", kPatience));
    ASSERT_TRUE(owner.WaitFor([&] { return owner.Received().size() == 2; }, kPatience));

    first.ClosePort();
    ASSERT_TRUE(WaitUntil([&] { return !first.IsOpen(); }, kPatience));
    EXPECT_TRUE(Open(second, owner));
}

// A port is held exactly as long as its holder lives. Ownership is the lock, which ends with its process
// however that ends: a live holder is refused, root included; a holder killed outright leaves the port
// free. An exclusive flag without a lock behind it is what a dead holder left, and is cleared.
TEST_F(SerialPortPtyTest, APortIsHeldExactlyAsLongAsItsHolderLives) {
    const auto tryOpen = [] {
        OsPort* port = nullptr;
        const int error = OsOpenPort(DevicePathText(1), port);
        if (error == 0) {
            OsClosePort(port);
        }
        return error;
    };
    const auto exclusive = [&] {
        int flag = -1;
        EXPECT_EQ(ioctl(m_pty.SlaveFd(), TIOCGEXCL, &flag), 0);
        return flag;
    };

    // A lock held by another open of the port.
    ASSERT_EQ(flock(m_pty.SlaveFd(), LOCK_EX | LOCK_NB), 0);
    int error = tryOpen();
    EXPECT_EQ(OsClassifyOpenError(error), OsOpenFailure::Held) << OsErrorText(error);
    ASSERT_EQ(flock(m_pty.SlaveFd(), LOCK_UN), 0);
    EXPECT_EQ(tryOpen(), 0);

    // A flag left behind. Past it only root gets as far as the lock; the kernel refuses everyone else.
    ASSERT_EQ(ioctl(m_pty.SlaveFd(), TIOCEXCL), 0);
    error = tryOpen();
    if (geteuid() == 0) {
        EXPECT_EQ(error, 0) << OsErrorText(error);
        EXPECT_EQ(exclusive(), 0);
    } else {
        EXPECT_EQ(OsClassifyOpenError(error), OsOpenFailure::Held) << OsErrorText(error);
        ASSERT_EQ(ioctl(m_pty.SlaveFd(), TIOCNXCL), 0);
    }

    // Another process holds the port as the engine does; a second holder is refused while it lives.
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t holder = fork();
    ASSERT_GE(holder, 0);
    // Whatever fails below, the holder does not outlive the test.
    const std::unique_ptr<pid_t, void (*)(pid_t*)> reaper(&holder, [](pid_t* pid) {
        if (*pid > 0) {
            kill(*pid, SIGKILL);
            waitpid(*pid, nullptr, 0);
        }
    });
    if (holder == 0) {
        OsPort* port = nullptr;
        const char opened = OsOpenPort(DevicePathText(1), port) == 0 ? 'y' : 'n';
        [[maybe_unused]] const ssize_t n = write(ready[1], &opened, 1);
        for (;;) {
            pause();
        }
    }
    close(ready[1]);
    char opened = 0;
    ASSERT_EQ(read(ready[0], &opened, 1), 1);
    close(ready[0]);
    EXPECT_EQ(opened, 'y');
    error = tryOpen();
    EXPECT_EQ(OsClassifyOpenError(error), OsOpenFailure::Held) << OsErrorText(error);
    CRecordingOwner owner;
    CSerialPort port;
    EXPECT_FALSE(Open(port, owner));

    // Killed outright, it leaves nothing behind that holds the port.
    ASSERT_EQ(kill(holder, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(waitpid(holder, &status, 0), holder);
    holder = -1;
    EXPECT_EQ(exclusive(), 0);
    EXPECT_TRUE(Open(port, owner));
    EXPECT_TRUE(owner.Errors().empty());
    EXPECT_EQ(FdsOpenOn(m_pty.SlavePath()), 2u);
}

TEST_F(SerialPortPtyTest, DeliversReceivedBytesInOrderWithThePortNumber) {
    CRecordingOwner owner;
    CSerialPort port;
    ASSERT_TRUE(Open(port, owner));
    ASSERT_TRUE(port.StartWorker());
    ASSERT_TRUE(m_pty.Write("AB", kPatience));
    ASSERT_TRUE(owner.WaitFor([&] { return owner.Received().size() >= 2; }, kPatience));
    EXPECT_EQ(owner.Received(), Bytes("AB"));
    for (const auto& m : owner.Messages()) {
        EXPECT_EQ(m.port, 1);
        EXPECT_EQ(m.thread, owner.ThreadId());
    }
}

TEST_F(SerialPortPtyTest, EveryPortWakeUpEndsWithTheMaskNotices) {
    struct Case {
        unsigned mask;
        std::vector<unsigned> afterRun;
    };
    const Case cases[] = {
        {EV_RXCHAR | EV_RXFLAG, {WM_PORT_RXFLAG}},
        {EV_RXCHAR, {}},
        {EV_RXCHAR | EV_RXFLAG | EV_CTS | EV_BREAK | EV_ERR | EV_RING,
         {WM_PORT_CTS, WM_PORT_BREAK, WM_PORT_ERR, WM_PORT_RING, WM_PORT_RXFLAG}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mask);
        CRecordingOwner owner;
        CSerialPort port;
        ASSERT_TRUE(Open(port, owner, c.mask));
        ASSERT_TRUE(port.StartWorker());
        std::string sent;
        for (std::string_view piece : {"AB", "q", "xyz"}) {
            sent += piece;
            ASSERT_TRUE(m_pty.Write(piece, kPatience));
            // One snapshot for the bytes and the notices, so a run arriving between two looks cannot pass
            // for the notices of the one before.
            ASSERT_TRUE(owner.WaitFor(
                [&] {
                    const auto all = owner.Messages();
                    std::size_t received = 0;
                    for (const auto& m : all) {
                        received += m.code == WM_PORT_RXCHAR ? m.bytes.size() : 0;
                    }
                    return received == sent.size() && all.size() >= c.afterRun.size() + 1 &&
                           (c.afterRun.empty() || all.back().code == c.afterRun.back());
                },
                kPatience));
        }
        EXPECT_EQ(Text(owner.Received()), sent);

        // Each run of bytes is followed by exactly the notices its mask asks for, in order.
        const auto all = owner.Messages();
        std::size_t i = 0;
        while (i < all.size()) {
            ASSERT_EQ(all[i].code, WM_PORT_RXCHAR) << "at " << i;
            EXPECT_FALSE(all[i].bytes.empty());
            ++i;
            for (unsigned expected : c.afterRun) {
                ASSERT_LT(i, all.size());
                EXPECT_EQ(all[i].code, expected) << "at " << i;
                EXPECT_TRUE(all[i].bytes.empty());
                EXPECT_EQ(all[i].port, 1);
                ++i;
            }
        }
        port.ClosePort();
        ASSERT_TRUE(WaitUntil([&] { return !port.IsOpen(); }, kPatience));
    }
}

TEST_F(SerialPortPtyTest, AllByteValuesPassUnchangedBothWays) {
    std::vector<std::uint8_t> all(256);
    for (std::size_t i = 0; i < all.size(); ++i) {
        all[i] = static_cast<std::uint8_t>(i);
    }
    CRecordingOwner owner;
    CSerialPort port;
    ASSERT_TRUE(Open(port, owner));
    ASSERT_TRUE(port.StartWorker());

    ASSERT_TRUE(m_pty.Write(all, kPatience));
    ASSERT_TRUE(owner.WaitFor([&] { return owner.Received().size() >= all.size(); }, kPatience));
    EXPECT_EQ(owner.Received(), all);

    port.WriteBytes(all);
    EXPECT_EQ(m_pty.Read(all.size(), kPatience), all);
    EXPECT_TRUE(m_pty.ReadUntilQuiet(100ms, kPatience).empty());
    EXPECT_TRUE(owner.Errors().empty());
}

TEST_F(SerialPortPtyTest, NextRunIsReadOnlyAfterTheOwnerHandledThePrevious) {
    CRecordingOwner owner;
    std::mutex gateMutex;
    std::condition_variable gateChanged;
    bool entered = false;
    bool released = false;
    owner.SetHook([&](const CRecordingOwner::Message& m) {
        if (m.code != WM_PORT_RXCHAR) {
            return;
        }
        std::unique_lock lock(gateMutex);
        entered = true;
        gateChanged.notify_all();
        gateChanged.wait(lock, [&] { return released; });
    });
    CSerialPort port;
    ASSERT_TRUE(Open(port, owner));
    ASSERT_TRUE(port.StartWorker());

    ASSERT_TRUE(m_pty.Write("first", kPatience));
    {
        std::unique_lock lock(gateMutex);
        ASSERT_TRUE(gateChanged.wait_for(lock, kPatience, [&] { return entered; }));
    }
    // While the owner holds the first run, the next bytes stay in the port's queue.
    ASSERT_TRUE(m_pty.Write("second", kPatience));
    ASSERT_TRUE(m_pty.WaitSlaveInput(6, kPatience));
    EXPECT_EQ(owner.Count(WM_PORT_RXCHAR), 0u);
    {
        std::lock_guard lock(gateMutex);
        released = true;
    }
    gateChanged.notify_all();
    ASSERT_TRUE(owner.WaitFor([&] { return owner.Received().size() >= 11; }, kPatience));
    EXPECT_EQ(Text(owner.Received()), "firstsecond");
}

// A notice is posted, not waited for: the worker reads on while the owner is still in it. A notice still
// queued when its worker has ended never reaches the owner.
TEST_F(SerialPortPtyTest, NoticesNeitherHoldTheWorkerNorOutliveIt) {
    CRecordingOwner owner;
    std::mutex gateMutex;
    std::condition_variable gateChanged;
    bool released = false;
    const auto hold = [&] {
        std::unique_lock lock(gateMutex);
        gateChanged.wait(lock, [&] { return released; });
    };
    const auto release = [&] {
        std::lock_guard lock(gateMutex);
        released = true;
        gateChanged.notify_all();
    };
    owner.SetHook([&](const CRecordingOwner::Message& m) {
        if (m.code == WM_PORT_RXFLAG) {
            hold();
        }
    });
    auto port = std::make_unique<CSerialPort>();
    ASSERT_TRUE(Open(*port, owner));
    ASSERT_TRUE(port->StartWorker());
    ASSERT_TRUE(m_pty.Write("a", kPatience));
    ASSERT_TRUE(owner.WaitFor([&] { return owner.Posted() == 2; }, kPatience));
    ASSERT_TRUE(m_pty.Write("b", kPatience));
    // The run of "b" is posted while the owner is held in the notice that followed "a".
    EXPECT_TRUE(owner.WaitFor([&] { return owner.Posted() >= 3; }, kPatience));
    release();
    ASSERT_TRUE(owner.WaitFor([&] { return owner.Count(WM_PORT_RXFLAG) == 2; }, kPatience));

    // The owner's thread is busy when the next notice is posted; the engine goes away before it runs.
    {
        std::lock_guard lock(gateMutex);
        released = false;
    }
    owner.SetHook([&](const CRecordingOwner::Message& m) {
        if (m.code == WM_PORT_RXCHAR) {
            owner.PostToOwnerThread(hold);
        }
    });
    const std::size_t posted = owner.Posted();
    ASSERT_TRUE(m_pty.Write("c", kPatience));
    ASSERT_TRUE(owner.WaitFor([&] { return owner.Posted() == posted + 3; }, kPatience));
    port.reset();
    release();
    owner.RunOnOwnerThread([] {});
    EXPECT_EQ(Text(owner.Received()), "abc");
    EXPECT_EQ(owner.Count(WM_PORT_RXFLAG), 2u);
}

TEST_F(SerialPortPtyTest, EveryPanelRateIsSetAndReadBack) {
    // The usual rates, then the higher ones the panel offers after them.
    for (int baud : {300,    600,    1200,    2400,    4800,    9600,    19200,   38400,
                     43000,  56000,  57600,   115200,  230400,  250000,  460800,  500000,
                     576000, 921600, 1000000, 1152000, 1500000, 2000000, 2500000, 3000000}) {
        SCOPED_TRACE(baud);
        CRecordingOwner owner;
        CSerialPort port;
        ASSERT_TRUE(Open(port, owner, kPanelMask, baud));
        EXPECT_TRUE(owner.Errors().empty());
        TermiosValue now;
        ASSERT_EQ(OsGetSettings(m_pty.SlaveFd(), now), 0);
        EXPECT_EQ(now.ospeed, static_cast<std::uint32_t>(baud));
        EXPECT_EQ(now.cflag & CBAUD, static_cast<std::uint32_t>(BOTHER));
        EXPECT_EQ(now.lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
        EXPECT_EQ(now.iflag & (ICRNL | IXON), 0u);
        EXPECT_EQ(now.oflag & OPOST, 0u);
        EXPECT_EQ(now.cflag & (CLOCAL | CREAD), static_cast<std::uint32_t>(CLOCAL | CREAD));
    }
}

TEST_F(SerialPortPtyTest, FailedConfigurationShowsOneBoxAndStillOpens) {
    CRecordingOwner owner;
    CSerialPort port;
    // A parity the mode text cannot carry fails the text's parse; the port keeps its settings and works.
    ASSERT_TRUE(port.OpenPort(&owner, 1, 9600, 'X', 8, 1, kPanelMask, 512));
    EXPECT_TRUE(port.IsOpen());
    ASSERT_EQ(owner.Errors().size(), 1u);
    EXPECT_EQ(owner.Errors()[0],
              "WARNING:  BuildCommDCB() Failed with the following error: \nInvalid argument\nPort: 1\n");
    ASSERT_TRUE(port.StartWorker());
    ASSERT_TRUE(m_pty.Write("AB", kPatience));
    ASSERT_TRUE(owner.WaitFor([&] { return owner.Received().size() >= 2; }, kPatience));
    EXPECT_EQ(owner.Received(), Bytes("AB"));
    EXPECT_EQ(owner.Errors().size(), 1u);

    // Nine data bits: the same box.
    CRecordingOwner second;
    ASSERT_TRUE(port.OpenPort(&second, 1, 9600, 'N', 9, 1, kPanelMask, 512));
    ASSERT_EQ(second.Errors().size(), 1u);
    EXPECT_NE(second.Errors()[0].find("BuildCommDCB()"), std::string::npos);

    // A file that is not a terminal is no port at all: refused as an absent one, without a box.
    std::ofstream(m_dir.Path() + "/COM5") << "not a terminal";
    CRecordingOwner third;
    CSerialPort filePort;
    EXPECT_FALSE(filePort.OpenPort(&third, 5, 9600, 'N', 8, 1, kPanelMask, 512));
    EXPECT_FALSE(filePort.IsOpen());
    EXPECT_TRUE(third.Errors().empty());
}

TEST_F(SerialPortPtyTest, WriteKeepsInputWaitingToBeRead) {
    // Without EV_RXCHAR the worker never reads, so the input stays queued; a write must not throw it away.
    struct Case {
        const char* name;
        std::string request;
    };
    for (const Case& c : {Case{"command", "cmd"}, Case{"empty request", ""}}) {
        SCOPED_TRACE(c.name);
        CRecordingOwner owner;
        CSerialPort port;
        ASSERT_TRUE(Open(port, owner, EV_RXFLAG));
        ASSERT_TRUE(port.StartWorker());
        ASSERT_TRUE(m_pty.Write("junk", kPatience));
        ASSERT_TRUE(m_pty.WaitSlaveInput(4, kPatience));

        port.WriteText(c.request.c_str());
        if (c.request.empty()) {
            EXPECT_TRUE(m_pty.ReadUntilQuiet(200ms, kPatience).empty());
        } else {
            EXPECT_EQ(Text(m_pty.Read(c.request.size(), kPatience)), c.request);
        }
        EXPECT_EQ(m_pty.SlaveInputCount(), 4u);
        EXPECT_TRUE(owner.Received().empty());
        port.ClosePort();
        ASSERT_TRUE(WaitUntil([&] { return !port.IsOpen(); }, kPatience));
        ASSERT_EQ(ioctl(m_pty.SlaveFd(), TCFLSH, TCIFLUSH), 0);
    }
}

// A stop lets output the owner handed over before it leave whole; a line that takes nothing holds the stop
// no longer than the drain limit, and requests after the close are not sent.
TEST_F(SerialPortPtyTest, StopsDrainAcceptedOutputWithinTheBound) {
    std::vector<std::uint8_t> frame(451);
    for (std::size_t i = 0; i < frame.size(); ++i) {
        frame[i] = static_cast<std::uint8_t>(i * 13 + 1);
    }
    // Another port: opening the same pseudo-terminal again purges it, which on a pty also drops what the
    // device side has not taken in yet.
    CPtyFixture other;
    ASSERT_TRUE(other.IsValid());
    ASSERT_FALSE(other.LinkAs(m_dir.Path(), 2).empty());
    enum class How { kClosePort, kDestroy, kOpenAnother };
    for (How how : {How::kClosePort, How::kDestroy, How::kOpenAnother}) {
        SCOPED_TRACE(static_cast<int>(how));
        CRecordingOwner owner;
        auto port = std::make_unique<CSerialPort>();
        ASSERT_TRUE(Open(*port, owner));
        ASSERT_TRUE(port->StartWorker());
        port->WriteBytes(frame);
        switch (how) {
            case How::kClosePort:
                port->ClosePort();
                port->WriteText("late");
                ASSERT_TRUE(WaitUntil([&] { return !port->IsOpen(); }, kPatience));
                break;
            case How::kDestroy:
                port.reset();
                break;
            case How::kOpenAnother:
                ASSERT_TRUE(port->OpenPort(&owner, 2, 9600, 'N', 8, 1, kPanelMask, 512));
                break;
        }
        EXPECT_EQ(m_pty.ReadUntilQuiet(200ms, kPatience), frame);
    }

    // Nobody reads the device side: the pseudo-terminal fills and the rest of a large request cannot go.
    CRecordingOwner owner;
    CSerialPort port;
    ASSERT_TRUE(Open(port, owner));
    ASSERT_TRUE(port.StartWorker());
    port.WriteBytes(std::vector<std::uint8_t>(1024 * 1024, 'x'));
    const auto start = Clock::now();
    port.ClosePort();
    ASSERT_TRUE(WaitUntil([&] { return !port.IsOpen(); }, kPatience));
    EXPECT_LE(Since(start), CSerialPort::kDrainLimit + kStopBound);
}

TEST_F(SerialPortPtyTest, OnlyTheLaterOfTwoWaitingRequestsIsWritten) {
    CRecordingOwner owner;
    CSerialPort port;
    ASSERT_TRUE(Open(port, owner));
    port.WriteText("DTU+CONFIG\r");
    port.WriteText("DTU+CONFIG=CMD:AT+CSQ\r");
    ASSERT_TRUE(port.StartWorker());
    // Written without the terminating NUL.
    EXPECT_EQ(Text(m_pty.ReadUntilQuiet(300ms, kPatience)), "DTU+CONFIG=CMD:AT+CSQ\r");
}

TEST_F(SerialPortPtyTest, RequestMadeWhileNoWorkerRunsIsDroppedByTheNextOpen) {
    CRecordingOwner owner;
    CSerialPort port;
    ASSERT_TRUE(Open(port, owner));
    port.WriteText("stale");
    ASSERT_TRUE(Open(port, owner));
    ASSERT_TRUE(port.StartWorker());
    EXPECT_TRUE(m_pty.ReadUntilQuiet(300ms, kPatience).empty());
    port.WriteText("fresh");
    EXPECT_EQ(Text(m_pty.Read(5, kPatience)), "fresh");
}

TEST_F(SerialPortPtyTest, RequestsLargerThanTheBufferAreWrittenWhole) {
    CRecordingOwner owner;
    CSerialPort port;
    ASSERT_TRUE(Open(port, owner));
    ASSERT_TRUE(port.StartWorker());

    std::vector<std::uint8_t> bytes(2000);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
    }
    port.WriteBytes(bytes.data(), bytes.size());
    EXPECT_EQ(m_pty.Read(bytes.size(), kPatience), bytes);

    const std::string text(1000, 'T');
    port.WriteText(text.c_str());
    EXPECT_EQ(Text(m_pty.Read(text.size(), kPatience)), text);
    EXPECT_TRUE(m_pty.ReadUntilQuiet(100ms, kPatience).empty());
    EXPECT_TRUE(owner.Errors().empty());
}

TEST_F(SerialPortPtyTest, RequestArrivingDuringAWriteLeavesThatWriteIntact) {
    CRecordingOwner owner;
    CSerialPort port;
    ASSERT_TRUE(Open(port, owner));
    ASSERT_TRUE(port.StartWorker());

    // Far more than the pseudo-terminal buffers, so the worker is still writing when the next request comes;
    // the second fits the same buffer, so writing from it in place would turn the first's tail into 'b'.
    const std::vector<std::uint8_t> first(256 * 1024, 'a');
    const std::vector<std::uint8_t> second(200 * 1024, 'b');
    port.WriteBytes(first);
    const auto head = m_pty.Read(1000, kPatience);
    ASSERT_EQ(head.size(), 1000u);
    port.WriteBytes(second);

    std::vector<std::uint8_t> got = head;
    const auto rest = m_pty.ReadUntilQuiet(500ms, 30000ms);
    got.insert(got.end(), rest.begin(), rest.end());
    // The first is carried whole before the second is taken; no byte of the second appears inside it and
    // none of it is purged away. (What a real line's purge would cut, serial_port_line_test shows.)
    ASSERT_EQ(got.size(), first.size() + second.size());
    EXPECT_EQ(std::count(got.begin(), got.begin() + static_cast<std::ptrdiff_t>(first.size()), 'a'),
              static_cast<std::ptrdiff_t>(first.size()));
    EXPECT_EQ(std::count(got.begin() + static_cast<std::ptrdiff_t>(first.size()), got.end(), 'b'),
              static_cast<std::ptrdiff_t>(second.size()));
}

TEST_F(SerialPortPtyTest, OpeningAnotherPortEndsTheOldWorkerAndReleasesItsPort) {
    CPtyFixture other;
    ASSERT_TRUE(other.IsValid());
    ASSERT_FALSE(other.LinkAs(m_dir.Path(), 2).empty());
    CRecordingOwner owner;
    CSerialPort port;
    ASSERT_TRUE(Open(port, owner));
    ASSERT_TRUE(port.StartWorker());
    ASSERT_TRUE(m_pty.Write("A", kPatience));
    ASSERT_TRUE(owner.WaitFor([&] { return owner.Received().size() == 1; }, kPatience));

    const auto start = Clock::now();
    ASSERT_TRUE(port.OpenPort(&owner, 2, 9600, 'N', 8, 1, kPanelMask, 512));
    EXPECT_LE(Since(start), kStopBound);
    EXPECT_EQ(FdsOpenOn(m_pty.SlavePath()), 1u);
    ASSERT_TRUE(port.StartWorker());

    ASSERT_TRUE(other.Write("B", kPatience));
    ASSERT_TRUE(owner.WaitFor([&] { return owner.Received().size() == 2; }, kPatience));
    EXPECT_EQ(owner.Messages().back().port, 2);
    ASSERT_TRUE(m_pty.Write("C", kPatience));
    EXPECT_FALSE(owner.WaitFor([&] { return owner.Received().size() > 2; }, 200ms));
    EXPECT_EQ(Text(owner.Received()), "AB");
}

// Unplugging: master closed while the worker waits (read side) or while it is blocked writing.
TEST_F(SerialPortPtyTest, LostDeviceIsReportedOnceAndEndsTheWorker) {
    struct Case {
        const char* name;
        bool writing;
        const char* text;
    };
    const Case cases[] = {
        {"waiting", false,
         "WARNING:  ReadFile() Failed with the following error: \nInput/output error\nPort: 1\n"},
        {"writing", true,
         "WARNING:  WriteFile() Failed with the following error: \nInput/output error\nPort: 1\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CPortDirFixture dir;
        CPtyFixture pty;
        ASSERT_TRUE(pty.IsValid());
        ASSERT_FALSE(pty.LinkAs(dir.Path(), 1).empty());
        CRecordingOwner owner;
        CSerialPort port;
        const std::size_t threadsBefore = ThreadCount();
        ASSERT_TRUE(Open(port, owner));
        ASSERT_TRUE(port.StartWorker());
        EXPECT_EQ(ThreadCount(), threadsBefore + 1);
        ASSERT_TRUE(pty.Write("AB", kPatience));
        ASSERT_TRUE(owner.WaitFor([&] { return owner.Received().size() == 2; }, kPatience));
        if (c.writing) {
            port.WriteBytes(std::vector<std::uint8_t>(256 * 1024, 'w'));
            ASSERT_EQ(pty.Read(100, kPatience).size(), 100u);
        }

        pty.CloseMaster();
        const auto start = Clock::now();
        ASSERT_TRUE(WaitUntil([&] { return ThreadCount() == threadsBefore; }, kPatience));
        EXPECT_LE(Since(start), kStopBound);
        EXPECT_FALSE(port.IsOpen());
        EXPECT_EQ(FdsOpenOn(pty.SlavePath()), 1u);

        // No spin afterwards, and no second report.
        const auto cpuBefore = ProcessCpuTime();
        std::this_thread::sleep_for(300ms);
        EXPECT_LT(ProcessCpuTime() - cpuBefore, 50ms);
        ASSERT_EQ(owner.Errors().size(), 1u);
        EXPECT_EQ(owner.Errors()[0], c.text);
        EXPECT_EQ(owner.Count(WM_PORT_LOST), 1u);
        const auto all = owner.Messages();
        ASSERT_FALSE(all.empty());
        EXPECT_EQ(all.back().code, WM_PORT_LOST);
        EXPECT_EQ(all.back().port, 1);
    }
}

// With the box off (the window waiting for the device to come back), the loss is told by the notice alone.
TEST_F(SerialPortPtyTest, LostDeviceWithoutTheBoxIsToldByTheNoticeAlone) {
    CRecordingOwner owner;
    CSerialPort port;
    port.SetLossErrorBox(false);
    ASSERT_TRUE(Open(port, owner));
    ASSERT_TRUE(port.StartWorker());
    m_pty.CloseMaster();
    ASSERT_TRUE(owner.WaitFor([&] { return owner.Count(WM_PORT_LOST) == 1; }, kPatience));
    ASSERT_TRUE(WaitUntil([&] { return !port.IsOpen(); }, kPatience));
    EXPECT_TRUE(owner.Errors().empty());
    // A pseudo-terminal has no modem lines: nothing was told of them.
    EXPECT_FALSE(port.ModemLines().available);
    EXPECT_EQ(owner.Count(WM_PORT_MODEM), 0u);
}

TEST_F(SerialPortPtyTest, IdleWorkerUsesNoCpu) {
    CRecordingOwner owner;
    CSerialPort port;
    ASSERT_TRUE(Open(port, owner));
    ASSERT_TRUE(port.StartWorker());
    const auto cpuBefore = ProcessCpuTime();
    std::this_thread::sleep_for(300ms);
    EXPECT_LT(ProcessCpuTime() - cpuBefore, 50ms);
}

// Every way of stopping takes effect within the bound while bytes pour in.
TEST_F(SerialPortPtyTest, StopsWithinTheBoundUnderAFlood) {
    CPtyFixture other;
    ASSERT_TRUE(other.IsValid());
    ASSERT_FALSE(other.LinkAs(m_dir.Path(), 2).empty());
    enum class How { kClosePort, kOpenAnother, kDestroy, kDestroyOnOwnerThread };
    for (How how : {How::kClosePort, How::kOpenAnother, How::kDestroy, How::kDestroyOnOwnerThread}) {
        SCOPED_TRACE(static_cast<int>(how));
        CRecordingOwner owner;
        owner.SetKeepMessages(false);
        auto port = std::make_unique<CSerialPort>();
        ASSERT_TRUE(Open(*port, owner));
        ASSERT_TRUE(port->StartWorker());
        CFloodWriter flood(m_pty.MasterFd());
        ASSERT_TRUE(owner.WaitFor([&] { return owner.ReceivedCount() > 64 * 1024; }, kPatience));

        CWatchdog watchdog(2000ms, "stop under a flood");
        const auto start = Clock::now();
        std::chrono::milliseconds took{};
        switch (how) {
            case How::kClosePort:
                port->ClosePort();
                ASSERT_TRUE(WaitUntil([&] { return !port->IsOpen(); }, kPatience));
                took = Since(start);
                break;
            case How::kOpenAnother:
                ASSERT_TRUE(port->OpenPort(&owner, 2, 9600, 'N', 8, 1, kPanelMask, 512));
                took = Since(start);
                break;
            case How::kDestroy:
                port.reset();
                took = Since(start);
                break;
            case How::kDestroyOnOwnerThread:
                owner.RunOnOwnerThread([&] {
                    const auto inside = Clock::now();
                    port.reset();
                    took = Since(inside);
                });
                break;
        }
        EXPECT_LE(took, kStopBound);
        flood.Stop();
        EXPECT_EQ(FdsOpenOn(m_pty.SlavePath()), 1u);
    }
}

// The owner's thread never handles anything, as when it is blocked; the destructor must still return.
TEST_F(SerialPortPtyTest, DestructorReturnsWhileTheOwnerDoesNotPump) {
    enum class Pending { kDelivery, kLossReport, kFlood };
    for (Pending pending : {Pending::kDelivery, Pending::kLossReport, Pending::kFlood}) {
        SCOPED_TRACE(static_cast<int>(pending));
        CPtyFixture pty;
        ASSERT_TRUE(pty.IsValid());
        ASSERT_FALSE(pty.LinkAs(m_dir.Path(), 3).empty());
        CRecordingOwner owner(false);
        auto port = std::make_unique<CSerialPort>();
        ASSERT_TRUE(port->OpenPort(&owner, 3, 9600, 'N', 8, 1, kPanelMask, 512));
        ASSERT_TRUE(port->StartWorker());
        std::unique_ptr<CFloodWriter> flood;
        if (pending == Pending::kFlood) {
            flood = std::make_unique<CFloodWriter>(pty.MasterFd());
        } else {
            ASSERT_TRUE(pty.Write("AB", kPatience));
        }
        ASSERT_TRUE(owner.WaitFor([&] { return owner.Posted() == 1; }, kPatience));
        if (pending == Pending::kLossReport) {
            // The delivery is stuck; nothing is lost yet. Unplugging does not help the worker either.
            flood.reset();
            pty.CloseMaster();
        }

        CWatchdog watchdog(2000ms, "destructor with a stuck owner");
        const auto start = Clock::now();
        port.reset();
        EXPECT_LE(Since(start), kStopBound);
        EXPECT_EQ(owner.Posted(), 1u);
        flood.reset();
    }
}

// A stuck owner after a loss: the worker waits on its error report; the destructor still returns, and the
// report, when the owner's thread gets to it after all, does nothing.
TEST_F(SerialPortPtyTest, LateWorkOfAStoppedWorkerDoesNothing) {
    auto owner = std::make_unique<CRecordingOwner>(false);
    auto port = std::make_unique<CSerialPort>();
    ASSERT_TRUE(Open(*port, *owner));
    ASSERT_TRUE(port->StartWorker());
    m_pty.CloseMaster();
    ASSERT_TRUE(owner->WaitFor([&] { return owner->Posted() == 1; }, kPatience));
    {
        CWatchdog watchdog(2000ms, "destructor during a loss report");
        const auto start = Clock::now();
        port.reset();
        EXPECT_LE(Since(start), kStopBound);
    }
    owner->StartPump();
    owner->RunOnOwnerThread([] {});
    EXPECT_TRUE(owner->Errors().empty());
    EXPECT_EQ(owner->Count(WM_PORT_LOST), 0u);
}

}  // namespace
