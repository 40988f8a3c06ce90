// The receive half of the terminal: counts, pieces, stop/continue, the 50-line auto clear and the 400-line
// overflow, GBK text, and that runs of bytes show exactly what single bytes show. What the monitor shows
// is tested on the monitor alone; what crosses panels (frames, the idle timer, the port number, the TX
// count, the send area) in the real window.
#include <gtest/gtest.h>

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextLayout>
#include <QTimer>
#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "app/area_menu.h"
#include "app/capture_control.h"
#include "app/capture_dlg.h"
#include "app/layout_builder.h"
#include "app/panel_links.h"
#include "app/params_panel.h"
#include "app/quendal_dlg.h"
#include "app/receive_monitor.h"
#include "app/send_panel.h"
#include "app/status_bar.h"
#include "tests/support/gui_support.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

const QString kOverflowLine = "***The Length of the Text is too long, Emptied Automaticly!!!***";

Bytes B(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

Bytes Repeat(std::string_view text, int times) {
    Bytes out;
    for (int i = 0; i < times; ++i) {
        out.insert(out.end(), text.begin(), text.end());
    }
    return out;
}

void AppendText(Bytes& out, std::string_view text) {
    out.insert(out.end(), text.begin(), text.end());
}

// Equal texts, or where they part, readably.
::testing::AssertionResult SameText(const QString& got, const QString& want) {
    if (got == want) {
        return ::testing::AssertionSuccess();
    }
    qsizetype at = 0;
    while (at < got.size() && at < want.size() && got[at] == want[at]) {
        ++at;
    }
    auto around = [at](const QString& text) {
        return text.mid(std::max<qsizetype>(0, at - 40), 80).toStdString();
    };
    return ::testing::AssertionFailure()
           << "sizes " << got.size() << " and " << want.size() << ", first difference at " << at
           << "\n got: [" << around(got) << "]\nwant: [" << around(want) << "]";
}

// A record that shows firmware version V<version> once dispatched.
Bytes RecordFrame(std::uint16_t version) {
    Bytes frame = B("+CONFIG=");
    frame.resize(8 + 440);
    frame[8] = static_cast<std::uint8_t>(version & 0xFF);
    frame[9] = static_cast<std::uint8_t>(version >> 8);
    frame[8 + 24] = 'a';  // APN "a"
    return frame;
}

// The window widened so that the terminal is on screen, as a user sees it.
class ReceiveWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        dlg.ControlAs<QPushButton>(IDC_DEBUG_TOGGLE)->click();
        ASSERT_EQ(dlg.width(), 900);
        dlg.OnClearCounters();
        BoxRecorder::Clear();
    }

    void Feed(const Bytes& bytes, int port = 1) { dlg.OnPortRxRun(bytes, port); }
    void FeedEach(const Bytes& bytes) {
        for (std::uint8_t b : bytes) {
            dlg.OnPortRxChar(b, 1);
        }
    }
    // What the user sees once the display's beat has come.
    QString Area() const {
        dlg.ReceiveMonitor().ShowPending();
        return area->toPlainText();
    }
    std::int64_t RxCount() const { return dlg.ReceiveMonitor().RxCount(); }
    std::int64_t TxCount() const { return dlg.SendPanel().TxCount(); }
    QString Rx() const {
        dlg.ReceiveMonitor().ShowPending();
        return dlg.ControlAs<QLabel>(IDC_RX_COUNT)->text();
    }
    QString Tx() const { return dlg.ControlAs<QLabel>(IDC_TX_COUNT)->text(); }
    void SetHex(bool on) { dlg.ControlAs<QCheckBox>(IDC_HEX_DISPLAY)->setChecked(on); }
    void SetAutoClear(bool on) { dlg.ControlAs<QCheckBox>(IDC_AUTO_CLEAR)->setChecked(on); }

    CQuendalDlg dlg;
    QPlainTextEdit* area = dlg.ControlAs<QPlainTextEdit>(IDC_RECEIVE_EDIT);
};

// The receive monitor alone: the window's controls in a plain widget as wide as the widened window, and a
// count of sent bytes standing in for the send panel. What the monitor shows and counts needs nothing else.
struct CMonitorOnHost {
    struct SentCount : ISentCount {
        void CountSent(std::int64_t bytes) override { count += bytes; }
        void ResetSentCount() override { count = 0; }
        std::int64_t count = 0;
    };
    CMonitorOnHost() {
        host.setFont(DialogFont());
        host.resize(900, 586);
        host.show();
        monitor.OnWindowShown();
    }
    void Feed(std::span<const std::uint8_t> bytes) { monitor.OnBytesReceived(bytes); }
    QPlainTextEdit* Area() const { return ControlAs<QPlainTextEdit>(controls, IDC_RECEIVE_EDIT); }
    QCheckBox* Check(int id) const { return ControlAs<QCheckBox>(controls, id); }

    QWidget host;
    ControlMap controls = BuildMainControls(&host);
    SentCount sent;
    CReceiveMonitor monitor{controls, sent};
};

class ReceiveMonitorAlone : public ::testing::Test {
  protected:
    void Feed(const Bytes& bytes) { m.Feed(bytes); }
    void FeedByte(std::uint8_t byte) { m.Feed({&byte, 1}); }
    QString Area() const {
        monitor.ShowPending();
        return area->toPlainText();
    }
    std::int64_t RxCount() const { return monitor.RxCount(); }
    void SetHex(bool on) { m.Check(IDC_HEX_DISPLAY)->setChecked(on); }
    void SetAutoClear(bool on) { m.Check(IDC_AUTO_CLEAR)->setChecked(on); }

    CMonitorOnHost m;
    CReceiveMonitor& monitor = m.monitor;
    QPlainTextEdit* area = m.Area();
};

TEST_F(ReceiveWindow, PortNumbersOutsideOneTo256ChangeNothing) {
    Feed(B("ab"));
    const QString before = Area();
    for (int port : {0, 257, -1}) {
        Feed(B("xyz+CONFIG OK"), port);
        dlg.OnPortRxChar('q', port);
    }
    EXPECT_EQ(RxCount(), 2);
    EXPECT_EQ(Rx(), "RX:2");
    EXPECT_EQ(dlg.ParamsPanel().Frame().count, 2u);
    EXPECT_EQ(Area(), before);
    for (int port : {1, 256}) {
        dlg.OnPortRxChar('c', port);
    }
    EXPECT_EQ(Area(), "abcc");
    EXPECT_EQ(Rx(), "RX:4");
}

TEST_F(ReceiveWindow, CountsEveryByteAndRestartsTheIdleTimer) {
    FeedEach(B("12345"));
    Feed(Repeat("z", 995));
    EXPECT_EQ(RxCount(), 1000);
    EXPECT_EQ(Rx(), "RX:1000");
    EXPECT_TRUE(dlg.IsTimerRunning(TIMER_RX_IDLE));
    EXPECT_EQ(dlg.TimerInterval(TIMER_RX_IDLE), 100);
    EXPECT_EQ(Tx(), "TX:0");
}

TEST_F(ReceiveWindow, StoppedDisplayStillCountsAndCompletesAParameterRead) {
    Feed(B("before"));
    auto* stop = dlg.ControlAs<QPushButton>(IDC_STOP_DISPLAY);
    stop->click();
    EXPECT_EQ(stop->text(), "继续显示");
    const Bytes frame = RecordFrame(0x0C01);
    Feed(Bytes(frame.begin(), frame.begin() + 100));
    FeedEach(Bytes(frame.begin() + 100, frame.end()));
    EXPECT_EQ(RxCount(), 6 + 448);
    // The idle timer ends the frame as it would after the device's answer.
    EXPECT_TRUE(WaitUntil([&] { return dlg.StatusBar()->PaneText(2) == "参数读取完毕！"; }, 2000));
    EXPECT_EQ(dlg.ControlAs<QLineEdit>(IDC_FIRMWARE_VERSION)->text(), "V0c01");
    EXPECT_EQ(dlg.ControlAs<QLineEdit>(IDC_APN)->text(), "a");
    EXPECT_EQ(Area(), "before");

    stop->click();
    EXPECT_EQ(stop->text(), "停止显示");
    Feed(B("after"));
    EXPECT_EQ(Area(), "beforeafter");  // bytes of the stopped time never show
}

TEST_F(ReceiveMonitorAlone, HexPiecesAndSwitchingAffectOnlyLaterBytes) {
    Feed(B("A"));
    SetHex(true);
    Feed(Bytes{0x0A, 0xFF});
    FeedByte(0x00);
    EXPECT_EQ(Area(), "A0A FF 00 ");
    SetHex(false);
    Feed(B("B"));
    EXPECT_EQ(Area(), "A0A FF 00 B");
}

// Runs that come close together reach the area on the display's beat, with nobody asking; a clear takes
// pieces still waiting, as they were due on screen before it, and the count still shows every byte.
TEST_F(ReceiveMonitorAlone, WaitingPiecesShowOnTheBeatAndAClearTakesThem) {
    const QLabel* rx = ControlAs<QLabel>(m.controls, IDC_RX_COUNT);
    for (int i = 0; i < 5; ++i) {
        Feed(B("run "));
    }
    EXPECT_TRUE(WaitUntil([&] { return area->toPlainText() == "run run run run run "; }, 2000));
    EXPECT_EQ(rx->text(), "RX:20");
    Feed(B("a"));
    Feed(B("b"));
    monitor.OnClearReceive();
    PumpFor(50);
    EXPECT_EQ(area->toPlainText(), "");
    EXPECT_EQ(rx->text(), "RX:22");
}

// A lead byte or a CR waiting when the text display goes off never pairs with a byte received after it:
// the lead shows as U+FFFD at the switch, the CR is forgotten.
TEST_F(ReceiveMonitorAlone, WaitingLeadOrCrNeverPairsAcrossADisplaySwitch) {
    const QString bad(QChar::ReplacementCharacter);
    struct Case {
        const char* name;
        std::function<void()> off;
        std::function<void()> on;
    };
    const Case cases[] = {
        {"stop", [&] { monitor.OnStopDisplay(); }, [&] { monitor.OnStopDisplay(); }},
        {"hex", [&] { SetHex(true); }, [&] { SetHex(false); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        monitor.OnClearReceive();
        Feed(Bytes{'x', 0xD6});
        c.off();
        EXPECT_EQ(Area(), "x" + bad);
        c.on();
        Feed(B("A\r"));
        c.off();
        c.on();
        Feed(B("\nB"));
        EXPECT_EQ(Area(), "x" + bad + "A\n\nB");
    }
}

TEST_F(ReceiveMonitorAlone, TextModeLineBreaksZeroBytesAndGbk) {
    struct Case {
        const char* name;
        std::vector<Bytes> runs;
        QString shown;
    };
    const Case cases[] = {
        {"CR LF, LF and lone CR break once each", {B("a\r\nb\nc\rd")}, "a\nb\nc\nd"},
        {"CR LF split between runs", {B("a\r"), B("\nb")}, "a\nb"},
        {"two CRs are two breaks", {B("a\r\rb")}, "a\n\nb"},
        {"zero byte shows nothing", {Bytes{'a', 0, 'b', 0}}, "ab"},
        {"GBK pair in one run", {Bytes{0xD6, 0xD0}}, "中"},
        {"GBK pair split between runs", {Bytes{'x', 0xD6}, Bytes{0xD0, 'y'}}, "x中y"},
        {"lone lead byte does not swallow its neighbour", {Bytes{0xD6, '1'}}, "\uFFFD1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        monitor.OnClearReceive();
        monitor.OnClearCounters();
        std::size_t total = 0;
        for (const Bytes& run : c.runs) {
            Feed(run);
            total += run.size();
        }
        EXPECT_EQ(Area(), c.shown);
        EXPECT_EQ(RxCount(), static_cast<std::int64_t>(total));
    }
    // A lead byte waiting at the end of a run shows nothing yet.
    monitor.OnClearReceive();
    Feed(Bytes{'x', 0xD6});
    EXPECT_EQ(Area(), "x");
    Feed(Bytes{0xD0});
    EXPECT_EQ(Area(), "x中");
}

TEST_F(ReceiveWindow, AutoClearAtFiftyLinesPutsTheTriggeringByteFirst) {
    Feed(Repeat("x\n", 48));  // 49 lines
    Feed(B("y"));
    EXPECT_TRUE(Area().startsWith("x\n"));
    Feed(B("\n"));  // 50 lines
    ASSERT_EQ(Area().count('\n'), 49);
    Feed(B("Zq"));
    EXPECT_EQ(Area(), "Zq");
    // The area and its mirror agree: rewriting the area from it changes nothing.
    dlg.OnClearSend();
    EXPECT_EQ(Area(), "Zq");
}

TEST_F(ReceiveMonitorAlone, AutoClearCountsWrappedLines) {
    // One unbroken line, fed byte by byte, wraps; it is cleared once it fills 50 displayed lines.
    int fed = 0;
    QString last;
    while (fed < 50000) {
        last = Area();
        FeedByte('w');
        ++fed;
        if (Area().size() < last.size()) {
            break;
        }
    }
    ASSERT_LT(fed, 50000) << "never cleared";
    EXPECT_EQ(Area(), "w");
    EXPECT_FALSE(last.contains('\n'));
    // Independent of the document's own count: the laid-out lines of the one block before the clear.
    monitor.OnClearReceive();
    Feed(Bytes(static_cast<std::size_t>(last.size()), 'w'));
    EXPECT_EQ(Area(), last);
    const QTextLayout* layout = area->document()->firstBlock().layout();
    ASSERT_NE(layout, nullptr);
    EXPECT_GE(layout->lineCount(), 50);
    monitor.OnClearReceive();
    Feed(Bytes(static_cast<std::size_t>(last.size() - 1), 'w'));
    EXPECT_LT(area->document()->firstBlock().layout()->lineCount(), 50);
}

TEST_F(ReceiveWindow, OverflowWithAutoClearOffAtFourHundredAndOneLines) {
    SetAutoClear(false);
    Feed(Repeat("x\n", 399));  // 400 lines
    Feed(B("y"));
    EXPECT_EQ(Area().count('\n'), 399);
    Feed(B("\n"));  // 401 lines
    Feed(B("Z"));
    EXPECT_EQ(Area(), kOverflowLine + "\nZ");
    dlg.OnClearSend();
    EXPECT_EQ(Area(), kOverflowLine + "\nZ");

    // In hex mode the piece follows the message the same way.
    dlg.OnClearReceive();
    Feed(Repeat("\n", 400));
    SetHex(true);
    Feed(Bytes{0x41});
    EXPECT_EQ(Area(), kOverflowLine + "\n41 ");
}

TEST_F(ReceiveMonitorAlone, ARunWithAWrappedLineFarAboveItsEndFindsTheLimitWhereSingleBytesDo) {
    // One run: a line of W's that wraps, then many short lines, then Z. For one number of short lines the
    // area holds exactly the limit when Z arrives, so Z is the byte that clears. The wrapped line is far
    // above the end of the run, out of view, and must still count with all its displayed lines.
    CMonitorOnHost reference;
    const auto* referenceArea = reference.Area();
    for (const bool autoClear : {true, false}) {
        const QString cleared = autoClear ? QString() : kOverflowLine + "\n";
        const int limit = autoClear ? 50 : 401;
        SetAutoClear(autoClear);
        reference.Check(IDC_AUTO_CLEAR)->setChecked(autoClear);
        bool clearedAtZ = false;
        for (int shortLines = limit - 20; shortLines < limit; ++shortLines) {
            SCOPED_TRACE(shortLines);
            Bytes run = Repeat("W", 200);
            AppendText(run, "\n");
            const Bytes lines = Repeat("y\n", shortLines);
            run.insert(run.end(), lines.begin(), lines.end());
            AppendText(run, "Z");
            monitor.OnClearReceive();
            reference.monitor.OnClearReceive();
            Feed(run);
            for (std::uint8_t b : run) {
                reference.Feed({&b, 1});
            }
            reference.monitor.ShowPending();
            EXPECT_TRUE(SameText(Area(), referenceArea->toPlainText()));
            clearedAtZ |= referenceArea->toPlainText() == cleared + "Z";
        }
        EXPECT_TRUE(clearedAtZ) << "no number of short lines reached the limit exactly";
    }
}

TEST_F(ReceiveMonitorAlone, TenKilobytesOfAnySpaceAreOneLongLineAndStillAutoClear) {
    // Spaces hang past the edge, so such a run is one long line (a line per 4096 of them at most), fed in
    // runs of 4 KB as a flood brings them. What it costs is measured in bench/, not here.
    constexpr std::size_t kBytes = 10 * 1024;
    constexpr std::size_t kRun = 4096;
    auto feedRuns = [&](const Bytes& bytes) {
        monitor.OnClearReceive();
        for (std::size_t at = 0; at < bytes.size(); at += kRun) {
            Feed(Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                       bytes.begin() + static_cast<std::ptrdiff_t>(std::min(at + kRun, bytes.size()))));
        }
    };
    struct Case {
        const char* name;
        Bytes unit;
        QChar shown;
    };
    const Case cases[] = {{"blank", {0x20}, QChar(' ')},
                          {"vertical tab", {0x0B}, QChar(0x0B)},
                          {"form feed", {0x0C}, QChar(0x0C)},
                          {"GBK ideographic space", {0xA1, 0xA1}, QChar(0x3000)}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes bytes;
        while (bytes.size() < kBytes) {
            bytes.insert(bytes.end(), c.unit.begin(), c.unit.end());
        }
        feedRuns(bytes);
        const QString run(static_cast<qsizetype>(kBytes / c.unit.size()), c.shown);
        ASSERT_TRUE(SameText(Area(), run));

        // Letters after the run: the area clears at the byte that finds 50 displayed lines, the lines of
        // the run included.
        constexpr qsizetype kLetters = 2500;
        Feed(Repeat("w", kLetters));
        const QString after = Area();
        ASSERT_TRUE(SameText(after, QString(after.size(), QChar('w')))) << "never cleared";
        ASSERT_LT(after.size(), kLetters);
        area->setPlainText(run + QString(kLetters - after.size(), QChar('w')));
        QTextDocument* doc = area->document();
        for (QTextBlock block = doc->firstBlock(); block.isValid(); block = block.next()) {
            doc->documentLayout()->blockBoundingRect(block);  // lays the block out
        }
        EXPECT_EQ(doc->lineCount(), 50);
    }
}

TEST_F(ReceiveWindow, ClearCountersKeepsTheAreaAndClearReceiveKeepsTheCounts) {
    Feed(B("hello"));
    dlg.SendPanel().CountSent(7);
    dlg.ControlAs<QPushButton>(IDC_CLEAR_RECEIVE)->click();
    EXPECT_EQ(Area(), "");
    EXPECT_EQ(RxCount(), 5);
    EXPECT_EQ(Rx(), "RX:5");
    EXPECT_EQ(TxCount(), 7);

    Feed(B("again"));
    dlg.ControlAs<QPushButton>(IDC_CLEAR_COUNTERS)->click();
    EXPECT_EQ(Rx(), "RX:0");
    EXPECT_EQ(Tx(), "TX:0");
    EXPECT_EQ(RxCount(), 0);
    EXPECT_EQ(TxCount(), 0);
    EXPECT_EQ(Area(), "again");
}

// The receive area's menu entry, as a user reaches it: a right click's menu, then the dialog.
QAction* MenuEntry(QMenu& menu, const QString& text) {
    for (QAction* action : menu.actions()) {
        if (action->text() == text) {
            return action;
        }
    }
    return nullptr;
}

TEST_F(ReceiveWindow, LogToFileFromTheMenuWritesEveryByteShowsTheCountAndAWriteErrorStopsIt) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto startFromMenu = [&](const QString& path, bool text) {
        auto menu = CAreaMenu::Of(area).Build();
        QAction* entry = MenuEntry(*menu, "记录到文件...");
        ASSERT_TRUE(entry);
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<CCaptureDlg*>(QApplication::activeModalWidget());
            ASSERT_TRUE(dialog);
            dialog->PathEdit()->setText(path);
            (text ? dialog->TextButton() : dialog->RawButton())->setChecked(true);
            dialog->accept();
        });
        entry->trigger();
    };
    const auto pane = [&] {
        QLabel* label = dlg.StatusBar()->SidePane(CCaptureControl::kStatusPane);
        return label ? label->text() : QString();
    };
    const QString raw = dir.filePath("raw.log");
    startFromMenu(raw, false);
    ASSERT_TRUE(dlg.Capture().IsOn());
    Feed(B("AT\r\n"));
    dlg.OnStopDisplay();  // the log does not care what the display shows
    Feed(Bytes{'O', 'K', '\r', '\n', 0x00, 0xFF});
    dlg.OnStopDisplay();
    EXPECT_TRUE(WaitUntil([&] { return pane() == "记录中：10 字节"; })) << pane().toStdString();
    {
        auto menu = CAreaMenu::Of(area).Build();
        QAction* stop = MenuEntry(*menu, "停止记录到文件");
        ASSERT_TRUE(stop);
        stop->trigger();
    }
    EXPECT_FALSE(dlg.Capture().IsOn());
    EXPECT_EQ(pane(), "");
    QFile file(raw);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("AT\r\nOK\r\n\x00\xFF", 10));
    EXPECT_EQ(file.permissions(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
                                      QFileDevice::WriteUser);

    // The folder goes while the log runs: the log stops with a box, the window goes on.
    ASSERT_TRUE(QDir(dir.path()).mkdir("gone"));
    startFromMenu(dir.filePath("gone/text.log"), true);
    ASSERT_TRUE(dlg.Capture().IsOn());
    Feed(B("first\n"));
    ASSERT_TRUE(QDir(dir.filePath("gone")).removeRecursively());
    EXPECT_TRUE(WaitUntil([&] {
        Feed(B("more\n"));
        return !dlg.Capture().IsOn();
    }));
    ASSERT_EQ(BoxRecorder::Boxes().size(), 1u);
    EXPECT_TRUE(BoxRecorder::Boxes()[0].text.startsWith("记录到文件已停止"))
        << BoxRecorder::Boxes()[0].text.toStdString();
    EXPECT_EQ(pane(), "");
    const std::int64_t before = RxCount();
    Feed(B("still here"));
    EXPECT_EQ(RxCount(), before + 10);
    auto menu = CAreaMenu::Of(area).Build();
    EXPECT_TRUE(MenuEntry(*menu, "记录到文件..."));
}

// --- Runs against single bytes -------------------------------------------------------------------------

// A stream in bursts; between bursts the line goes quiet and the idle timer ends the frame. The hex
// display is switched on before burst hexFrom.
struct Stream {
    std::vector<Bytes> bursts;
    std::size_t hexFrom = SIZE_MAX;
};

Stream MakeStream(std::uint32_t seed, std::size_t totalBytes) {
    std::mt19937 rng(seed);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    const std::string_view words[] = {"hello ",           "DTU ", "+CSQ: 23,99", "OK",
                                      "abcdefghijklmnop", "  ",   "=",           "."};
    const std::array<std::uint8_t, 2> gbkPairs[] = {{0xD6, 0xD0}, {0xCE, 0xC4}, {0xB2, 0xE2}, {0xCA, 0xD4}};
    Stream stream;
    std::size_t total = 0;
    std::uint16_t version = 0x0100;
    while (total < totalBytes) {
        Bytes burst;
        const int pieces = 1 + pick(60);
        for (int i = 0; i < pieces; ++i) {
            switch (pick(12)) {
                case 0:
                case 1:
                case 2:
                    AppendText(burst, words[pick(8)]);
                    break;
                case 3:
                    AppendText(burst, "\r\n");
                    break;
                case 4:
                    AppendText(burst, pick(2) ? "\n" : "\r");
                    break;
                case 5:
                case 6: {
                    const auto& pair = gbkPairs[pick(4)];
                    burst.insert(burst.end(), pair.begin(), pair.end());
                    break;
                }
                case 7:  // binary, zero bytes and stray high bytes included
                    for (int k = 1 + pick(8); k > 0; --k) {
                        burst.push_back(static_cast<std::uint8_t>(rng()));
                    }
                    break;
                case 8:
                    AppendText(burst, std::string(static_cast<std::size_t>(20 + pick(150)), 'L'));
                    break;
                case 9:
                    if (pick(6) == 0) {
                        const Bytes frame = RecordFrame(version++);
                        burst.insert(burst.end(), frame.begin(), frame.end());
                    }
                    break;
                case 10:
                    if (pick(4) == 0) {
                        AppendText(burst, pick(2) ? "+CONFIG OK\r\n" : "+CONFIG CMD:+CSQ: 17,99\r\n");
                    }
                    break;
                default:
                    AppendText(burst, "\n");
                    break;
            }
        }
        total += burst.size();
        stream.bursts.push_back(std::move(burst));
    }
    return stream;
}

// Everything a feed leaves behind that a user or the protocol could see.
struct Outcome {
    QString area;
    QString areaAfterRewrite;  // the area rewritten from ReceiveText
    std::int64_t rx = 0;
    QString rxText;
    QStringList versionsShown;  // one entry per record dispatched into the form
    QStringList signalsShown;
    QStringList panes;  // pane 2 after each burst
    std::vector<std::uint8_t> pendingFrame;
};

// Runs of random sizes, or single bytes when runSeed is 0.
Outcome FeedStream(const Stream& stream, bool autoClear, std::uint32_t runSeed) {
    CQuendalDlg dlg;
    dlg.ControlAs<QPushButton>(IDC_DEBUG_TOGGLE)->click();
    dlg.OnClearCounters();
    dlg.ControlAs<QCheckBox>(IDC_AUTO_CLEAR)->setChecked(autoClear);
    Outcome out;
    QObject::connect(dlg.ControlAs<QLineEdit>(IDC_FIRMWARE_VERSION), &QLineEdit::textChanged,
                     [&](const QString& text) { out.versionsShown << text; });
    QObject::connect(dlg.ControlAs<QLineEdit>(IDC_SIGNAL), &QLineEdit::textChanged,
                     [&](const QString& text) { out.signalsShown << text; });

    std::mt19937 rng(runSeed);
    for (std::size_t i = 0; i < stream.bursts.size(); ++i) {
        const Bytes& burst = stream.bursts[i];
        dlg.ControlAs<QCheckBox>(IDC_HEX_DISPLAY)->setChecked(i >= stream.hexFrom);
        if (runSeed == 0) {
            // The reference shows what it has every few bytes; runs wait for the display's beat (here, the
            // end), so when the area is written must not change what it shows.
            for (std::uint8_t b : burst) {
                dlg.OnPortRxChar(b, 1);
                if (rng() % 16 == 0) {
                    dlg.ReceiveMonitor().ShowPending();
                }
            }
        } else {
            std::size_t at = 0;
            while (at < burst.size()) {
                // Mostly short reads, now and then a long one, as a busy line gives.
                const std::size_t want = rng() % 8 == 0 ? 1 + rng() % 1500 : 1 + rng() % 40;
                const std::size_t n = std::min(want, burst.size() - at);
                dlg.OnPortRxRun(std::span<const std::uint8_t>(burst).subspan(at, n), 1);
                at += n;
            }
        }
        dlg.OnTimerTick(TIMER_RX_IDLE);
        out.panes << dlg.StatusBar()->PaneText(2);
    }
    const auto* area = dlg.ControlAs<QPlainTextEdit>(IDC_RECEIVE_EDIT);
    dlg.ReceiveMonitor().ShowPending();
    out.area = area->toPlainText();
    out.rx = dlg.ReceiveMonitor().RxCount();
    out.rxText = dlg.ControlAs<QLabel>(IDC_RX_COUNT)->text();
    const ResponseFrame& frame = dlg.ParamsPanel().Frame();
    out.pendingFrame.assign(frame.bytes.begin(), frame.bytes.begin() + frame.count);
    dlg.OnClearSend();
    out.areaAfterRewrite = area->toPlainText();
    return out;
}

struct Mode {
    const char* name;
    bool hex;
    bool autoClear;
    std::size_t bytes;
    int prefixLines;  // text lines before the random stream, so that hex reaches 401 lines sooner
};

// Single bytes in hex mode relay out one ever longer wrapped line per byte, so the hex streams are short
// and the overflow one starts near the limit.
const Mode kModes[] = {
    {"TextAutoClear", false, true, 30000, 0},
    {"TextOverflow", false, false, 40000, 0},
    {"HexAutoClear", true, true, 5000, 0},
    {"HexOverflow", true, false, 3000, 390},
};

class RunsEqualSingleBytes : public ::testing::TestWithParam<Mode> {};

TEST_P(RunsEqualSingleBytes, SameAreaCountsAndFrames) {
    const Mode mode = GetParam();
    Stream stream = MakeStream(0x5eed + static_cast<std::uint32_t>(mode.bytes), mode.bytes);
    if (mode.prefixLines > 0) {
        stream.bursts.insert(stream.bursts.begin(), Repeat("x\n", mode.prefixLines));
    }
    if (mode.hex) {
        stream.hexFrom = mode.prefixLines > 0 ? 1 : 0;
    }
    std::size_t total = 0;
    for (const Bytes& burst : stream.bursts) {
        total += burst.size();
    }
    const Outcome single = FeedStream(stream, mode.autoClear, 0);
    ASSERT_EQ(single.rx, static_cast<std::int64_t>(total));
    // The stream must exercise what is compared: records in the form and the area's line limit.
    EXPECT_GE(single.versionsShown.size(), 2);
    if (!mode.autoClear) {
        EXPECT_TRUE(single.area.startsWith(kOverflowLine + "\n")) << "stream too short to overflow";
    }
    if (mode.hex) {
        // Every piece shown since the last clear is a hex piece: a hex byte found the limit.
        const QString tail = mode.autoClear ? single.area : single.area.mid(kOverflowLine.size() + 1);
        EXPECT_TRUE(QRegularExpression("^([0-9A-F]{2} )+$").match(tail).hasMatch());
    }
    for (std::uint32_t runSeed : {1u, 2u, 3u}) {
        SCOPED_TRACE(runSeed);
        const Outcome runs = FeedStream(stream, mode.autoClear, runSeed);
        EXPECT_TRUE(SameText(runs.area, single.area));
        EXPECT_TRUE(SameText(runs.areaAfterRewrite, single.area));
        EXPECT_EQ(runs.rx, single.rx);
        EXPECT_EQ(runs.rxText, single.rxText);
        EXPECT_EQ(runs.versionsShown, single.versionsShown);
        EXPECT_EQ(runs.signalsShown, single.signalsShown);
        EXPECT_EQ(runs.panes, single.panes);
        EXPECT_EQ(runs.pendingFrame, single.pendingFrame);
    }
    EXPECT_TRUE(SameText(single.areaAfterRewrite, single.area));
}

INSTANTIATE_TEST_SUITE_P(Modes, RunsEqualSingleBytes, ::testing::ValuesIn(kModes),
                         [](const ::testing::TestParamInfo<Mode>& param) {
                             return std::string(param.param.name);
                         });

}  // namespace
