// The whole window against a pty linked as COM1, under load: a flood as fast as the window takes it and a
// slow window, both checked line by line through the receive tap; the device pulled mid-flood; the window
// destroyed mid-flood and while auto send runs; many open/close cycles from the panel. Nothing may be lost,
// reordered, left running or left open, and nothing may hang.
#include <gtest/gtest.h>

#include <poll.h>
#include <unistd.h>

#include <QCheckBox>
#include <QEventLoop>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/quendal_dlg.h"
#include "app/receive_monitor.h"
#include "app/send_panel.h"
#include "app/status_bar.h"
#include "tests/serial/process_probe.h"
#include "tests/support/gui_support.h"
#include "tests/support/pty_fixture.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kPatienceMs = 10000;
constexpr auto kCloseBound = 200ms;
const QString kOpenedStatus = "STATUS：COM1 OPENED，9600,N,8,1";
const QString kClosedStatus = "STATUS：COM Port Closed";

// Line seq: eight digits, a space, 38 letters that depend on seq (so a line from elsewhere in the stream
// never passes for it), CR LF. 49 bytes.
std::string MakeLine(std::uint32_t seq) {
    char line[64];
    int n = std::snprintf(line, sizeof line, "%08" PRIu32 " ", seq);
    for (std::uint32_t i = 0; i < 38; ++i) {
        line[n++] = static_cast<char>('A' + (seq * 7 + i * 3) % 26);
    }
    line[n++] = '\r';
    line[n++] = '\n';
    return std::string(line, static_cast<std::size_t>(n));
}

// Reassembles the received bytes into lines and checks each against the next expected one.
class CLineChecker {
  public:
    void Feed(std::uint8_t byte) {
        m_line.push_back(static_cast<char>(byte));
        if (byte != '\n') {
            if (m_line.size() > 128) {
                Fail("runaway line");
                m_line.clear();
            }
            return;
        }
        if (m_line == MakeLine(m_next)) {
            ++m_next;
        } else {
            Fail("bad line");
            // Resynchronise on the line's own number, so one fault is counted once.
            unsigned seq = 0;
            if (std::sscanf(m_line.c_str(), "%8u", &seq) == 1) {
                m_next = seq + 1;
            }
        }
        m_line.clear();
    }
    std::uint32_t Lines() const { return m_next; }
    std::size_t Errors() const { return m_errors; }
    const std::string& FirstError() const { return m_firstError; }
    // The start of the line not yet ended.
    const std::string& Pending() const { return m_line; }

  private:
    void Fail(const char* what) {
        if (m_errors++ == 0) {
            m_firstError =
                std::string(what) + " where line " + std::to_string(m_next) + " was due: [" + m_line + "]";
        }
    }

    std::string m_line;
    std::uint32_t m_next = 0;
    std::size_t m_errors = 0;
    std::string m_firstError;
};

// Writes numbered lines into the pty master from a thread of its own, as fast as the port takes them, until
// stopped or a byte budget is spent; optionally drains what the port sends back. A full pty makes it wait,
// which is the back-pressure a slow window must rely on.
class CLineFlood {
  public:
    struct Options {
        std::size_t budget = std::numeric_limits<std::size_t>::max();
        bool drain = false;
        // Instead of flooding, one line at a time with this pause after each.
        std::chrono::microseconds pace{0};
    };

    CLineFlood(int masterFd, Options options) : m_fd(masterFd), m_options(options) {
        m_thread = std::thread([this] { Run(); });
    }
    ~CLineFlood() { Stop(); }
    CLineFlood(const CLineFlood&) = delete;
    CLineFlood& operator=(const CLineFlood&) = delete;

    void Stop() {
        m_stop = true;
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }
    std::size_t Written() const { return m_written; }
    std::uint32_t LinesWritten() const { return m_lines; }
    std::size_t TimesFull() const { return m_full; }
    std::size_t Drained() const { return m_drained; }
    bool Finished() const { return m_finished; }

  private:
    void Run() {
        std::string block;
        std::vector<std::size_t> ends;  // end of each line in block
        std::size_t at = 0;
        std::size_t endsDone = 0;
        std::uint32_t seq = 0;
        char sink[4096];
        while (!m_stop && m_written < m_options.budget) {
            if (at == block.size()) {
                block.clear();
                ends.clear();
                at = 0;
                endsDone = 0;
                while (block.size() < (m_options.pace.count() > 0 ? 1u : 4000u)) {
                    block += MakeLine(seq++);
                    ends.push_back(block.size());
                }
            }
            const std::size_t want = std::min(block.size() - at, m_options.budget - m_written);
            const ssize_t n = write(m_fd, block.data() + at, want);
            if (n > 0) {
                at += static_cast<std::size_t>(n);
                m_written += static_cast<std::size_t>(n);
                while (endsDone < ends.size() && ends[endsDone] <= at) {
                    ++endsDone;
                    ++m_lines;
                }
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                break;
            } else {
                ++m_full;
            }
            if (m_options.drain) {
                while (true) {
                    const ssize_t r = read(m_fd, sink, sizeof sink);
                    if (r <= 0) {
                        break;
                    }
                    m_drained += static_cast<std::size_t>(r);
                }
            }
            if (n > 0 && at == block.size() && m_options.pace.count() > 0) {
                std::this_thread::sleep_for(m_options.pace);
            }
            if (n <= 0) {
                pollfd p{m_fd, static_cast<short>(POLLOUT | (m_options.drain ? POLLIN : 0)), 0};
                poll(&p, 1, 10);
            }
        }
        m_finished = true;
    }

    int m_fd;
    Options m_options;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_finished{false};
    std::atomic<std::size_t> m_written{0};
    std::atomic<std::uint32_t> m_lines{0};
    std::atomic<std::size_t> m_full{0};
    std::atomic<std::size_t> m_drained{0};
    std::thread m_thread;
};

// Runs the event loop as the application does, without polling, for ms.
void RunEventLoopFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

std::string BoxesText() {
    std::string text;
    for (const BoxRequest& box : BoxRecorder::Boxes()) {
        text += "[" + box.title.toStdString() + ": " + box.text.toStdString() + "] ";
    }
    return text;
}

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

class WindowStress : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(m_dir.Path().empty());
        ASSERT_TRUE(m_pty.IsValid()) << m_pty.Error();
        ASSERT_FALSE(m_pty.LinkAs(m_dir.Path(), 1).empty()) << m_pty.Error();
        ASSERT_NO_FATAL_FAILURE(WarmUpOnce());
        BoxRecorder::Clear();
        m_threadsBefore = ThreadCount();
        m_fdsBefore = FdCount();
    }

    // Qt starts threads and opens files of its own the first time a window is shown and fed; they are
    // not the window's to release, so they belong to the baseline.
    void WarmUpOnce() {
        static bool done = false;
        if (done) {
            return;
        }
        done = true;
        auto dlg = NewWindow();
        ASSERT_NO_FATAL_FAILURE(OpenFromPanel(*dlg));
        ASSERT_TRUE(m_pty.Write(MakeLine(0), 1000ms));
        ASSERT_TRUE(WaitUntil([&] { return dlg->ReceiveMonitor().RxCount() > 0; }));
        dlg.reset();
        PumpFor(50);
    }

    // Shown, widened so the terminal is on screen, display on, auto clear on.
    static std::unique_ptr<CQuendalDlg> NewWindow() {
        auto dlg = std::make_unique<CQuendalDlg>();
        dlg->ControlAs<QPushButton>(IDC_DEBUG_TOGGLE)->click();
        EXPECT_EQ(dlg->width(), 900);
        EXPECT_TRUE(dlg->isVisible());
        dlg->ControlAs<QCheckBox>(IDC_AUTO_CLEAR)->setChecked(true);
        return dlg;
    }

    static void OpenFromPanel(CQuendalDlg& dlg) {
        dlg.ControlAs<QPushButton>(IDC_OPEN_PORT)->click();
        ASSERT_EQ(dlg.StatusBar()->PaneText(2), kOpenedStatus);
        ASSERT_EQ(dlg.ControlAs<QPushButton>(IDC_OPEN_PORT)->text(), "关闭串口");
        ASSERT_TRUE(dlg.IsPortOpen());
    }

    static void StartAutoSend(CQuendalDlg& dlg, const QString& text) {
        dlg.ControlAs<QPlainTextEdit>(IDC_SEND_EDIT)->setPlainText(text);
        dlg.ControlAs<QLineEdit>(IDC_AUTO_SEND_PERIOD)->setText("10");
        dlg.ControlAs<QCheckBox>(IDC_AUTO_SEND)->click();
        ASSERT_TRUE(dlg.ControlAs<QCheckBox>(IDC_AUTO_SEND)->isChecked());
        ASSERT_TRUE(dlg.IsTimerRunning(TIMER_AUTO_SEND));
    }

    // closedByTest: descriptors of the baseline that the test itself closed (a pulled device).
    void ExpectNothingLeftBehind(std::size_t closedByTest = 0) {
        EXPECT_TRUE(WaitUntil([&] { return ThreadCount() == m_threadsBefore; }, kPatienceMs))
            << ThreadCount() << " threads, " << m_threadsBefore << " before";
        EXPECT_EQ(FdCount() + closedByTest, m_fdsBefore);
        EXPECT_EQ(FdsOpenOn(m_pty.SlavePath()), 1u) << "only the fixture's own slave";
    }

    struct FloodResult {
        std::size_t written = 0;
        std::size_t timesFull = 0;
    };

    // Floods numbered lines at the window (for floodMs, or until the budget is spent when floodMs is 0)
    // and checks every one through the tap; pause runs after every tapped byte with the count so far.
    FloodResult CheckEveryLineArrives(CLineFlood::Options options, int floodMs,
                                      const std::function<void(std::size_t)>& pause) {
        FloodResult result;
        auto dlg = NewWindow();
        OpenFromPanel(*dlg);
        if (::testing::Test::HasFatalFailure()) {
            return result;
        }
        CLineChecker checker;
        std::size_t tapped = 0;
        dlg->ReceiveMonitor().SetRxTap([&](std::uint8_t byte) {
            checker.Feed(byte);
            pause(++tapped);
        });

        const auto start = Clock::now();
        CLineFlood flood(m_pty.MasterFd(), options);
        if (floodMs > 0) {
            RunEventLoopFor(floodMs);
            flood.Stop();
        } else {
            EXPECT_TRUE(WaitUntil([&] { return flood.Finished(); }, 60000));
        }
        result.written = flood.Written();
        result.timesFull = flood.TimesFull();
        EXPECT_TRUE(WaitUntil(
            [&] { return dlg->ReceiveMonitor().RxCount() == static_cast<std::int64_t>(result.written); },
            kPatienceMs))
            << dlg->ReceiveMonitor().RxCount() << " of " << result.written << " bytes";
        const double took = Seconds(Clock::now() - start);

        EXPECT_EQ(checker.Errors(), 0u) << checker.FirstError();
        EXPECT_EQ(checker.Lines(), flood.LinesWritten());
        EXPECT_EQ(checker.Pending().size(), result.written - flood.LinesWritten() * MakeLine(0).size());
        EXPECT_TRUE(BoxRecorder::Boxes().empty()) << BoxesText();
        // The display ran all along and was cleared on its way: it holds about the last 50 lines, ending
        // with the stream's last (maybe unfinished) line. A line that wraps may have been cleared part way,
        // so the area's last line is the end of the stream's last line, not always all of it.
        auto* area = dlg->ControlAs<QPlainTextEdit>(IDC_RECEIVE_EDIT);
        dlg->ReceiveMonitor().ShowPending();
        EXPECT_LT(area->document()->lineCount(), 60);
        if (checker.Lines() > 0) {
            const std::string& pending = checker.Pending();
            std::string last = pending.empty() ? MakeLine(checker.Lines() - 1) : pending;
            const bool endsWithBreak = !last.empty() && (last.back() == '\n' || last.back() == '\r');
            while (!last.empty() && (last.back() == '\n' || last.back() == '\r')) {
                last.pop_back();
            }
            QString shown = area->toPlainText();
            if (endsWithBreak && shown.endsWith('\n')) {
                shown.chop(1);
            }
            const QString shownLast = shown.mid(shown.lastIndexOf('\n') + 1);
            EXPECT_FALSE(shownLast.isEmpty());
            EXPECT_TRUE(QString::fromStdString(last).endsWith(shownLast))
                << shownLast.toStdString() << " is not the end of " << last;
        }
        std::printf(
            "[ stress   ] %zu bytes, %u lines in %.2f s (%.0f KB/s), the writer held back %zu times\n",
            result.written, checker.Lines(), took, static_cast<double>(result.written) / took / 1e3,
            result.timesFull);
        RecordProperty("bytes", static_cast<int>(result.written));
        RecordProperty("bytes_per_s", static_cast<int>(static_cast<double>(result.written) / took));
        return result;
    }

    CPortDirFixture m_dir;
    CPtyFixture m_pty;
    std::size_t m_threadsBefore = 0;
    std::size_t m_fdsBefore = 0;
};

TEST_F(WindowStress, FloodAsFastAsTheWindowTakesItArrivesWholeAndInOrder) {
    const FloodResult result = CheckEveryLineArrives({}, 10000, [](std::size_t) {});
    // Well past what the pty holds, so the line was full and the window set the pace.
    EXPECT_GT(result.written, 256u * 1024);
    EXPECT_GT(result.timesFull, 0u);
    ExpectNothingLeftBehind();
}

// The window stalls now and then (as under a modal box or a slow repaint); the pty fills, the writer is held
// back, and the engine must neither drop nor reorder.
TEST_F(WindowStress, SlowWindowLosesNothing) {
    CLineFlood::Options options;
    options.budget = 256 * 1024;
    const FloodResult result = CheckEveryLineArrives(options, 0, [](std::size_t tapped) {
        if (tapped % (4 * 1024) == 0) {
            std::this_thread::sleep_for(20ms);
        }
        if (tapped == 64 * 1024) {
            std::this_thread::sleep_for(1000ms);
        }
    });
    EXPECT_EQ(result.written, options.budget);
    EXPECT_GT(result.timesFull, 0u);
    ExpectNothingLeftBehind();
}

// The device side goes away mid-flood, once while only receiving and once while auto send also writes.
TEST_F(WindowStress, UnplugDuringAFloodShowsOneBoxAndClosesThePanel) {
    for (const bool sending : {false, true}) {
        SCOPED_TRACE(sending ? "sending" : "receiving");
        CPtyFixture device;
        ASSERT_TRUE(device.IsValid()) << device.Error();
        ASSERT_FALSE(device.LinkAs(m_dir.Path(), 1).empty()) << device.Error();
        BoxRecorder::Clear();

        auto dlg = NewWindow();
        ASSERT_NO_FATAL_FAILURE(OpenFromPanel(*dlg));
        CLineChecker checker;
        dlg->ReceiveMonitor().SetRxTap([&](std::uint8_t byte) { checker.Feed(byte); });
        CLineFlood::Options options;
        options.drain = sending;
        CLineFlood flood(device.MasterFd(), options);
        if (sending) {
            ASSERT_NO_FATAL_FAILURE(StartAutoSend(*dlg, "AT+PING\n"));
            ASSERT_TRUE(WaitUntil([&] { return flood.Drained() >= 10 * 9; }, kPatienceMs));
        }
        ASSERT_TRUE(WaitUntil([&] { return dlg->ReceiveMonitor().RxCount() > 64 * 1024; }, kPatienceMs));

        flood.Stop();
        device.CloseMaster();
        auto* button = dlg->ControlAs<QPushButton>(IDC_OPEN_PORT);
        ASSERT_TRUE(WaitUntil([&] { return !BoxRecorder::Boxes().empty() && button->text() == "打开串口"; },
                              kPatienceMs));
        // The worker has ended and the port is closed; the window holds no descriptor on the device.
        EXPECT_TRUE(WaitUntil([&] { return ThreadCount() == m_threadsBefore; }, kPatienceMs));
        EXPECT_FALSE(dlg->IsPortOpen());
        EXPECT_EQ(FdsOpenOn(device.SlavePath()), 1u) << "only the fixture's own slave";

        // No spin afterwards: a second of idle event loop costs the process next to nothing, and brings no
        // second box.
        const auto cpuBefore = ProcessCpuTime();
        RunEventLoopFor(1000);
        const auto cpu = std::chrono::duration_cast<std::chrono::milliseconds>(ProcessCpuTime() - cpuBefore);
        EXPECT_LT(cpu, 100ms);

        ASSERT_EQ(BoxRecorder::Boxes().size(), 1u) << BoxesText();
        const BoxRequest& box = BoxRecorder::Boxes()[0];
        std::printf("[ stress   ] unplugged while %s: %s\n", sending ? "sending" : "receiving",
                    box.text.simplified().toStdString().c_str());
        EXPECT_EQ(box.title, "Application Error");
        EXPECT_EQ(box.icon, BoxIcon::Error);
        EXPECT_TRUE(box.text.contains("ReadFile()") || box.text.contains("WriteFile()"))
            << box.text.toStdString();
        EXPECT_TRUE(box.text.startsWith("WARNING:  ")) << box.text.toStdString();
        EXPECT_TRUE(box.text.endsWith("\nPort: 1\n")) << box.text.toStdString();
        EXPECT_FALSE(box.text.contains("Success")) << box.text.toStdString();

        EXPECT_EQ(dlg->StatusBar()->PaneText(1), "串口已关闭");
        EXPECT_EQ(dlg->StatusBar()->PaneText(2), kClosedStatus);
        EXPECT_TRUE(dlg->Control(IDC_PORT_COMBO)->isEnabled());
        EXPECT_FALSE(dlg->ControlAs<QCheckBox>(IDC_AUTO_SEND)->isChecked());
        EXPECT_FALSE(dlg->IsTimerRunning(TIMER_AUTO_SEND));
        if (!sending) {
            // Up to the loss the stream was intact (with auto send, each write purges the input on purpose).
            EXPECT_EQ(checker.Errors(), 0u) << checker.FirstError();
            EXPECT_GT(checker.Lines(), 0u);
        }

        // Still responsive: posted work runs at once, the panel answers (the device is gone, so it refuses).
        bool ran = false;
        QTimer::singleShot(0, dlg.get(), [&] { ran = true; });
        EXPECT_TRUE(WaitUntil([&] { return ran; }, 500));
        dlg->ControlAs<QPushButton>(IDC_DEBUG_TOGGLE)->click();
        EXPECT_EQ(dlg->width(), 550);
        button->click();
        ASSERT_EQ(BoxRecorder::Boxes().size(), 2u);
        EXPECT_EQ(BoxRecorder::Boxes()[1].text, "没有发现此串口或被占用");
        EXPECT_EQ(button->text(), "打开串口");
        dlg.reset();
    }
    ExpectNothingLeftBehind();
}

// Destroying the window while bytes pour in returns within the bound and leaves no thread or descriptor:
// straight away, after the window was closed first (its close button), and with the device pulled just
// before, so that the worker is reporting the loss to a window on its way out.
TEST_F(WindowStress, ClosingDuringAFloodReturnsPromptlyAndLeavesNothing) {
    enum class How { kDestroy, kCloseThenDestroy, kUnplugThenDestroy };
    struct Case {
        const char* name;
        How how;
    };
    // The unplug comes last: it ends the pty.
    const Case cases[] = {{"destroyed", How::kDestroy},
                          {"closed, then destroyed", How::kCloseThenDestroy},
                          {"device pulled, then destroyed", How::kUnplugThenDestroy}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto dlg = NewWindow();
        ASSERT_NO_FATAL_FAILURE(OpenFromPanel(*dlg));
        CLineFlood flood(m_pty.MasterFd(), {});
        ASSERT_TRUE(WaitUntil([&] { return dlg->ReceiveMonitor().RxCount() > 64 * 1024; }, kPatienceMs));
        ASSERT_EQ(ThreadCount(), m_threadsBefore + 2) << "the worker and the writer";
        if (c.how == How::kUnplugThenDestroy) {
            flood.Stop();
            m_pty.CloseMaster();
        }

        const auto start = Clock::now();
        {
            CWatchdog watchdog(kCloseBound, std::string("window ") + c.name + " during a flood");
            if (c.how == How::kCloseThenDestroy) {
                dlg->reject();
            }
            dlg.reset();
        }
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
        EXPECT_LE(took, kCloseBound);
        std::printf("[ stress   ] window %s in %lld ms\n", c.name, static_cast<long long>(took.count()));
        // Work the worker had posted must find nothing to touch.
        PumpFor(50);
        flood.Stop();
        EXPECT_TRUE(BoxRecorder::Boxes().empty()) << BoxesText();
        ExpectNothingLeftBehind(c.how == How::kUnplugThenDestroy ? 1 : 0);
    }
}

TEST_F(WindowStress, OpenCloseCyclesFromThePanelLeakNothing) {
    constexpr int kCycles = 200;
    auto dlg = NewWindow();
    auto* button = dlg->ControlAs<QPushButton>(IDC_OPEN_PORT);
    CLineFlood::Options options;
    options.pace = 500us;
    CLineFlood flood(m_pty.MasterFd(), options);
    std::size_t fdsAfterFirst = 0;
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        SCOPED_TRACE(cycle);
        button->click();
        ASSERT_EQ(dlg->StatusBar()->PaneText(2), kOpenedStatus);
        ASSERT_TRUE(dlg->IsPortOpen());
        // Bytes are being delivered when the port is closed.
        const std::int64_t before = dlg->ReceiveMonitor().RxCount();
        ASSERT_TRUE(WaitUntil([&] { return dlg->ReceiveMonitor().RxCount() > before; }, kPatienceMs));
        button->click();
        ASSERT_EQ(dlg->StatusBar()->PaneText(2), kClosedStatus);
        ASSERT_EQ(button->text(), "打开串口");
        ASSERT_TRUE(WaitUntil([&] { return !dlg->IsPortOpen(); }, kPatienceMs));
        ASSERT_TRUE(WaitUntil([&] { return ThreadCount() == m_threadsBefore + 1; }, kPatienceMs))
            << "only the writer left";
        if (cycle == 0) {
            fdsAfterFirst = FdCount();
        }
        ASSERT_EQ(FdCount(), fdsAfterFirst);
    }
    flood.Stop();
    EXPECT_TRUE(BoxRecorder::Boxes().empty()) << BoxesText();
    dlg.reset();
    ExpectNothingLeftBehind();
}

// Auto send every 10 ms while bytes arrive, then the window goes: no hang, no box, no send after the close.
TEST_F(WindowStress, ClosingWhileAutoSendRunsEndsCleanly) {
    for (const bool closeFirst : {true, false}) {
        SCOPED_TRACE(closeFirst ? "closed, then destroyed" : "destroyed");
        auto dlg = NewWindow();
        ASSERT_NO_FATAL_FAILURE(OpenFromPanel(*dlg));
        CLineFlood::Options options;
        options.drain = true;
        CLineFlood flood(m_pty.MasterFd(), options);
        ASSERT_NO_FATAL_FAILURE(StartAutoSend(*dlg, "AT+PING\n"));
        // Both ways busy: commands reach the device while its lines reach the window.
        ASSERT_TRUE(
            WaitUntil([&] { return flood.Drained() >= 20 * 9 && dlg->ReceiveMonitor().RxCount() > 4096; },
                      kPatienceMs));

        const auto start = Clock::now();
        {
            CWatchdog watchdog(2000ms, "closing the window while auto send runs");
            if (closeFirst) {
                dlg->reject();
                EXPECT_FALSE(dlg->IsTimerRunning(TIMER_AUTO_SEND));
                const std::int64_t sent = dlg->SendPanel().TxCount();
                EXPECT_TRUE(WaitUntil([&] { return !dlg->IsPortOpen(); }, 1000));
                PumpFor(50);
                EXPECT_EQ(dlg->SendPanel().TxCount(), sent) << "sent after the close";
            }
            dlg.reset();
        }
        EXPECT_LE(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start), 1000ms);
        PumpFor(50);
        flood.Stop();
        EXPECT_TRUE(BoxRecorder::Boxes().empty()) << BoxesText();
        ExpectNothingLeftBehind();
    }
}

}  // namespace
