// The module dialogs over a scripted device: the diagnosis fills its table and verdict from what the module
// answers, the survey turns polls into samples and min / mean / max, both save only to regular files
// readable by their owner, the plot paints whatever it holds, and the signal field gains dBm and grade.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <map>
#include <string>
#include <vector>

#include "app/diagnosis_dlg.h"
#include "app/module_link.h"
#include "app/panel_links.h"
#include "app/quendal_dlg.h"
#include "app/signal_monitor_dlg.h"
#include "app/signal_plot.h"
#include "app/window_timers.h"
#include "tests/support/gui_support.h"
#include "tests/support/pty_fixture.h"

namespace {

// The device and its module: each "DTU+CONFIG=CMD:<command>\r" written is answered, on a later turn of the
// event loop, by the frames scripted for that command (several frames for an answer split by pauses);
// for a command the script leaves out, the answer in otherwise.
class ScriptedDevice : public IPortLink, public ISentCount {
  public:
    std::map<std::string, std::vector<std::vector<std::string>>> script;  // per command, one entry per ask
    std::vector<std::string> otherwise;  // the answer to a command the script leaves out; none if empty
    std::vector<std::string> asked;
    std::int64_t sentBytes = 0;
    CModuleAsker* asker = nullptr;

    bool IsPortOpen() const override { return true; }
    void WritePort(std::span<const std::uint8_t> bytes) override {
        std::string text(bytes.begin(), bytes.end());
        EXPECT_TRUE(text.starts_with("DTU+CONFIG=CMD:") && text.ends_with("\r")) << text;
        const std::string command = text.substr(15, text.size() - 16);
        asked.push_back(command);
        auto found = script.find(command);
        std::vector<std::string> frames = otherwise;
        if (found != script.end() && !found->second.empty()) {
            frames = found->second.front();
            if (found->second.size() > 1) {
                found->second.erase(found->second.begin());
            }
        }
        if (frames.empty()) {
            return;
        }
        QTimer::singleShot(0, [this, frames] {
            for (const std::string& frame : frames) {
                asker->OnFrame(frame);
            }
        });
    }
    void CountSent(std::int64_t bytes) override { sentBytes += bytes; }
    void ResetSentCount() override { sentBytes = 0; }
};

std::string Answer(std::string_view moduleText) {
    return "+CONFIG CMD:" + std::string(moduleText);
}

QString Cell(QTableWidget* table, int row, int column) {
    const QTableWidgetItem* item = table->item(row, column);
    return item ? item->text() : QString();
}

int RowOf(QTableWidget* table, const QString& name) {
    for (int row = 0; row < table->rowCount(); ++row) {
        if (Cell(table, row, 0) == name) {
            return row;
        }
    }
    return -1;
}

QString Cell(QTableView* table, int row, int column) {
    return table->model()->index(row, column).data().toString();
}

QString ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

struct DiagnosisCase {
    const char* name;
    std::map<std::string, std::vector<std::vector<std::string>>> script;
    const char* verdict;
    const char* imeiValue;  // what the IMEI row's value cell says
    std::vector<std::string> otherwise;
};

TEST(DiagnosisDialog, FillsTableAndVerdictFromTheModule) {
    const std::string ok = "\r\nOK\r\n";
    const DiagnosisCase cases[] = {
        {"no SIM, answers split over frames and echoed",
         {{"AT+CPIN?", {{Answer("AT+CPIN?\r\r\n+CME ERR"), "OR: 10\r\n"}}},
          {"AT+CGSN", {{Answer("\r\n490154203237518" + ok)}}},
          {"AT+CSQ", {{Answer("\r\n+CSQ: 23,99" + ok)}}}},
         "结论：未检测到可用的SIM卡",
         "490154203237518",
         {Answer("\r\nERROR\r\n")}},
        {"a module that never answers", {}, "结论：模块无应答", "无应答", {}},
    };
    for (const DiagnosisCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedDevice device;
        device.script = c.script;
        device.otherwise = c.otherwise;
        CModuleAsker asker(device, device);
        asker.SetTimeoutMs(100);
        device.asker = &asker;
        CDiagnosisDlg dialog(nullptr, asker, "CMNET");
        dialog.Start();
        ASSERT_TRUE(WaitUntil([&] { return dialog.Result().has_value(); }, 20000));
        QTableWidget* table = dialog.Table();
        EXPECT_EQ(table->rowCount(), static_cast<int>(dialog.Result()->items.size()));
        EXPECT_GT(table->rowCount(), 0);
        const int imei = RowOf(table, "IMEI号");
        ASSERT_GE(imei, 0);
        EXPECT_EQ(Cell(table, imei, 1), c.imeiValue);
        EXPECT_TRUE(dialog.VerdictText().startsWith(c.verdict)) << dialog.VerdictText().toStdString();
        EXPECT_EQ(dialog.findChild<QLabel*>()->text(), dialog.VerdictText());
        // Every query went out framed, one at a time, and was counted as sent.
        EXPECT_FALSE(device.asked.empty());
        EXPECT_EQ(device.asked.front(), "AT+CPIN?");
        EXPECT_GT(device.sentBytes, 0);
        dialog.OnCopy();
        EXPECT_TRUE(QApplication::clipboard()->text().contains(c.verdict));
    }
}

TEST(DiagnosisDialog, ShowsTheSignalGradeAndTheRawAnswerEscaped) {
    ScriptedDevice device;
    device.otherwise = {Answer("\r\nERROR\r\n")};
    device.script = {{"AT+CPIN?", {{Answer("\r\n+CPIN: READY\r\n\x1b[2J\r\nOK\r\n")}}},
                     {"AT+CSQ", {{Answer("\r\n+CSQ: 23,99\r\n\r\nOK\r\n")}}}};
    CModuleAsker asker(device, device);
    asker.SetTimeoutMs(100);
    device.asker = &asker;
    CDiagnosisDlg dialog(nullptr, asker, "");
    dialog.Start();
    ASSERT_TRUE(WaitUntil([&] { return dialog.Result().has_value(); }, 20000));
    QTableWidget* table = dialog.Table();
    const int sim = RowOf(table, "SIM卡");
    ASSERT_GE(sim, 0);
    EXPECT_FALSE(Cell(table, sim, 3).contains(QChar(0x1b)));
    EXPECT_TRUE(Cell(table, sim, 3).contains("\\x1B", Qt::CaseInsensitive))
        << Cell(table, sim, 3).toStdString();
    const int csq = RowOf(table, "信号（CSQ）");
    ASSERT_GE(csq, 0);
    EXPECT_TRUE(Cell(table, csq, 2).startsWith("优")) << Cell(table, csq, 2).toStdString();
    EXPECT_TRUE(Cell(table, csq, 1).contains("-67")) << Cell(table, csq, 1).toStdString();
}

TEST(DiagnosisDialog, ClosingMidRunStopsAtOnce) {
    ScriptedDevice device;  // silent: the run would wait its time-outs
    CModuleAsker asker(device, device);
    device.asker = &asker;
    {
        CDiagnosisDlg dialog(nullptr, asker, "");
        dialog.Start();
        ASSERT_TRUE(WaitUntil([&] { return asker.Busy(); }));
    }
    EXPECT_FALSE(asker.Busy());
    EXPECT_EQ(device.asked.size(), 1u);
}

TEST(ModuleDialogs, SaveOnlyToARegularFileReadableByItsOwner) {
    ScriptedDevice device;
    device.script = {{"AT+CSQ", {{Answer("\r\n+CSQ: 10,99\r\n\r\nOK\r\n")}}},
                     {"AT+CESQ", {{Answer("\r\nERROR\r\n")}}}};
    CModuleAsker asker(device, device);
    asker.SetTimeoutMs(100);
    device.asker = &asker;
    CDiagnosisDlg diagnosis(nullptr, asker, "");
    diagnosis.Start();
    ASSERT_TRUE(WaitUntil([&] { return diagnosis.Result().has_value(); }, 20000));
    CSignalMonitorDlg survey(nullptr, asker);
    survey.PollNow();
    ASSERT_TRUE(WaitUntil([&] { return survey.Samples().size() == 1; }));

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString target = dir.filePath("target");
    ASSERT_TRUE(QFile(target).open(QIODevice::WriteOnly));
    ASSERT_TRUE(QFile::link(target, dir.filePath("link")));
    struct Save {
        const char* name;
        std::function<bool(const QString&)> save;
        const char* holds;
    };
    const Save saves[] = {
        {"diagnosis", [&](const QString& path) { return diagnosis.SaveTo(path); }, "结论："},
        {"survey", [&](const QString& path) { return survey.SaveTo(path); }, "csq_dbm"},
    };
    for (const Save& s : saves) {
        SCOPED_TRACE(s.name);
        const QString path = dir.filePath(QString(s.name) + ".out");
        BoxRecorder::Clear();
        ASSERT_TRUE(s.save(path));
        EXPECT_TRUE(BoxRecorder::Boxes().empty());
        EXPECT_TRUE(ReadFile(path).contains(s.holds));
        struct stat info {};
        ASSERT_EQ(::stat(path.toLocal8Bit().constData(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u);
        // A link at the name is refused, and what it points at stays empty.
        EXPECT_FALSE(s.save(dir.filePath("link")));
        ASSERT_EQ(BoxRecorder::Boxes().size(), 1u);
        EXPECT_TRUE(BoxRecorder::Boxes().front().text.contains("链接"));
        EXPECT_EQ(ReadFile(target), "");
    }
}

TEST(SignalMonitor, AddsSamplesAndComputesMinMeanMax) {
    ScriptedDevice device;
    device.script = {
        {"AT+CSQ",
         {{Answer("\r\n+CSQ: 10,99\r\n\r\nOK\r\n")},
          {Answer("\r\n+CSQ: 20,99\r\n"), "\r\nOK\r\n"},
          {Answer("\r\n+CSQ: 99,99\r\n\r\nOK\r\n")},
          {Answer("\r\n+CSQ: 31,99\r\n\r\nOK\r\n")}}},
        {"AT+CESQ", {{Answer("\r\n+CME ERROR: 4\r\n")}}},
    };
    CModuleAsker asker(device, device);
    asker.SetTimeoutMs(100);
    device.asker = &asker;
    CSignalMonitorDlg dialog(nullptr, asker);
    EXPECT_EQ(dialog.IntervalBox()->value(), 2);
    for (std::size_t n = 1; n <= 4; ++n) {
        dialog.PollNow();
        ASSERT_TRUE(WaitUntil([&] { return dialog.Samples().size() == n && !dialog.Polling(); }));
    }
    // AT+CESQ asked once: the module said it does not know it.
    EXPECT_EQ(std::count(device.asked.begin(), device.asked.end(), "AT+CESQ"), 1);
    EXPECT_EQ(std::count(device.asked.begin(), device.asked.end(), "AT+CSQ"), 4);
    EXPECT_FALSE(dialog.AsksCesq());
    ASSERT_EQ(dialog.Table()->model()->rowCount(), 4);
    EXPECT_EQ(Cell(dialog.Table(), 0, 1), "10");
    EXPECT_EQ(Cell(dialog.Table(), 1, 3), "优");
    EXPECT_EQ(Cell(dialog.Table(), 2, 2), "-");  // 99: unknown, left out of the series
    // -93, -73 and -51 dBm ("-51 or more" counts as -51).
    const SeriesStats stats = CsqStats(dialog.Samples());
    EXPECT_EQ(stats.count, 3);
    EXPECT_DOUBLE_EQ(stats.min, -93);
    EXPECT_DOUBLE_EQ(stats.max, -51);
    EXPECT_NEAR(stats.mean, -72.333, 0.001);
    EXPECT_TRUE(dialog.StatsText().contains("-93.0 / -72.3 / -51.0")) << dialog.StatsText().toStdString();
    const std::string csv = SamplesCsv(dialog.Samples());
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 5);
    EXPECT_NE(csv.find(",10,-93,fair,,,unknown\r\n"), std::string::npos) << csv;
}

TEST(SignalMonitor, ReadsLteSignalFromCesq) {
    ScriptedDevice device;
    device.script = {{"AT+CSQ", {{Answer("\r\n+CSQ: 99,99\r\n\r\nOK\r\n")}}},
                     {"AT+CESQ", {{Answer("\r\n+CESQ: 99,99,255,255,20,55\r\n\r\nOK\r\n")}}}};
    CModuleAsker asker(device, device);
    device.asker = &asker;
    CSignalMonitorDlg dialog(nullptr, asker);
    dialog.PollNow();
    ASSERT_TRUE(WaitUntil([&] { return dialog.Samples().size() == 1; }));
    EXPECT_TRUE(dialog.AsksCesq());
    const SignalSample& s = dialog.Samples().front();
    EXPECT_FALSE(s.csqLevel.known);
    EXPECT_DOUBLE_EQ(LevelValue(s.rsrp), -85);
    EXPECT_EQ(s.rsrpGrade, SignalGrade::Good);
    EXPECT_EQ(Cell(dialog.Table(), 0, 6), "良");
    EXPECT_TRUE(dialog.StatsText().contains("RSRP")) << dialog.StatsText().toStdString();
}

TEST(SignalPlot, PaintsWithNoneOneAndManySamples) {
    std::vector<SignalSample> many;
    for (int i = 0; i < 2000; ++i) {
        const std::string csq =
            "+CSQ: " + std::to_string(i % 40) + ",99\r\nOK\r\n";  // 32-39 are out of range
        const std::string cesq = "+CESQ: 99,99,255,255,20," + std::to_string((i * 7) % 100) + "\r\nOK\r\n";
        many.push_back(SampleFromAnswers(i * 1.5, QDateTime::currentDateTime(), csq,
                                         i % 3 ? std::optional<std::string>(cesq) : std::nullopt));
    }
    const std::vector<std::vector<SignalSample>> sets = {{}, {many.front()}, many};
    for (const auto& samples : sets) {
        SCOPED_TRACE(samples.size());
        for (const QSize size : {QSize(520, 220), QSize(30, 20)}) {
            CSignalPlot plot;
            plot.SetSamples(&samples);
            plot.resize(size);
            const QImage image = plot.grab().toImage();
            EXPECT_EQ(image.size(), size);
        }
        CSignalPlot plot;
        plot.SetSamples(&samples);
        plot.resize(520, 220);
        // The tooltip names the sample under the pointer; none on an empty plot.
        EXPECT_EQ(plot.ToolTipAt(QPoint(44, 100)).isEmpty(), samples.empty());
    }
}

// The background menu offers both dialogs beside the profile entries, usable only on an open port.
TEST(ModuleDialogs, MenuEntriesFollowThePort) {
    CPortDirFixture dir;
    CPtyFixture pty;
    ASSERT_TRUE(pty.IsValid()) << pty.Error();
    ASSERT_FALSE(pty.LinkAs(dir.Path(), 1).empty()) << pty.Error();
    CQuendalDlg window;
    for (const bool open : {false, true}) {
        SCOPED_TRACE(open);
        if (open) {
            window.ControlAs<QPushButton>(IDC_OPEN_PORT)->click();
            ASSERT_TRUE(window.IsPortOpen());
        }
        QStringList entries;
        std::map<QString, bool> enabled;
        QTimer::singleShot(0, [&] {
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                for (QAction* action : menu->actions()) {
                    entries << action->text();
                    enabled[action->text()] = action->isEnabled();
                }
                menu->close();
            }
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(10, 10), window.mapToGlobal(QPoint(10, 10)));
        QApplication::sendEvent(&window, &event);
        const int exportAt = static_cast<int>(entries.indexOf("导出配置..."));
        ASSERT_GE(exportAt, 0) << entries.join("|").toStdString();
        EXPECT_EQ(entries.mid(exportAt, 4),
                  QStringList({"导出配置...", "导入配置...", "网络诊断...", "信号监测..."}));
        EXPECT_EQ(enabled["网络诊断..."], open);
        EXPECT_EQ(enabled["信号监测..."], open);
    }
}

// The signal field keeps the device's text and gains the level and grade beside it.
TEST(SignalField, TooltipHasDbmAndGrade) {
    CQuendalDlg window;
    const std::string frame = "+CONFIG CMD:+CSQ: 23,99\r\n";
    window.OnPortRxRun({reinterpret_cast<const std::uint8_t*>(frame.data()), frame.size()}, 1);
    window.OnTimerTick(TIMER_RX_IDLE);
    auto* field = window.ControlAs<QLineEdit>(IDC_SIGNAL);
    EXPECT_EQ(field->text(), " 23");
    EXPECT_EQ(field->toolTip(), "信号：CSQ 23，-67 dBm，优");
    EXPECT_EQ(field->statusTip(), field->toolTip());
    EXPECT_EQ(field->accessibleDescription(), field->toolTip());
}

}  // namespace

namespace {

// A long survey draws fewer points than samples; a one-sample dip and the last sample still show.
TEST(SignalPlot, ALongSurveyKeepsItsExtremes) {
    std::vector<SignalSample> samples;
    for (int i = 0; i < 3000; ++i) {
        const int csq = i == 1500 ? 2 : i == 2999 ? 10 : 25;  // -109 dBm once, -93 dBm at the end
        samples.push_back(SampleFromAnswers(i, QDateTime::currentDateTime(),
                                            "+CSQ: " + std::to_string(csq) + ",99\r\nOK\r\n", std::nullopt));
    }
    CSignalPlot plot;
    plot.SetSamples(&samples);
    plot.resize(520, 220);
    const QImage image = plot.grab().toImage();
    // The series' blue, in the rows around a level (the plot spans -40 to -140 dBm over rows 22 to 198).
    const auto blueNear = [&](double dbm, int fromX, int toX) {
        const int y = 22 + static_cast<int>((-40 - dbm) / 100 * 176);
        for (int x = fromX; x <= toX; ++x) {
            for (int row = y - 3; row <= y + 3; ++row) {
                const QColor c = image.pixelColor(x, row);
                if (c.blue() > 150 && c.red() < 90 && c.green() < 140) {
                    return true;
                }
            }
        }
        return false;
    };
    EXPECT_TRUE(blueNear(-109, 44, 490));
    EXPECT_TRUE(blueNear(-93, 480, 490));
    EXPECT_TRUE(blueNear(-63, 44, 60));
    EXPECT_FALSE(blueNear(-125, 44, 490));
}

}  // namespace
