// The port panel as a user works it: choosing the port and line settings, opening and closing a pty linked
// as COM1, the refusals, and what the status bar says at each step.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>

#include "app/modem_lines_view.h"
#include "app/port_panel.h"
#include "app/quendal_dlg.h"
#include "app/receive_monitor.h"
#include "app/status_bar.h"
#include "serial/mode_text.h"
#include "serial/modem_lines.h"
#include "serial/termios_posix.h"
#include "tests/support/gui_support.h"
#include "tests/support/pty_fixture.h"

namespace {

constexpr int kPortLists[] = {IDC_PORT_COMBO, IDC_PORT_BAUD, IDC_PORT_PARITY, IDC_PORT_DATABITS,
                              IDC_PORT_STOPBITS};

class PortPanel : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_pty.IsValid()) << m_pty.Error();
        ASSERT_FALSE(m_pty.LinkAs(m_dir.Path(), 1).empty()) << m_pty.Error();
        m_dlg = std::make_unique<CQuendalDlg>();
        BoxRecorder::Clear();
    }
    void Choose(int id, int index) {
        // As the user's choice arrives: the selection changes, then the list reports it.
        auto* combo = m_dlg->ControlAs<QComboBox>(id);
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }
    QPushButton* OpenButton() { return m_dlg->ControlAs<QPushButton>(IDC_OPEN_PORT); }
    QString Pane(int i) { return m_dlg->StatusBar()->PaneText(i); }
    bool ListsEnabled(bool enabled) {
        for (int id : kPortLists) {
            if (m_dlg->Control(id)->isEnabled() != enabled) {
                return false;
            }
        }
        return true;
    }

    CPortDirFixture m_dir;
    CPtyFixture m_pty;
    std::unique_ptr<CQuendalDlg> m_dlg;
};

TEST_F(PortPanel, ChoosingAPortShowsItAndOtherSettingsShowNothing) {
    Choose(IDC_PORT_COMBO, 4);
    EXPECT_EQ(Pane(0), "COM5");
    const QString panes[] = {Pane(0), Pane(1), Pane(2)};
    Choose(IDC_PORT_BAUD, 6);  // 19200
    Choose(IDC_PORT_PARITY, 2);
    EXPECT_EQ(Pane(0), panes[0]);
    EXPECT_EQ(Pane(1), panes[1]);
    EXPECT_EQ(Pane(2), panes[2]);
    // Each item names the device it stands for.
    auto* ports = m_dlg->ControlAs<QComboBox>(IDC_PORT_COMBO);
    EXPECT_EQ(ports->itemData(10, Qt::ToolTipRole).toString(), "/dev/ttyACM0");
}

TEST_F(PortPanel, OpenAndCloseCOM1) {
    OpenButton()->click();
    ASSERT_TRUE(m_dlg->IsPortOpen());
    EXPECT_EQ(Pane(2), "STATUS：COM1 OPENED，9600,N,8,1");
    EXPECT_EQ(Pane(1), "串口已打开");
    EXPECT_EQ(OpenButton()->text(), "关闭串口");
    EXPECT_TRUE(ListsEnabled(false));
    EXPECT_TRUE(BoxRecorder::Boxes().empty());

    OpenButton()->click();
    EXPECT_EQ(Pane(2), "STATUS：COM Port Closed");
    EXPECT_EQ(Pane(1), "串口已关闭");
    EXPECT_EQ(OpenButton()->text(), "打开串口");
    EXPECT_TRUE(ListsEnabled(true));
    EXPECT_TRUE(WaitUntil([&] { return !m_dlg->IsPortOpen(); }, 2000));
}

TEST_F(PortPanel, SettingsTravelToTheLineAndIntoTheStatusText) {
    Choose(IDC_PORT_BAUD, 11);  // the last item, 115200
    Choose(IDC_PORT_PARITY, 2);
    Choose(IDC_PORT_DATABITS, 1);
    Choose(IDC_PORT_STOPBITS, 1);
    OpenButton()->click();
    ASSERT_TRUE(m_dlg->IsPortOpen());
    EXPECT_EQ(Pane(2), "STATUS：COM1 OPENED，115200,E,7,2");
    TermiosValue settings;
    ASSERT_EQ(OsGetSettings(m_pty.SlaveFd(), settings), 0);
    EXPECT_EQ(settings.ospeed, 115200u);

    OpenButton()->click();
    Choose(IDC_PORT_BAUD, 8);  // 43000, outside the usual series
    Choose(IDC_PORT_PARITY, 0);
    Choose(IDC_PORT_DATABITS, 0);
    Choose(IDC_PORT_STOPBITS, 0);
    OpenButton()->click();
    ASSERT_TRUE(m_dlg->IsPortOpen());
    EXPECT_EQ(Pane(2), "STATUS：COM1 OPENED，43000,N,8,1");
    ASSERT_EQ(OsGetSettings(m_pty.SlaveFd(), settings), 0);
    EXPECT_EQ(settings.ospeed, 43000u);
    EXPECT_TRUE(BoxRecorder::Boxes().empty());
}

TEST_F(PortPanel, AnAbsentPortIsRefusedAndTheNextClickTriesAgain) {
    Choose(IDC_PORT_COMBO, 6);  // COM7: neither in the port directory nor present here
    for (int attempt = 0; attempt < 2; ++attempt) {
        BoxRecorder::Clear();
        OpenButton()->click();
        ASSERT_EQ(BoxRecorder::Boxes().size(), 1u) << attempt;
        EXPECT_EQ(BoxRecorder::Boxes()[0].text, "没有发现此串口或被占用");
        EXPECT_EQ(Pane(2), "");
        EXPECT_EQ(OpenButton()->text(), "打开串口");
        EXPECT_TRUE(ListsEnabled(true));
        EXPECT_FALSE(m_dlg->IsPortOpen());
    }
}

TEST_F(PortPanel, ANameThatLeadsToNoTerminalIsRefusedWithItsReasonInTheList) {
    const std::string link = m_dir.Path() + "/COM2";
    ASSERT_EQ(symlink("/dev/null", link.c_str()), 0);
    Choose(IDC_PORT_COMBO, 1);
    OpenButton()->click();
    ASSERT_EQ(BoxRecorder::Boxes().size(), 1u);
    EXPECT_EQ(BoxRecorder::Boxes()[0].text, "没有发现此串口或被占用");
    EXPECT_FALSE(m_dlg->IsPortOpen());
    EXPECT_EQ(m_dlg->ControlAs<QComboBox>(IDC_PORT_COMBO)->itemData(1, Qt::ToolTipRole).toString(),
              QString::fromStdString(link + " -> /dev/null is a character device but not a terminal"));
}

TEST_F(PortPanel, APortHeldByAnotherWindowIsRefused) {
    OpenButton()->click();
    ASSERT_TRUE(m_dlg->IsPortOpen());
    CQuendalDlg other;
    other.ControlAs<QPushButton>(IDC_OPEN_PORT)->click();
    ASSERT_EQ(BoxRecorder::Boxes().size(), 1u);
    EXPECT_EQ(BoxRecorder::Boxes()[0].text, "没有发现此串口或被占用");
    EXPECT_FALSE(other.IsPortOpen());
}

TEST_F(PortPanel, ClosingWhileAutoSendIsTickedIsRefused) {
    OpenButton()->click();
    ASSERT_TRUE(m_dlg->IsPortOpen());
    m_dlg->ControlAs<QCheckBox>(IDC_AUTO_SEND)->click();
    ASSERT_TRUE(m_dlg->IsTimerRunning(TIMER_AUTO_SEND));
    OpenButton()->click();
    ASSERT_EQ(BoxRecorder::Boxes().size(), 1u);
    EXPECT_EQ(BoxRecorder::Boxes()[0].text, "请先关掉自动发送");
    EXPECT_EQ(OpenButton()->text(), "关闭串口");
    EXPECT_TRUE(m_dlg->IsPortOpen());
    // Once auto send is off the same button closes.
    m_dlg->ControlAs<QCheckBox>(IDC_AUTO_SEND)->click();
    OpenButton()->click();
    EXPECT_EQ(OpenButton()->text(), "打开串口");
}

// The rates above 115200 follow the list's own twelve, which keep their order and indexes.
TEST_F(PortPanel, HigherRatesFollowTheUsualOnesAndReachTheLine) {
    auto* bauds = m_dlg->ControlAs<QComboBox>(IDC_PORT_BAUD);
    QStringList items;
    for (int i = 0; i < bauds->count(); ++i) {
        items << bauds->itemText(i);
    }
    EXPECT_EQ(items.join(' '),
              "300 600 1200 2400 4800 9600 19200 38400 43000 56000 57600 115200 230400 250000 460800 500000 "
              "576000 921600 1000000 1152000 1500000 2000000 2500000 3000000");
    for (const auto& [index, rate] : {std::pair{12, 230400}, std::pair{17, 921600}, std::pair{23, 3000000}}) {
        SCOPED_TRACE(rate);
        Choose(IDC_PORT_BAUD, index);
        OpenButton()->click();
        ASSERT_TRUE(m_dlg->IsPortOpen());
        EXPECT_EQ(Pane(2), QString("STATUS：COM1 OPENED，%1,N,8,1").arg(rate));
        TermiosValue settings;
        ASSERT_EQ(OsGetSettings(m_pty.SlaveFd(), settings), 0);
        EXPECT_EQ(settings.ospeed, static_cast<std::uint32_t>(rate));
        OpenButton()->click();
        ASSERT_TRUE(WaitUntil([&] { return !m_dlg->IsPortOpen(); }, 2000));
    }
    EXPECT_TRUE(BoxRecorder::Boxes().empty());
}

// The panel's menu covers its row and the status bar: DTR and RTS only while a port with modem lines is
// open (a pseudo-terminal has none, so here they stay greyed), the reconnect option always. The modem lines
// show at the end of the status bar while the port is open, and only then.
TEST_F(PortPanel, MenuAndModemLinesFollowThePort) {
    CPortPanel& panel = m_dlg->PortPanel();
    EXPECT_TRUE(panel.MenuCovers(OpenButton()->geometry().center()));
    EXPECT_TRUE(panel.MenuCovers(m_dlg->StatusBar()->geometry().center()));
    EXPECT_FALSE(panel.MenuCovers(m_dlg->Control(IDC_READ_PARAMS)->geometry().center()));
    auto entries = [&] {
        QMenu menu;
        panel.FillContextMenu(menu);
        QStringList shown;
        for (QAction* action : menu.actions()) {
            if (!action->isSeparator()) {
                shown << action->text() + (action->isEnabled() ? "" : " (off)") +
                             (action->isChecked() ? " [x]" : "");
            }
        }
        return shown.join(", ");
    };
    const QString greyed =
        "DTR 置位 (off), DTR 清除 (off), DTR 脉冲（100 毫秒） (off), RTS 置位 (off), RTS 清除 (off), "
        "RTS 脉冲（100 毫秒） (off), 断线自动重连, 端口映射...";
    EXPECT_EQ(entries(), greyed);
    EXPECT_FALSE(panel.ModemLinesShown());

    OpenButton()->click();
    ASSERT_TRUE(m_dlg->IsPortOpen());
    EXPECT_TRUE(panel.ModemLinesShown());
    EXPECT_EQ(panel.LitModemLines(), "");
    EXPECT_EQ(entries(), greyed);
    // Choosing an entry that cannot act does nothing.
    panel.SetModemLine(kLineDtr, false);
    panel.PulseModemLine(kLineRts);
    EXPECT_TRUE(m_dlg->IsPortOpen());

    OpenButton()->click();
    EXPECT_FALSE(panel.ModemLinesShown());
    EXPECT_TRUE(BoxRecorder::Boxes().empty());

    // What a port with modem lines shows, lit by what the engine last read.
    QLabel pane;
    pane.resize(350, 22);
    CModemLinesView view(&pane);
    for (const auto& [status, lit] :
         {std::pair{CModemControl::Status{true, kLineCts | kLineDcd | kLineDtr}, "CTS DCD"},
          std::pair{CModemControl::Status{true, kLineDsr | kLineRi}, "DSR RI"},
          std::pair{CModemControl::Status{false, kLineCts}, ""}}) {
        view.Show(status);
        EXPECT_TRUE(view.IsShown());
        EXPECT_EQ(view.LitLines(), lit);
    }
    view.Hide();
    EXPECT_FALSE(view.IsShown());
}

// "断线自动重连": a lost device closes the port without a box and the panel waits; when the device is back
// under the same name the port opens again with the same settings and reads. A click stops the wait.
TEST_F(PortPanel, ReconnectWaitsForTheDeviceAndReopensIt) {
    CPortPanel& panel = m_dlg->PortPanel();
    QMenu menu;
    panel.FillContextMenu(menu);
    const QList<QAction*> actions = menu.actions();
    const auto reconnect = std::find_if(actions.begin(), actions.end(), [](QAction* a) {
        return a->text() == QString::fromUtf8("断线自动重连");
    });
    ASSERT_NE(reconnect, actions.end());
    (*reconnect)->trigger();
    ASSERT_TRUE(panel.ReconnectOnLoss());
    Choose(IDC_PORT_BAUD, 17);  // 921600
    OpenButton()->click();
    ASSERT_TRUE(m_dlg->IsPortOpen());

    m_pty.CloseMaster();
    ASSERT_TRUE(WaitUntil([&] { return panel.IsWaitingForDevice(); }));
    EXPECT_TRUE(BoxRecorder::Boxes().empty());
    EXPECT_EQ(Pane(1), "等待重新连接");
    EXPECT_EQ(Pane(2), "STATUS：COM1 已断开，等待设备重新接入");
    EXPECT_EQ(OpenButton()->text(), "关闭串口");
    EXPECT_TRUE(ListsEnabled(false));
    ASSERT_TRUE(WaitUntil([&] { return !m_dlg->IsPortOpen(); }));

    CPtyFixture back;
    ASSERT_TRUE(back.IsValid());
    ASSERT_FALSE(back.LinkAs(m_dir.Path(), 1).empty());
    ASSERT_TRUE(WaitUntil([&] { return m_dlg->IsPortOpen(); }));
    EXPECT_FALSE(panel.IsWaitingForDevice());
    EXPECT_EQ(Pane(1), "串口已打开");
    EXPECT_EQ(Pane(2), "STATUS：COM1 OPENED，921600,N,8,1");
    TermiosValue settings;
    ASSERT_EQ(OsGetSettings(back.SlaveFd(), settings), 0);
    EXPECT_EQ(settings.ospeed, 921600u);
    ASSERT_TRUE(back.Write("back", std::chrono::milliseconds(5000)));
    EXPECT_TRUE(WaitUntil([&] { return m_dlg->ReceiveMonitor().RxCount() == 4; }));

    back.CloseMaster();
    ASSERT_TRUE(WaitUntil([&] { return panel.IsWaitingForDevice(); }));
    OpenButton()->click();
    EXPECT_FALSE(panel.IsWaitingForDevice());
    EXPECT_EQ(Pane(1), "串口已关闭");
    EXPECT_EQ(Pane(2), "STATUS：COM Port Closed");
    EXPECT_EQ(OpenButton()->text(), "打开串口");
    EXPECT_TRUE(ListsEnabled(true));
    EXPECT_TRUE(BoxRecorder::Boxes().empty());
}

}  // namespace
