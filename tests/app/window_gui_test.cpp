// The window as a user first meets it: start state, sizes, keys, focus order and the controls' kinds.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <system_error>

#include "app/about_dlg.h"
#include "app/qt_param_form.h"
#include "app/quendal_dlg.h"
#include "app/status_bar.h"
#include "quendal_version.h"
#include "res/main_layout.h"
#include "tests/support/gui_support.h"
#include "tests/support/pty_fixture.h"

namespace {

QString ComboText(CQuendalDlg& dlg, int id) {
    return dlg.ControlAs<QComboBox>(id)->currentText();
}

TEST(Window, GbkCodecIsAvailable) {
    ASSERT_TRUE(GbkCodecAvailable()) << "Qt was built without ICU/GBK";
}

TEST(Window, StartState) {
    CQuendalDlg dlg;
    EXPECT_EQ(dlg.windowTitle(), "Quendal(V" QUENDAL_VERSION_SHOWN ")");
    EXPECT_EQ(dlg.width(), 550);
    EXPECT_EQ(dlg.StatusBar()->PaneText(0), "COM1");
    EXPECT_EQ(dlg.StatusBar()->PaneText(1), "串口已关闭");
    EXPECT_EQ(dlg.StatusBar()->PaneText(2), "请选择正确的串口号及参数并打开串口.");
    EXPECT_EQ(ComboText(dlg, IDC_PORT_COMBO), "COM1");
    EXPECT_EQ(ComboText(dlg, IDC_PORT_BAUD), "9600");
    EXPECT_EQ(ComboText(dlg, IDC_PORT_PARITY), "NONE");
    EXPECT_EQ(ComboText(dlg, IDC_PORT_DATABITS), "8");
    EXPECT_EQ(ComboText(dlg, IDC_PORT_STOPBITS), "1");
    EXPECT_EQ(dlg.ControlAs<QPushButton>(IDC_OPEN_PORT)->text(), "打开串口");
    EXPECT_EQ(dlg.ControlAs<QLabel>(IDC_TX_COUNT)->text(), "TX:");
    EXPECT_EQ(dlg.ControlAs<QLabel>(IDC_RX_COUNT)->text(), "RX:0");
    EXPECT_FALSE(dlg.Control(IDC_DEVICE_TYPE)->isEnabled());
    EXPECT_TRUE(dlg.ControlAs<QCheckBox>(IDC_AUTO_CLEAR)->isChecked());
    EXPECT_FALSE(dlg.ControlAs<QCheckBox>(IDC_AUTO_SEND)->isChecked());
    EXPECT_EQ(dlg.ControlAs<QLineEdit>(IDC_AUTO_SEND_PERIOD)->text(), "1000");
    EXPECT_EQ(dlg.ControlAs<QLineEdit>(IDC_APN_PASSWORD)->echoMode(), QLineEdit::Normal);
    EXPECT_FALSE(dlg.ControlAs<QPlainTextEdit>(IDC_RECEIVE_EDIT)->isReadOnly());
    EXPECT_FALSE(dlg.ControlAs<QPlainTextEdit>(IDC_SEND_EDIT)->isReadOnly());
    for (int id : {IDC_MODULE_TYPE, IDC_FIRMWARE_VERSION, IDC_SIGNAL, IDC_NET_STATUS, IDC_LOCAL_IP}) {
        EXPECT_FALSE(dlg.Control(id)->isEnabled()) << id;
    }
    for (int id : {IDC_TX_COUNT, IDC_RX_COUNT}) {
        EXPECT_EQ(dlg.ControlAs<QLabel>(id)->frameShadow(), QFrame::Sunken) << id;
    }
    EXPECT_EQ(dlg.focusWidget(), dlg.Control(IDC_PORT_COMBO));
    // A coarse timer may fire 5 % early: a 95 ms pause would end a frame.
    const auto timers = dlg.findChildren<QTimer*>();
    EXPECT_GE(timers.size(), 3);
    for (const QTimer* timer : timers) {
        EXPECT_EQ(timer->timerType(), Qt::PreciseTimer);
    }
}

TEST(Window, FormCombosStartEmptyAndEditable) {
    CQuendalDlg dlg;
    for (int id : {IDC_DEV_BAUD, IDC_DEV_DATABITS, IDC_DEV_STOPBITS, IDC_DEV_PARITY, IDC_COMM_MODE,
                   IDC_COMM_TYPE, IDC_POSITIONING, IDC_DEVICE_TYPE}) {
        auto* combo = dlg.ControlAs<QComboBox>(id);
        EXPECT_TRUE(combo->isEditable()) << id;
        EXPECT_EQ(combo->currentIndex(), -1) << id;
        EXPECT_TRUE(combo->currentText().isEmpty()) << id;
    }
    for (int id : {IDC_PORT_COMBO, IDC_PORT_BAUD, IDC_PORT_PARITY, IDC_PORT_DATABITS, IDC_PORT_STOPBITS}) {
        EXPECT_FALSE(dlg.ControlAs<QComboBox>(id)->isEditable()) << id;
    }
}

TEST(Window, DebugToggleWidensAndNarrowsWithTheLeftEdgeFixed) {
    CQuendalDlg dlg;
    auto* toggle = dlg.ControlAs<QPushButton>(IDC_DEBUG_TOGGLE);
    const int left = dlg.x();
    const int statusWidth = dlg.StatusBar()->width();
    toggle->click();
    EXPECT_EQ(dlg.width(), 900);
    EXPECT_EQ(toggle->text(), "调试<<");
    EXPECT_EQ(dlg.x(), left);
    EXPECT_EQ(dlg.StatusBar()->width(), statusWidth);
    // The whole terminal group is inside the wide client area, none of it inside the narrow one.
    const QRect group = dlg.Control(IDC_TERMINAL_GROUP)->geometry();
    EXPECT_LE(group.right(), dlg.width());
    toggle->click();
    EXPECT_EQ(dlg.width(), 550);
    EXPECT_EQ(toggle->text(), "调试>>");
    EXPECT_GT(group.left(), dlg.width());
}

// Each state has one size: no sizing border. A maximise box is offered; maximised (on Windows the frame may
// then take the screen), the window comes back to its state's one size when restored.
TEST(Window, SizeIsFixedInBothStates) {
    CQuendalDlg dlg;
    EXPECT_TRUE(dlg.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    for (int width : {550, 900}) {
        if (dlg.width() != width) {
            dlg.ControlAs<QPushButton>(IDC_DEBUG_TOGGLE)->click();
        }
        EXPECT_EQ(dlg.minimumSize(), QSize(width, 586));
        EXPECT_EQ(dlg.maximumSize(), QSize(width, 586));
        dlg.resize(1200, 800);
        EXPECT_EQ(dlg.size(), QSize(width, 586));
        dlg.setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        QWindowStateChangeEvent restored(Qt::WindowMaximized);
        QApplication::sendEvent(&dlg, &restored);
        EXPECT_EQ(dlg.maximumSize(), QSize(width, 586));
    }
}

// A screen reader hears what each control says now: controls with text of their own speak it, edits and
// lists are named after the label beside them (lists through the label relation, as their name is their
// current item).
TEST(Window, AccessibleNamesFollowTheTexts) {
    // COM1 of a port directory of its own names nothing, so the open below is refused on any machine.
    CPortDirFixture ports;
    std::error_code linked;
    std::filesystem::create_symlink(ports.Path() + "/gone", ports.Path() + "/COM1", linked);
    ASSERT_FALSE(linked) << linked.message();
    CQuendalDlg dlg;
    const auto name = [&](QWidget* widget) {
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
        return accessible ? accessible->text(QAccessible::Name) : QString("(none)");
    };
    const auto labelledBy = [&](QWidget* widget) {
        const auto relations = QAccessible::queryAccessibleInterface(widget)->relations(QAccessible::Label);
        return relations.empty() ? QString("(none)") : relations.front().first->text(QAccessible::Name);
    };
    const auto button = [&](int id) { return dlg.ControlAs<QPushButton>(id); };
    const auto label = [&](int id) { return dlg.ControlAs<QLabel>(id); };

    button(IDC_DEBUG_TOGGLE)->click();
    EXPECT_EQ(name(button(IDC_DEBUG_TOGGLE)), "调试<<");
    button(IDC_STOP_DISPLAY)->click();
    EXPECT_EQ(name(button(IDC_STOP_DISPLAY)), "继续显示");
    const std::uint8_t byte = 'A';
    dlg.OnPortRxRun({&byte, 1}, 1);
    dlg.ReceiveMonitor().ShowPending();
    EXPECT_EQ(name(label(IDC_RX_COUNT)), label(IDC_RX_COUNT)->text());
    EXPECT_NE(name(label(IDC_RX_COUNT)), "RX:0");
    button(IDC_CLEAR_COUNTERS)->click();
    EXPECT_EQ(name(label(IDC_TX_COUNT)), "TX:0");
    button(IDC_OPEN_PORT)->click();  // refused
    ASSERT_FALSE(dlg.IsPortOpen());
    for (int pane = 0; pane < 3; ++pane) {
        EXPECT_EQ(name(dlg.StatusBar()->Pane(pane)), dlg.StatusBar()->PaneText(pane)) << pane;
    }
    EXPECT_EQ(name(dlg.StatusBar()->Pane(2)), "");
    EXPECT_EQ(name(dlg.Control(IDC_APN)), "APN");
    EXPECT_EQ(labelledBy(dlg.Control(IDC_APN)), "APN");
    EXPECT_EQ(labelledBy(dlg.Control(IDC_PORT_BAUD)), "波特率");
    EXPECT_EQ(labelledBy(dlg.Control(IDC_DEV_PARITY)), "校验位");
    EXPECT_EQ(name(dlg.Control(IDC_REMOTE_PORT3)), "远程地址和端口3");
    EXPECT_EQ(name(dlg.Control(IDC_RECEIVE_EDIT)), "接收区");
    // A label whose text follows the device type renames its edit with it.
    dlg.ControlAs<QLabel>(IDC_HEARTBEAT_LABEL)->setText("x");
    CQtParamForm form(dlg.Controls());
    form.SetText(IDC_HEARTBEAT_LABEL, "\xD0\xC4\xCC\xF8");
    EXPECT_EQ(name(dlg.Control(IDC_HEARTBEAT_PERIOD)), "心跳");
    EXPECT_EQ(labelledBy(dlg.Control(IDC_HEARTBEAT_PERIOD)), "心跳");
}

TEST(Window, EscapeAndEnterInASingleLineEditClose) {
    {
        CQuendalDlg dlg;
        QTest::keyClick(&dlg, Qt::Key_Escape);
        EXPECT_FALSE(dlg.isVisible());
    }
    {
        CQuendalDlg dlg;
        auto* apn = dlg.ControlAs<QLineEdit>(IDC_APN);
        apn->setFocus();
        QTest::keyClick(apn, Qt::Key_Return);
        EXPECT_FALSE(dlg.isVisible());
    }
}

TEST(Window, EnterInTheSendAreaBreaksTheLineAndOnAButtonClicksIt) {
    CQuendalDlg dlg;
    auto* send = dlg.ControlAs<QPlainTextEdit>(IDC_SEND_EDIT);
    send->setFocus();
    QTest::keyClicks(send, "A");
    QTest::keyClick(send, Qt::Key_Return);
    QTest::keyClicks(send, "T");
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(send->toPlainText(), "A\nT");

    auto* toggle = dlg.ControlAs<QPushButton>(IDC_DEBUG_TOGGLE);
    toggle->setFocus();
    QTest::keyClick(toggle, Qt::Key_Return);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(toggle->text(), "调试<<");
}

TEST(Window, NumberEditsTakeDigitsOnlyThePeriodEditAnything) {
    CQuendalDlg dlg;
    auto* period = dlg.ControlAs<QLineEdit>(IDC_REBOOT_PERIOD);
    QTest::keyClicks(period, "1a2-3");
    EXPECT_EQ(period->text(), "123");
    auto* autoPeriod = dlg.ControlAs<QLineEdit>(IDC_AUTO_SEND_PERIOD);
    autoPeriod->clear();
    QTest::keyClicks(autoPeriod, "5x");
    EXPECT_EQ(autoPeriod->text(), "5x");
}

TEST(Window, TabOrderFollowsTheTemplate) {
    CQuendalDlg dlg;
    std::vector<QWidget*> expected;
    for (const LayoutItem& row : MainLayout()) {
        QWidget* w = dlg.Control(row.id);
        const bool takesFocus = row.kind != ControlKind::Label && row.kind != ControlKind::GroupBox &&
                                row.kind != ControlKind::EtchedLine && row.kind != ControlKind::SunkenText;
        if (w != nullptr && takesFocus && w->isEnabled()) {
            expected.push_back(w);
        }
    }
    ASSERT_EQ(expected.front(), dlg.Control(IDC_PORT_COMBO));
    // Walk the focus chain from the port list; skip Qt's internal children (a combo's line edit).
    QWidget* w = expected.front();
    for (std::size_t i = 1; i < expected.size(); ++i) {
        do {
            w = w->nextInFocusChain();
        } while (w->parentWidget() != &dlg || !(w->focusPolicy() & Qt::TabFocus) || !w->isEnabled());
        ASSERT_EQ(w, expected[i]) << "after " << expected[i - 1]->objectName().toStdString();
    }
}

TEST(Window, UntickingFromCodeRunsNoHandler) {
    CQuendalDlg dlg;
    BoxRecorder::Clear();
    auto* autoSend = dlg.ControlAs<QCheckBox>(IDC_AUTO_SEND);
    autoSend->setChecked(true);
    autoSend->setChecked(false);
    // OnAutoSend would have refused with the port closed.
    EXPECT_TRUE(BoxRecorder::Boxes().empty());
    EXPECT_FALSE(dlg.IsTimerRunning(TIMER_AUTO_SEND));
}

}  // namespace

namespace {

TEST(AboutBox, ShowsNameVersionIconAndADefaultOkButton) {
    CAboutDlg about;
    EXPECT_EQ(about.windowTitle(), "关于 Quendal");
    EXPECT_EQ(about.size(), QSize(376, 102));  // 251 x 68 dialog units
    bool sawText = false;
    bool sawIcon = false;
    for (QLabel* label : about.findChildren<QLabel*>()) {
        sawText = sawText || label->text() == "Quendal V" QUENDAL_VERSION_SHOWN;
        sawIcon = sawIcon || !label->pixmap().isNull();
    }
    EXPECT_TRUE(sawText);
    EXPECT_TRUE(sawIcon);
    const auto buttons = about.findChildren<QPushButton*>();
    ASSERT_EQ(buttons.size(), 1);
    EXPECT_EQ(buttons[0]->text(), "确定");
    EXPECT_TRUE(buttons[0]->isDefault());
    about.show();
    buttons[0]->click();
    EXPECT_FALSE(about.isVisible());
}

}  // namespace
