// The device exchange end to end: the window against the simulated DTU on a pseudo-terminal linked as
// COM1 in a private port directory. Timers are the real 100 ms / 500 ms ones; every wait has a deadline.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/params_panel.h"
#include "app/quendal_dlg.h"
#include "app/receive_monitor.h"
#include "app/send_panel.h"
#include "app/status_bar.h"
#include "protocol/device_params.h"
#include "tests/support/gui_support.h"
#include "tests/support/pty_fixture.h"

extern char** environ;

namespace {

const char* const kSimPath = QUENDAL_BINARY_DIR "/tools/dtu-sim/dtu-sim";

class SimProcess {
  public:
    explicit SimProcess(std::vector<std::string> extra) {
        std::vector<std::string> args = {kSimPath, "--com", "1", "--quiet"};
        args.insert(args.end(), extra.begin(), extra.end());
        std::vector<char*> argv;
        for (std::string& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, kSimPath, nullptr, nullptr, argv.data(), environ) != 0) {
            m_pid = -1;
        }
    }
    ~SimProcess() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            int status = 0;
            waitpid(m_pid, &status, 0);
        }
    }
    bool Started() const { return m_pid > 0; }

  private:
    pid_t m_pid = -1;
};

class ExchangeE2E : public ::testing::Test {
  protected:
    void StartSim(std::vector<std::string> extra = {}) {
        m_sim = std::make_unique<SimProcess>(std::move(extra));
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

    m_sim = std::make_unique<SimProcess>(std::vector<std::string>{});
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
