// The send half of the terminal in the real window, against a pseudo-terminal linked as COM1: what the far
// end reads for typed text and hex pairs, the TX count, auto send on its timer, and the refusals.
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/capture_control.h"
#include "app/quendal_dlg.h"
#include "app/send_panel.h"
#include "app/status_bar.h"
#include "tests/support/gui_support.h"
#include "tests/support/pty_fixture.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

const QString kPortClosed = "串口没有打开，请打开串口";

// The device side, read all the time on a thread of its own: the engine purges the port's queues before
// every write, so bytes the far end has not taken yet could be lost to the next send.
class FarEnd {
  public:
    explicit FarEnd(int fd) : m_fd(fd), m_thread([this] { Loop(); }) {}
    ~FarEnd() { Stop(); }

    void Stop() {
        m_stop = true;
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }
    Bytes Received() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_bytes;
    }
    std::size_t Count(std::uint8_t byte) const {
        const Bytes bytes = Received();
        return static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), byte));
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bytes.clear();
    }

  private:
    void Loop() {
        while (!m_stop) {
            pollfd item{m_fd, POLLIN, 0};
            if (poll(&item, 1, 10) <= 0 || !(item.revents & POLLIN)) {
                continue;
            }
            std::uint8_t buffer[4096];
            const ssize_t n = read(m_fd, buffer, sizeof buffer);
            if (n > 0) {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_bytes.insert(m_bytes.end(), buffer, buffer + n);
            }
        }
    }

    int m_fd;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    Bytes m_bytes;
    std::thread m_thread;
};

class SendPanel : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(m_dir.Path().empty());
        ASSERT_TRUE(m_pty.IsValid()) << m_pty.Error();
        ASSERT_FALSE(m_pty.LinkAs(m_dir.Path(), 1).empty()) << m_pty.Error();
        m_dlg = std::make_unique<CQuendalDlg>();
        Button(IDC_DEBUG_TOGGLE)->click();
        m_far = std::make_unique<FarEnd>(m_pty.MasterFd());
        BoxRecorder::Clear();
    }
    void TearDown() override {
        m_dlg.reset();
        m_far.reset();
    }

    void Open() {
        Button(IDC_OPEN_PORT)->click();
        ASSERT_TRUE(m_dlg->IsPortOpen());
        ASSERT_EQ(Button(IDC_OPEN_PORT)->text(), "关闭串口");
    }
    QPushButton* Button(int id) { return m_dlg->ControlAs<QPushButton>(id); }
    QCheckBox* Check(int id) { return m_dlg->ControlAs<QCheckBox>(id); }
    QPlainTextEdit* SendEdit() { return m_dlg->ControlAs<QPlainTextEdit>(IDC_SEND_EDIT); }
    QLineEdit* Period() { return m_dlg->ControlAs<QLineEdit>(IDC_AUTO_SEND_PERIOD); }
    QString Tx() { return m_dlg->ControlAs<QLabel>(IDC_TX_COUNT)->text(); }
    std::int64_t TxCount() { return m_dlg->SendPanel().TxCount(); }
    int AutoSendPeriod() { return m_dlg->TimerInterval(TIMER_AUTO_SEND); }

    // Waits for exactly `expected` at the far end; a little longer for anything more.
    void ExpectFarEndReads(const Bytes& expected) {
        EXPECT_TRUE(WaitUntil([&] { return m_far->Received().size() >= expected.size(); }, 3000));
        PumpFor(expected.empty() ? 200 : 50);
        EXPECT_EQ(m_far->Received(), expected);
    }
    static std::string AllBoxes() {
        std::string all;
        for (const BoxRequest& box : BoxRecorder::Boxes()) {
            all += "[" + box.title.toStdString() + ": " + box.text.toStdString() + "] ";
        }
        return all;
    }
    std::vector<QString> BoxTexts() {
        std::vector<QString> texts;
        for (const BoxRequest& box : BoxRecorder::Boxes()) {
            texts.push_back(box.text);
        }
        return texts;
    }

    CPortDirFixture m_dir;
    CPtyFixture m_pty;
    std::unique_ptr<CQuendalDlg> m_dlg;
    std::unique_ptr<FarEnd> m_far;
};

TEST_F(SendPanel, TypedTextWithEnterGoesOutWithCrLf) {
    ASSERT_NO_FATAL_FAILURE(Open());
    SendEdit()->setFocus();
    QTest::keyClicks(SendEdit(), "A");
    QTest::keyClick(SendEdit(), Qt::Key_Return);
    QTest::keyClicks(SendEdit(), "T");
    Button(IDC_MANUAL_SEND)->click();
    ExpectFarEndReads({0x41, 0x0D, 0x0A, 0x54});
    EXPECT_EQ(TxCount(), 4);
    EXPECT_EQ(Tx(), "TX:4");
}

TEST_F(SendPanel, ATextLogWithSentBytesMarksWhatWentOutAndWhatCameBack) {
    ASSERT_NO_FATAL_FAILURE(Open());
    QTemporaryDir dir;
    CaptureRequest request;
    request.path = dir.filePath("both.log");
    request.options.format = CaptureOptions::Format::Text;
    request.options.includeSent = true;
    ASSERT_TRUE(m_dlg->Capture().Start(request));
    SendEdit()->setPlainText("AT");
    Button(IDC_MANUAL_SEND)->click();
    ExpectFarEndReads({'A', 'T'});
    ASSERT_TRUE(m_pty.Write("OK\r\n", std::chrono::milliseconds(3000)));
    EXPECT_TRUE(WaitUntil([&] { return m_dlg->ReceiveMonitor().RxCount() == 4; }));
    m_dlg->Capture().Stop();
    QFile file(request.path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString log = QString::fromLatin1(file.readAll());
    const QString time = R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}\] )";
    EXPECT_TRUE(QRegularExpression("^" + time + "TX AT\n" + time + "RX OK\r\n$").match(log).hasMatch())
        << log.toStdString();
}

TEST_F(SendPanel, TextSendsAreTheTextsGbkBytesWhole) {
    ASSERT_NO_FATAL_FAILURE(Open());
    Bytes twoThousand;
    QString twoThousandText;
    for (int i = 0; i < 2000; ++i) {
        const char c = static_cast<char>('!' + i % 90);
        twoThousand.push_back(static_cast<std::uint8_t>(c));
        twoThousandText.append(QChar(c));
    }
    struct Case {
        const char* name;
        QString text;
        Bytes expected;
    };
    const Case cases[] = {
        {"Chinese", "中文", {0xD6, 0xD0, 0xCE, 0xC4}},
        {"mixed, two lines", "a中\nb", {'a', 0xD6, 0xD0, 0x0D, 0x0A, 'b'}},
        {"2,000 bytes, more than the engine's first buffer", twoThousandText, twoThousand},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_far->Clear();
        const std::int64_t before = TxCount();
        SendEdit()->setPlainText(c.text);
        Button(IDC_MANUAL_SEND)->click();
        ExpectFarEndReads(c.expected);
        EXPECT_EQ(TxCount(), before + static_cast<std::int64_t>(c.expected.size()));
        EXPECT_EQ(Tx(), QString("TX:%1").arg(TxCount()));
    }
}

TEST_F(SendPanel, EmptySendAreaSendsNothingButShowsTheCount) {
    ASSERT_NO_FATAL_FAILURE(Open());
    EXPECT_EQ(Tx(), "TX:");
    // A count of 7 from earlier sends; the field is set back so that the empty send must rewrite it.
    m_dlg->SendPanel().CountSent(7);
    m_dlg->ControlAs<QLabel>(IDC_TX_COUNT)->setText("TX:");
    Button(IDC_MANUAL_SEND)->click();
    EXPECT_EQ(TxCount(), 7);
    EXPECT_EQ(Tx(), "TX:7");
    ExpectFarEndReads({});
}

// The TX count is what reached the port, whatever the text's length.
TEST_F(SendPanel, HexSendWritesThePairsAndCountsTheBytesSent) {
    ASSERT_NO_FATAL_FAILURE(Open());
    Check(IDC_HEX_SEND)->click();
    ASSERT_TRUE(Check(IDC_HEX_SEND)->isChecked());
    struct Case {
        QString text;
        Bytes expected;
    };
    const Case cases[] = {
        {"01 02 0A ff", {0x01, 0x02, 0x0A, 0xFF}},
        {"01020A", {0x01, 0x02, 0x0A}},
        {"  01   02 ", {0x01, 0x02}},
        {"123", {0x12}},
        {"01 02\n03", {0x01, 0x02}},  // the line break ends the conversion
        {"0x12", {}},
        {"zz 1", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        m_far->Clear();
        const std::int64_t before = TxCount();
        SendEdit()->setPlainText(c.text);
        Button(IDC_MANUAL_SEND)->click();
        ExpectFarEndReads(c.expected);
        EXPECT_EQ(TxCount() - before, static_cast<std::int64_t>(c.expected.size()));
        EXPECT_EQ(Tx(), QString("TX:%1").arg(TxCount()));
    }
}

TEST_F(SendPanel, AutoSendEvery500MsKeepsItsPeriodUntilSwitchedOffAndOn) {
    ASSERT_NO_FATAL_FAILURE(Open());
    SendEdit()->setPlainText("P");
    Period()->setText("500");
    Check(IDC_AUTO_SEND)->click();
    ASSERT_TRUE(m_dlg->IsTimerRunning(TIMER_AUTO_SEND));
    EXPECT_EQ(AutoSendPeriod(), 500);
    // The timer's own ticks send, one period apart: the third send cannot come before two periods.
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(WaitUntil([&] { return m_far->Count('P') >= 3; }, 10 * AutoSendPeriod()));
    EXPECT_GE(clock.elapsed(), 2 * AutoSendPeriod());

    // The port panel will not close under a running auto send.
    Button(IDC_OPEN_PORT)->click();
    EXPECT_EQ(BoxTexts(), std::vector<QString>{"请先关掉自动发送"});
    EXPECT_TRUE(m_dlg->IsPortOpen());
    EXPECT_EQ(Button(IDC_OPEN_PORT)->text(), "关闭串口");
    EXPECT_TRUE(m_dlg->IsTimerRunning(TIMER_AUTO_SEND));

    // A new period waits for the next switch-on.
    Period()->setText("200");
    EXPECT_EQ(AutoSendPeriod(), 500);
    Check(IDC_AUTO_SEND)->click();
    EXPECT_FALSE(m_dlg->IsTimerRunning(TIMER_AUTO_SEND));
    // Every tick's send was counted and reached the far end once.
    EXPECT_TRUE(WaitUntil([&] { return static_cast<std::int64_t>(m_far->Count('P')) == TxCount(); }, 3000));
    EXPECT_EQ(static_cast<std::int64_t>(m_far->Count('P')), TxCount());
    Check(IDC_AUTO_SEND)->click();
    EXPECT_TRUE(m_dlg->IsTimerRunning(TIMER_AUTO_SEND));
    EXPECT_EQ(m_dlg->TimerInterval(TIMER_AUTO_SEND), 200);

    // Switched off, the panel closes the port.
    Check(IDC_AUTO_SEND)->click();
    Button(IDC_OPEN_PORT)->click();
    EXPECT_FALSE(m_dlg->IsTimerRunning(TIMER_AUTO_SEND));
    EXPECT_EQ(Button(IDC_OPEN_PORT)->text(), "打开串口");
    EXPECT_EQ(BoxRecorder::Boxes().size(), 1u);
}

TEST_F(SendPanel, WithThePortClosedSendsAreRefused) {
    SendEdit()->setPlainText("never");
    Button(IDC_MANUAL_SEND)->click();
    Check(IDC_AUTO_SEND)->click();
    EXPECT_EQ(BoxTexts(), (std::vector<QString>{kPortClosed, kPortClosed}));
    EXPECT_FALSE(Check(IDC_AUTO_SEND)->isChecked());
    EXPECT_FALSE(m_dlg->IsTimerRunning(TIMER_AUTO_SEND));
    EXPECT_EQ(TxCount(), 0);
    EXPECT_EQ(Tx(), "TX:");

    // Once the port is open, the refused auto send did not leave a half-on state: one click starts it.
    ASSERT_NO_FATAL_FAILURE(Open());
    Check(IDC_AUTO_SEND)->click();
    EXPECT_TRUE(Check(IDC_AUTO_SEND)->isChecked());
    EXPECT_TRUE(m_dlg->IsTimerRunning(TIMER_AUTO_SEND));
    Check(IDC_AUTO_SEND)->click();
    ExpectFarEndReads({});
}

TEST_F(SendPanel, TextWithoutAGbkFormIsRefusedAndNothingIsSent) {
    ASSERT_NO_FATAL_FAILURE(Open());
    SendEdit()->setPlainText(QString::fromUtf8("ok \xF0\x9F\x98\x80"));
    Button(IDC_MANUAL_SEND)->click();
    ASSERT_EQ(BoxRecorder::Boxes().size(), 1u);
    EXPECT_NE(BoxRecorder::Boxes()[0].text, kPortClosed);
    EXPECT_EQ(TxCount(), 0);

    // Under auto send the refusal comes once, and auto send stops rather than refusing every tick.
    BoxRecorder::Clear();
    Period()->setText("50");
    Check(IDC_AUTO_SEND)->click();
    ASSERT_TRUE(WaitUntil([] { return !BoxRecorder::Boxes().empty(); }, 2000));
    PumpFor(6 * AutoSendPeriod());
    EXPECT_EQ(BoxRecorder::Boxes().size(), 1u);
    EXPECT_FALSE(Check(IDC_AUTO_SEND)->isChecked());
    EXPECT_FALSE(m_dlg->IsTimerRunning(TIMER_AUTO_SEND));
    EXPECT_EQ(TxCount(), 0);
    ExpectFarEndReads({});
}

TEST_F(SendPanel, PeriodOfZeroOrNoNumberRunsAtTheFloorWithoutFreezing) {
    ASSERT_NO_FATAL_FAILURE(Open());
    SendEdit()->setPlainText("z");
    for (const char* text : {"0", "abc", "", "-5"}) {
        SCOPED_TRACE(text);
        m_far->Clear();
        Period()->setText(text);
        Check(IDC_AUTO_SEND)->click();
        ASSERT_TRUE(m_dlg->IsTimerRunning(TIMER_AUTO_SEND));
        EXPECT_EQ(m_dlg->TimerInterval(TIMER_AUTO_SEND), 10);
        // The event loop stays free: a 50 ms timer fires about on time.
        QElapsedTimer clock;
        clock.start();
        bool fired = false;
        QTimer::singleShot(50, [&] { fired = true; });
        ASSERT_TRUE(WaitUntil([&] { return fired; }, 2000));
        EXPECT_LT(clock.elapsed(), 500);
        PumpFor(30 * AutoSendPeriod());
        Check(IDC_AUTO_SEND)->click();
        EXPECT_FALSE(m_dlg->IsTimerRunning(TIMER_AUTO_SEND));
        // About one send per 10 ms, not one per pass of the event loop.
        const std::int64_t sends = static_cast<std::int64_t>(m_far->Count('z'));
        EXPECT_GE(sends, 5);
        EXPECT_LE(sends, 45);
    }
    EXPECT_TRUE(BoxRecorder::Boxes().empty());

    // The period is the leading number as typed, whatever follows it.
    for (const QString& text :
         {QString::fromUtf8("500\xF0\x9F\x98\x80"), QString("500毫秒"), QString(" 500x")}) {
        SCOPED_TRACE(text.toStdString());
        Period()->setText(text);
        Check(IDC_AUTO_SEND)->click();
        EXPECT_EQ(m_dlg->TimerInterval(TIMER_AUTO_SEND), 500);
        Check(IDC_AUTO_SEND)->click();
    }
}

TEST_F(SendPanel, DeviceLostUnderAutoSendEndsAutoSendWithOneBox) {
    ASSERT_NO_FATAL_FAILURE(Open());
    SendEdit()->setPlainText("L");
    Period()->setText("100");
    Check(IDC_AUTO_SEND)->click();
    ASSERT_TRUE(WaitUntil([&] { return m_far->Count('L') >= 2; }, 3000));

    m_far->Stop();
    m_pty.CloseMaster();
    ASSERT_TRUE(WaitUntil([&] { return Button(IDC_OPEN_PORT)->text() == "打开串口"; }, 5000));
    // Ticks that would have come after the loss find auto send off: no "port not open" boxes.
    PumpFor(4 * AutoSendPeriod());
    ASSERT_EQ(BoxTexts().size(), 1u) << AllBoxes();
    EXPECT_EQ(BoxRecorder::Boxes()[0].title, "Application Error");
    EXPECT_FALSE(Check(IDC_AUTO_SEND)->isChecked());
    EXPECT_FALSE(m_dlg->IsTimerRunning(TIMER_AUTO_SEND));
    EXPECT_FALSE(m_dlg->IsPortOpen());
    EXPECT_EQ(m_dlg->StatusBar()->PaneText(1), "串口已关闭");

    // Auto send starts again only on an open port.
    Check(IDC_AUTO_SEND)->click();
    EXPECT_FALSE(Check(IDC_AUTO_SEND)->isChecked());
    ASSERT_EQ(BoxRecorder::Boxes().size(), 2u);
    EXPECT_EQ(BoxRecorder::Boxes()[1].text, kPortClosed);
}

}  // namespace
