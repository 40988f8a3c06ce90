// The device exchange end to end: the window against the simulated DTU on a pseudo-terminal linked as
// COM1 in a private port directory. Timers are the real 100 ms / 500 ms ones; every wait has a deadline.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/diagnosis_dlg.h"
#include "app/params_panel.h"
#include "app/quendal_dlg.h"
#include "app/receive_monitor.h"
#include "app/send_panel.h"
#include "app/signal_monitor_dlg.h"
#include "app/signal_samples.h"
#include "app/status_bar.h"
#include "modem/diagnosis.h"
#include "modem/module_queries.h"
#include "protocol/device_params.h"
#include "tests/support/child_process_posix.h"
#include "tests/support/gui_support.h"
#include "tests/support/pty_fixture.h"

namespace {

const char* const kSimPath = QUENDAL_BINARY_DIR "/tools/dtu-sim/dtu-sim";

// The simulated DTU on COM1; what it says about itself (its module's IMEI and ICCID) goes to log.
class SimProcess {
  public:
    SimProcess(std::vector<std::string> extra, const std::filesystem::path& log) : m_log(log) {
        std::vector<std::string> args = {kSimPath, "--com", "1"};
        args.insert(args.end(), extra.begin(), extra.end());
        m_pid = Spawn(args, "/dev/null", log);
    }
    ~SimProcess() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            int status = 0;
            waitpid(m_pid, &status, 0);
        }
    }
    bool Started() const { return m_pid > 0; }
    std::string Log() const { return ReadFile(m_log); }
    // The value the start-up line gives after name ("module IMEI "), up to the next comma.
    std::string Said(std::string_view name) const {
        const std::string log = Log();
        const std::size_t at = log.find(name);
        if (at == std::string::npos) {
            return "(not in the log)";
        }
        const std::size_t from = at + name.size();
        return log.substr(from, log.find_first_of(",\n", from) - from);
    }

  private:
    std::filesystem::path m_log;
    pid_t m_pid = -1;
};

class ExchangeE2E : public ::testing::Test {
  protected:
    void StartSim(std::vector<std::string> extra = {}) {
        m_sim =
            std::make_unique<SimProcess>(std::move(extra), std::filesystem::path(m_dir.Path()) / "sim.log");
        ASSERT_TRUE(m_sim->Started());
        const std::filesystem::path link = std::filesystem::path(m_dir.Path()) / "COM1";
        ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(link); }, 5000)) << "no COM1 link";
        m_dlg = std::make_unique<CQuendalDlg>();
        BoxRecorder::Clear();
    }
    void TearDown() override {
        m_dlg.reset();
        m_sim.reset();
    }
    CQuendalDlg& Dlg() { return *m_dlg; }
    std::int64_t TxCount() { return m_dlg->SendPanel().TxCount(); }
    std::int64_t RxCount() { return m_dlg->ReceiveMonitor().RxCount(); }
    QString Pane(int i) { return m_dlg->StatusBar()->PaneText(i); }
    QString Text(int id) {
        if (auto* edit = m_dlg->ControlAs<QLineEdit>(id)) {
            return edit->text();
        }
        return m_dlg->ControlAs<QComboBox>(id)->currentText();
    }
    void Open() {
        Dlg().ControlAs<QPushButton>(IDC_OPEN_PORT)->click();
        ASSERT_TRUE(Dlg().IsPortOpen());
        ASSERT_EQ(Pane(2), "STATUS：COM1 OPENED，9600,N,8,1");
    }
    void Close() { Dlg().ControlAs<QPushButton>(IDC_OPEN_PORT)->click(); }
    void ReadParams() {
        Dlg().ControlAs<QPushButton>(IDC_READ_PARAMS)->click();
        ASSERT_TRUE(WaitUntil([&] { return Pane(2) == "参数读取完毕！"; }, 5000)) << Pane(2).toStdString();
    }

    // Picks entry in the background menu, as a user does, and calls drive with the dialog it opens while
    // that dialog runs; true when it opened. The dialog is closed after drive.
    template <class Dialog>
    bool RunMenuDialog(const QString& entry, const std::function<void(Dialog&)>& drive) {
        bool driven = false;
        // Two timers: a timer's handler is not run again while it runs, and the pick runs the dialog.
        QTimer pick;
        QTimer driver;
        QObject::connect(&pick, &QTimer::timeout, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu) {
                return;
            }
            pick.stop();
            menu->close();
            for (QAction* action : menu->actions()) {
                if (action->text() == entry && action->isEnabled()) {
                    action->trigger();
                }
            }
        });
        QObject::connect(&driver, &QTimer::timeout, [&] {
            auto* dialog = Dlg().findChild<Dialog*>();
            if (dialog && dialog->isVisible()) {
                driver.stop();
                driven = true;
                drive(*dialog);
                dialog->reject();
            }
        });
        pick.start(20);
        driver.start(20);
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(10, 10), Dlg().mapToGlobal(QPoint(10, 10)));
        QApplication::sendEvent(m_dlg.get(), &event);
        return driven;
    }

    CPortDirFixture m_dir;
    std::unique_ptr<SimProcess> m_sim;
    std::unique_ptr<CQuendalDlg> m_dlg;
};

TEST_F(ExchangeE2E, ReadFillsTheFormAndTheSignalFollows) {
    StartSim();
    Open();
    const std::int64_t tx = TxCount();
    Dlg().ControlAs<QPushButton>(IDC_READ_PARAMS)->click();
    EXPECT_EQ(Pane(2), "正在读取参数...");
    EXPECT_EQ(Text(IDC_SIGNAL), "-");
    EXPECT_EQ(TxCount() - tx, 11);
    ASSERT_TRUE(WaitUntil([&] { return Pane(2) == "参数读取完毕！"; }));
    EXPECT_EQ(Text(IDC_APN), "CMNET");
    EXPECT_EQ(Text(IDC_MODULE_TYPE), "4G模组");
    EXPECT_EQ(Text(IDC_FIRMWARE_VERSION), "V0101");
    EXPECT_EQ(Text(IDC_NET_STATUS), "在线");
    EXPECT_EQ(Text(IDC_DEV_BAUD), "9600");
    // The signal query leaves 500 ms after the click; its answer lands in the signal field.
    ASSERT_TRUE(WaitUntil([&] { return Text(IDC_SIGNAL) != "-"; }, 5000));
    EXPECT_TRUE(Text(IDC_SIGNAL).startsWith(' ')) << Text(IDC_SIGNAL).toStdString();
    EXPECT_EQ(TxCount() - tx, 11 + 22);
    EXPECT_EQ(Pane(2), "参数读取完毕！");
}

TEST_F(ExchangeE2E, TwoReadsWithinHalfASecondGiveOneQuery) {
    StartSim();
    Open();
    const std::int64_t tx = TxCount();
    Dlg().OnReadParams();
    PumpFor(200);
    Dlg().OnReadParams();
    ASSERT_TRUE(WaitUntil([&] { return !Dlg().IsTimerRunning(TIMER_SIGNAL_QUERY); }, 5000));
    PumpFor(700);
    EXPECT_EQ(TxCount() - tx, 11 + 11 + 22);
}

TEST_F(ExchangeE2E, SaveIsStoredByTheDeviceAndReadBack) {
    StartSim();
    Open();
    ReadParams();
    Dlg().ControlAs<QLineEdit>(IDC_APN)->setText("3gnet");
    Dlg().ControlAs<QLineEdit>(IDC_REMOTE_PORT2)->setText("6001");
    const std::int64_t tx = TxCount();
    Dlg().ControlAs<QPushButton>(IDC_SAVE_PARAMS)->click();
    EXPECT_EQ(TxCount() - tx, 451);
    ASSERT_TRUE(WaitUntil([&] { return Pane(2) == "配置成功！"; })) << Pane(2).toStdString();
    const DeviceParams sent = Dlg().ParamsPanel().HeldParams();

    Dlg().ControlAs<QLineEdit>(IDC_APN)->setText("changed-here");
    PumpFor(600);  // let the first read's signal answer pass
    ReadParams();
    EXPECT_EQ(Text(IDC_APN), "3gnet");
    EXPECT_EQ(Text(IDC_REMOTE_PORT2), "6001");
    // The device keeps every field it was sent; it reports its own status and address.
    DeviceParams back = Dlg().ParamsPanel().HeldParams();
    back.status = 0;
    back.local_ip = {};
    back.checksum = sent.checksum;
    EXPECT_TRUE(back == sent);
}

TEST_F(ExchangeE2E, ARecordWithABrokenChecksumIsRefusedByTheDevice) {
    StartSim();
    Open();
    // The terminal can send a save frame by hand: "DTU+CONFIG=" and 440 zero bytes with checksum 0x01.
    QString hex;
    for (char c : std::string("DTU+CONFIG=")) {
        hex += QString("%1 ").arg(static_cast<unsigned char>(c), 2, 16, QChar('0'));
    }
    for (int i = 0; i < 439; ++i) {
        hex += "00 ";
    }
    hex += "01";
    Dlg().ControlAs<QCheckBox>(IDC_HEX_SEND)->setChecked(true);
    Dlg().ControlAs<QPlainTextEdit>(IDC_SEND_EDIT)->setPlainText(hex);
    Dlg().OnManualSend();
    ASSERT_TRUE(WaitUntil([&] { return Pane(2) == "配置失败！"; })) << Pane(2).toStdString();
}

TEST_F(ExchangeE2E, FactoryDefaultsAndRestart) {
    StartSim();
    Open();
    const std::int64_t tx = TxCount();
    Dlg().ControlAs<QPushButton>(IDC_FACTORY_DEFAULTS)->click();
    EXPECT_EQ(Pane(2), "正在恢复出厂设置...");
    ASSERT_TRUE(WaitUntil([&] { return Pane(2) == "已成功恢复出厂设置！"; }));
    Dlg().ControlAs<QPushButton>(IDC_REBOOT_DEVICE)->click();
    EXPECT_EQ(Pane(2), "正在重启设备...");
    ASSERT_TRUE(WaitUntil([&] { return Pane(2) == "设备已重启！"; }));
    EXPECT_EQ(TxCount() - tx, 19 + 17);
    EXPECT_FALSE(Dlg().IsTimerRunning(TIMER_SIGNAL_QUERY));
}

TEST_F(ExchangeE2E, CommandsWithThePortClosedAreRefused) {
    StartSim();
    const QString pane = Pane(2);
    const QString tx = Dlg().ControlAs<QLabel>(IDC_TX_COUNT)->text();
    for (int id : {IDC_READ_PARAMS, IDC_SAVE_PARAMS, IDC_FACTORY_DEFAULTS, IDC_REBOOT_DEVICE}) {
        BoxRecorder::Clear();
        Dlg().ControlAs<QPushButton>(id)->click();
        ASSERT_EQ(BoxRecorder::Boxes().size(), 1u) << id;
        EXPECT_EQ(BoxRecorder::Boxes()[0].text, "串口没有打开，请打开串口");
        EXPECT_EQ(Pane(2), pane);
        EXPECT_EQ(Dlg().ControlAs<QLabel>(IDC_TX_COUNT)->text(), tx);
    }
    EXPECT_FALSE(Dlg().IsTimerRunning(TIMER_SIGNAL_QUERY));
}

TEST_F(ExchangeE2E, TheQueryWaitsForTheReopenedPort) {
    StartSim();
    Open();
    Dlg().OnReadParams();
    Close();
    const std::int64_t tx = TxCount();
    PumpFor(800);
    EXPECT_EQ(TxCount(), tx);
    EXPECT_TRUE(Dlg().IsTimerRunning(TIMER_SIGNAL_QUERY));
    ASSERT_TRUE(WaitUntil([&] { return !Dlg().IsPortOpen(); }, 2000));
    Open();
    ASSERT_TRUE(WaitUntil([&] { return TxCount() == tx + 22; }, 3000));
    EXPECT_FALSE(Dlg().IsTimerRunning(TIMER_SIGNAL_QUERY));
}

TEST_F(ExchangeE2E, ARecordSplitByALongPauseIsLost) {
    StartSim({"--split", "150"});
    Open();
    const std::int64_t rx = RxCount();
    Dlg().OnReadParams();
    PumpFor(1500);
    // The whole answer arrived, in two frames that each fall short of a record.
    EXPECT_GE(RxCount() - rx, 448);
    EXPECT_EQ(Pane(2), "正在读取参数...");
    EXPECT_TRUE(Text(IDC_APN).isEmpty());
}

// At 9600 baud the save frame needs about 470 ms on the line; closing the port or the window right after
// the click still lets the device have all of it.
TEST_F(ExchangeE2E, SaveThenCloseAtOnceStillDeliversTheWholeRecord) {
    for (const bool closeWindow : {false, true}) {
        SCOPED_TRACE(closeWindow ? "window closed" : "port closed");
        const std::string out = m_dir.Path() + "/record-" + std::to_string(closeWindow) + ".bin";
        StartSim({"--record-out", out});
        Open();
        ReadParams();
        Dlg().ControlAs<QLineEdit>(IDC_APN)->setText(closeWindow ? "window" : "port");
        Dlg().ControlAs<QPushButton>(IDC_SAVE_PARAMS)->click();
        const auto sent = Dlg().ParamsPanel().HeldParams().Bytes();
        if (closeWindow) {
            m_dlg.reset();
        } else {
            Close();
        }
        ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(out); }, 5000));
        std::ifstream file(out, std::ios::binary);
        const std::vector<char> stored((std::istreambuf_iterator<char>(file)),
                                       std::istreambuf_iterator<char>());
        ASSERT_EQ(stored.size(), sent.size());
        EXPECT_TRUE(std::equal(sent.begin(), sent.end(), stored.begin(),
                               [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); }));
        m_dlg.reset();
        m_sim.reset();
    }
}

// "断线自动重连" against the simulated DTU: the simulator ends, and its pseudo-terminal with it, as an
// adapter pulled out; started again on the same COM1 it is opened again by the window itself, which reads
// from it.
TEST_F(ExchangeE2E, ReconnectOpensTheRestartedDeviceAgainAndReadsFromIt) {
    StartSim();
    Dlg().PortPanel().SetReconnectOnLoss(true);
    Open();
    ReadParams();

    m_sim.reset();
    ASSERT_TRUE(WaitUntil([&] { return Dlg().PortPanel().IsWaitingForDevice(); }, 5000));
    ASSERT_TRUE(WaitUntil([&] { return !Dlg().IsPortOpen(); }, 5000));
    EXPECT_EQ(Pane(2), "STATUS：COM1 已断开，等待设备重新接入");
    EXPECT_TRUE(BoxRecorder::Boxes().empty());

    m_sim = std::make_unique<SimProcess>(std::vector<std::string>{},
                                         std::filesystem::path(m_dir.Path()) / "sim2.log");
    ASSERT_TRUE(m_sim->Started());
    ASSERT_TRUE(WaitUntil([&] { return Dlg().IsPortOpen(); }, 10000));
    EXPECT_FALSE(Dlg().PortPanel().IsWaitingForDevice());
    EXPECT_EQ(Pane(1), "串口已打开");
    EXPECT_EQ(Pane(2), "STATUS：COM1 OPENED，9600,N,8,1");
    ReadParams();
    EXPECT_EQ(Text(IDC_APN), "CMNET");
    EXPECT_TRUE(BoxRecorder::Boxes().empty());
}

}  // namespace

namespace {

// The row of the item that asked command (each row's first cell names its command in its tooltip).
int RowAsking(QTableWidget* table, std::string_view command) {
    for (int row = 0; row < table->rowCount(); ++row) {
        if (table->item(row, 0) && table->item(row, 0)->toolTip().contains(QString::fromUtf8(command))) {
            return row;
        }
    }
    return -1;
}

QString Cell(QTableWidget* table, int row, int column) {
    const QTableWidgetItem* item = row >= 0 ? table->item(row, column) : nullptr;
    return item ? item->text() : QString("(no row)");
}

// Why is the unit offline, and which unit is it: the window's diagnosis against the paced simulator in
// each of the module's states.
TEST_F(ExchangeE2E, DiagnosisNamesWhatKeepsTheUnitOfflineAndWhichUnitItIs) {
    const struct {
        std::vector<std::string> sim;
        Verdict verdict;
        bool iccid;  // the SIM gives its ICCID
        bool imsi;   // and its IMSI
    } cases[] = {
        {{"--sim", "ready"}, Verdict::LooksFine, true, true},
        {{"--sim", "absent"}, Verdict::NoSim, false, false},
        {{"--sim", "pin"}, Verdict::PinNeeded, true, false},
        {{"--registration", "home"}, Verdict::LooksFine, true, true},
        {{"--registration", "roaming"}, Verdict::LooksFine, true, true},
        {{"--registration", "searching"}, Verdict::NotRegistered, true, true},
        {{"--registration", "denied"}, Verdict::RegistrationDenied, true, true},
        {{"--registration", "unknown"}, Verdict::NotRegistered, true, true},
        {{"--lte"}, Verdict::LooksFine, true, true},
        {{"--no-ccid"}, Verdict::LooksFine, true, true},
    };
    for (const auto& c : cases) {
        const std::string state = c.sim.front() + (c.sim.size() > 1 ? " " + c.sim[1] : "");
        SCOPED_TRACE(state);
        StartSim(c.sim);
        Open();
        ReadParams();  // the record's APN, for the module's to be compared with
        PumpFor(600);  // and the read's own signal answer out of the way
        std::optional<Diagnosis> result;
        QString verdict;
        QString label;
        std::map<std::string, QString> value;
        std::map<std::string, QString> meaning;
        const bool opened = RunMenuDialog<CDiagnosisDlg>("网络诊断...", [&](CDiagnosisDlg& dialog) {
            ASSERT_TRUE(WaitUntil([&] { return dialog.Result().has_value(); }, 30000));
            result = dialog.Result();
            verdict = dialog.VerdictText();
            label = dialog.findChild<QLabel*>()->text();
            for (const std::string_view command :
                 {kQuerySim, kQueryImei, kQueryIccid, kQueryImsi, kQueryFirmware, kQueryEpsRegistration,
                  kQueryCsq, kQueryCesq, kQueryContexts}) {
                const int row = RowAsking(dialog.Table(), command);
                value[std::string(command)] = Cell(dialog.Table(), row, 1);
                meaning[std::string(command)] = Cell(dialog.Table(), row, 2);
            }
        });
        ASSERT_TRUE(opened);
        ASSERT_TRUE(result);
        // Why: the verdict, in the window's words, in the line above the table.
        EXPECT_EQ(result->verdict, c.verdict) << result->verdictLine;
        EXPECT_TRUE(verdict.startsWith("结论：" + QString::fromUtf8(VerdictTextZh(c.verdict))))
            << verdict.toStdString();
        EXPECT_EQ(label, verdict);
        // Which unit: the identity the simulated module was given, shown in its rows.
        const std::string imei = m_sim->Said("module IMEI ");
        const std::string iccid = m_sim->Said("ICCID ");
        EXPECT_EQ(value["AT+CGSN"].toStdString(), imei);
        EXPECT_EQ(result->identity.imei, imei);
        EXPECT_EQ(result->identity.iccid, c.iccid ? iccid : "");
        if (c.iccid) {
            EXPECT_EQ(value["AT+CCID"].toStdString(), iccid);
        }
        EXPECT_EQ(result->identity.imsi.size(), c.imsi ? 15u : 0u) << result->identity.imsi;
        EXPECT_FALSE(result->identity.firmware.empty());
        // Without AT+CCID the ICCID comes from the SIM's own file.
        const auto iccidItem = std::find_if(result->items.begin(), result->items.end(), [](const auto& item) {
            return item.command.starts_with(kQueryIccid);
        });
        ASSERT_NE(iccidItem, result->items.end());
        if (c.iccid) {
            EXPECT_EQ(iccidItem->command.find("AT+CRSM") != std::string::npos, c.sim.front() == "--no-ccid")
                << iccidItem->command;
        }
        // On LTE the signal is in AT+CESQ's RSRP; elsewhere in AT+CSQ.
        const bool lte = c.sim.front() == "--lte";
        EXPECT_EQ(value["AT+CESQ"].contains("RSRP"), lte) << value["AT+CESQ"].toStdString();
        EXPECT_EQ(value["AT+CSQ"].contains("dBm"), !lte) << value["AT+CSQ"].toStdString();
        // The module's APN is the record's.
        EXPECT_TRUE(value["AT+CGDCONT?"].contains("CMNET")) << value["AT+CGDCONT?"].toStdString();
        m_dlg.reset();
        m_sim.reset();
    }
}

// An installer's survey: samples at the chosen interval into the table, min / mean / max, and the CSV.
TEST_F(ExchangeE2E, SignalMonitorSamplesAndSavesTheSurvey) {
    for (const bool lte : {false, true}) {
        SCOPED_TRACE(lte ? "LTE" : "GSM");
        StartSim(lte ? std::vector<std::string>{"--lte"} : std::vector<std::string>{});
        Open();
        const std::string csvPath = m_dir.Path() + "/survey-" + std::to_string(lte) + ".csv";
        std::vector<SignalSample> samples;
        QString stats;
        bool saved = false;
        const bool opened = RunMenuDialog<CSignalMonitorDlg>("信号监测...", [&](CSignalMonitorDlg& dialog) {
            EXPECT_TRUE(dialog.Surveying());
            dialog.IntervalBox()->setValue(1);
            ASSERT_TRUE(WaitUntil([&] { return dialog.Samples().size() >= 4 && !dialog.Polling(); }, 15000));
            dialog.StopSurvey();
            samples = dialog.Samples();
            stats = dialog.StatsText();
            EXPECT_EQ(dialog.Table()->model()->rowCount(), static_cast<int>(samples.size()));
            saved = dialog.SaveTo(QString::fromStdString(csvPath));
        });
        ASSERT_TRUE(opened);
        ASSERT_TRUE(saved);
        ASSERT_GE(samples.size(), 4u);
        for (std::size_t i = 0; i < samples.size(); ++i) {
            SCOPED_TRACE(i);
            const SignalSample& s = samples[i];
            // The simulated signal keeps within CSQ 18 to 26; on LTE AT+CSQ says 99 and AT+CESQ has it.
            if (lte) {
                EXPECT_EQ(s.csq, 99);
                EXPECT_TRUE(s.rsrp.known);
                EXPECT_NE(s.rsrpGrade, SignalGrade::Unknown);
            } else {
                ASSERT_TRUE(s.csq);
                EXPECT_GE(*s.csq, 18);
                EXPECT_LE(*s.csq, 26);
                EXPECT_FALSE(s.rsrp.known);
            }
            EXPECT_GE(s.seconds, i == 0 ? 0.0 : samples[i - 1].seconds);
        }
        // Every poll the module answered is a sample, with the value the module gave.
        std::vector<int> said;
        const std::string log = m_sim->Log();
        for (std::size_t at = log.find("-> +CSQ: "); at != std::string::npos;
             at = log.find("-> +CSQ: ", at + 1)) {
            said.push_back(std::stoi(log.substr(at + 9)));
        }
        std::vector<int> shown;
        for (const SignalSample& s : samples) {
            shown.push_back(s.csq.value_or(-1));
        }
        EXPECT_EQ(shown, said);
        EXPECT_TRUE(stats.contains(lte ? "RSRP" : "CSQ")) << stats.toStdString();
        const std::string csv = ReadFile(csvPath);
        EXPECT_TRUE(csv.starts_with("time,seconds,csq,csq_dbm,csq_grade,rsrp_dbm,rsrq_db,rsrp_grade\r\n"))
            << csv;
        EXPECT_EQ(static_cast<std::size_t>(std::count(csv.begin(), csv.end(), '\n')), samples.size() + 1)
            << csv;
        m_dlg.reset();
        m_sim.reset();
    }
}

}  // namespace

namespace {

// A diagnosis opened right after a read: the read's own signal query (due 500 ms after the click) waits
// until the dialog is done, so its answer is never taken for a diagnosis query's, and goes out after.
TEST_F(ExchangeE2E, ADiagnosisRightAfterAReadKeepsEachAnswerToItsQuery) {
    StartSim();
    Open();
    Dlg().ControlAs<QPushButton>(IDC_READ_PARAMS)->click();
    std::optional<Diagnosis> result;
    ASSERT_TRUE(RunMenuDialog<CDiagnosisDlg>("网络诊断...", [&](CDiagnosisDlg& dialog) {
        ASSERT_TRUE(WaitUntil([&] { return dialog.Result().has_value(); }, 30000));
        result = dialog.Result();
    }));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->verdict, Verdict::LooksFine) << result->verdictLine;
    EXPECT_EQ(result->identity.imei, m_sim->Said("module IMEI "));
    EXPECT_EQ(result->identity.iccid, m_sim->Said("ICCID "));
    EXPECT_EQ(result->identity.imsi.size(), 15u) << result->identity.imsi;
    EXPECT_EQ(result->identity.firmware, "QS4G1R02A05");
    for (const DiagnosisItem& item : result->items) {
        EXPECT_EQ(item.status, ItemStatus::Ok) << item.command << ": " << item.raw;
    }
    // Once the dialog is closed the read's query goes out (its timer stops when it is sent).
    const std::int64_t tx = TxCount();
    ASSERT_TRUE(WaitUntil([&] { return !Dlg().IsTimerRunning(TIMER_SIGNAL_QUERY); }, 3000));
    EXPECT_EQ(TxCount() - tx, 22);
    EXPECT_NE(Text(IDC_SIGNAL), "-");
}

}  // namespace
