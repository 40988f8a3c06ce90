#include "app/quendal_dlg.h"

#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

#include "app/about_dlg.h"
#include "app/app_icon.h"
#include "app/area_menu.h"
#include "app/capture_control.h"
#include "app/diagnosis_dlg.h"
#include "app/message_box.h"
#include "app/module_link.h"
#include "app/signal_monitor_dlg.h"
#include "app/status_bar.h"
#include "app/system_menu.h"
#include "app/terminal_menus.h"
#include "res/texts.h"

namespace {

// Client-area sizes. The narrow width ends short of the terminal (x = 552 px); the wide one shows the
// terminal group and its margin. The height holds the port panel (to y = 558 px) and the status bar.
constexpr int kNarrowWidth = 550;
constexpr int kWideWidth = 900;
constexpr int kClientHeight = 586;
constexpr std::array<int, 3> kPaneEdges = {60, 200, -1};

enum class Notify { Clicked, SelEndOk, Change, DblClk };

struct MessageMapEntry {
    Notify code;
    int id;
    void (CQuendalDlg::*handler)();
};

// Control notifications in the window's table order; WM_PORT_RXCHAR, WM_TIMER and WM_DESTROY are routed
// by the engine hand-over, the timers and done().
constexpr MessageMapEntry kMessageMap[] = {
    {Notify::Clicked, IDC_OPEN_PORT, &CQuendalDlg::OnOpenPort},
    {Notify::Clicked, IDC_MANUAL_SEND, &CQuendalDlg::OnManualSend},
    {Notify::Clicked, IDC_AUTO_SEND, &CQuendalDlg::OnAutoSend},
    {Notify::Change, IDC_SEND_EDIT, &CQuendalDlg::OnSendEditChange},
    {Notify::Change, IDC_AUTO_SEND_PERIOD, &CQuendalDlg::OnAutoSendPeriodChange},
    {Notify::Clicked, IDC_CLEAR_RECEIVE, &CQuendalDlg::OnClearReceive},
    {Notify::Clicked, IDC_STOP_DISPLAY, &CQuendalDlg::OnStopDisplay},
    {Notify::Clicked, IDC_CLEAR_SEND, &CQuendalDlg::OnClearSend},
    {Notify::SelEndOk, IDC_PORT_COMBO, &CQuendalDlg::OnPortSelected},
    {Notify::SelEndOk, IDC_PORT_DATABITS, &CQuendalDlg::OnDataBitsSelected},
    {Notify::SelEndOk, IDC_PORT_PARITY, &CQuendalDlg::OnParitySelected},
    {Notify::SelEndOk, IDC_PORT_BAUD, &CQuendalDlg::OnBaudSelected},
    {Notify::SelEndOk, IDC_PORT_STOPBITS, &CQuendalDlg::OnStopBitsSelected},
    {Notify::Clicked, IDC_CLEAR_COUNTERS, &CQuendalDlg::OnClearCounters},
    {Notify::Clicked, IDC_READ_PARAMS, &CQuendalDlg::OnReadParams},
    {Notify::Clicked, IDC_SAVE_PARAMS, &CQuendalDlg::OnSaveParams},
    {Notify::Clicked, IDC_DEBUG_TOGGLE, &CQuendalDlg::OnDebugToggle},
    {Notify::Clicked, IDC_FACTORY_DEFAULTS, &CQuendalDlg::OnFactoryDefaults},
    {Notify::Clicked, IDC_REBOOT_DEVICE, &CQuendalDlg::OnRebootDevice},
    {Notify::DblClk, IDC_DEVICE_TYPE_LABEL, &CQuendalDlg::OnDeviceTypeLabelDblClk},
    {Notify::Change, IDC_DEVICE_TYPE, &CQuendalDlg::OnDeviceTypeChange},
};

}  // namespace

CQuendalDlg::CQuendalDlg(QWidget* parent, const QString& settingsPath)
    : QDialog(parent), m_timers(this, [this](int id) { OnTimerTick(id); }), m_settings(settingsPath) {
    setWindowTitle(Utf8(kMainTitle));
    // No sizing border: each state (narrow, wide) has one size. Maximised, only the frame grows.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFont(DialogFont());
    m_icon = AppIcon();
    setWindowIcon(m_icon);
    // The template's own size; initialisation narrows it.
    resize(DialogUnitsToPixels(kMainTemplateSize.width), kClientHeight);

    m_controls = BuildMainControls(this);
    // Placed along the bottom at the narrow width, which it keeps when the window widens.
    m_statusBar = new CStatusBar(this, kNarrowWidth, kPaneEdges);
    IPortLink& portLink = *this;
    CPortOwner& portOwner = *this;
    m_sendPanel = std::make_unique<CSendPanel>(this, m_controls, portLink, m_timers);
    m_receiveMonitor = std::make_unique<CReceiveMonitor>(m_controls, *m_sendPanel);
    m_paramsPanel = std::make_unique<CParamsPanel>(this, m_controls, portLink, *m_sendPanel, *m_sendPanel,
                                                   *m_statusBar, m_timers);
    m_portPanel =
        std::make_unique<CPortPanel>(this, m_controls, m_port, portOwner, *m_statusBar, *m_sendPanel);
    m_capture = std::make_unique<CCaptureControl>(this, *m_statusBar);
    ConnectMessageMap();
    AddTerminalMenus(m_controls, *m_receiveMonitor, *m_sendPanel);
    CAreaMenu::Of(ControlAs<QPlainTextEdit>(IDC_RECEIVE_EDIT)).AddEntries([this](QMenu& menu) {
        m_capture->AddMenuEntry(menu);
    });
    OnInitDialog();
}

CQuendalDlg::~CQuendalDlg() {
    if (!m_destroyed) {
        OnDestroy();
    }
}

QWidget* CQuendalDlg::Control(int id) const {
    return ::ControlAs<QWidget>(m_controls, id);
}

void CQuendalDlg::ConnectMessageMap() {
    for (const MessageMapEntry& entry : kMessageMap) {
        QWidget* control = Control(entry.id);
        auto handler = [this, fn = entry.handler] { (this->*fn)(); };
        switch (entry.code) {
            case Notify::Clicked:
                // clicked, never toggled: the program's own unticks must not run the handlers.
                connect(qobject_cast<QAbstractButton*>(control), &QAbstractButton::clicked, this, handler);
                break;
            case Notify::SelEndOk:
                connect(qobject_cast<QComboBox*>(control), &QComboBox::activated, this, handler);
                break;
            case Notify::Change:
                if (auto* line = qobject_cast<QLineEdit*>(control)) {
                    connect(line, &QLineEdit::textChanged, this, handler);
                } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
                    connect(combo, &QComboBox::currentTextChanged, this, handler);
                } else {
                    connect(qobject_cast<QPlainTextEdit*>(control), &QPlainTextEdit::textChanged, this,
                            handler);
                }
                break;
            case Notify::DblClk:
                connect(qobject_cast<CNotifyLabel*>(control), &CNotifyLabel::doubleClicked, this, handler);
                break;
        }
    }
}

bool CQuendalDlg::OnInitDialog() {
    m_aboutInSystemMenu = AddAboutToSystemMenu(this, kAboutMenuText);
    OfferMaximiseBox(this);
    // The combo lists and empty edit texts came with the controls (the base initialisation).
    // Size 550 wide without moving, then centre on the screen.
    setFixedSize(kNarrowWidth, kClientHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(kNarrowWidth / 2, kClientHeight / 2));
    }
    m_statusBar->SetPaneText(0, "COM1");
    m_statusBar->SetPaneText(1, Utf8(kTextPortClosed.utf8));
    m_statusBar->SetPaneText(2, Utf8(kTextChoosePort.utf8));
    setWindowIcon(m_icon);
    m_portPanel->SelectStartSettings();
    // Goes through the period edit's own change handler, which sets the period.
    ControlAs<QLineEdit>(IDC_AUTO_SEND_PERIOD)->setText("1000");
    m_settings.Restore(*this);
    show();
    m_receiveMonitor->OnWindowShown();
    Control(IDC_PORT_COMBO)->setFocus(Qt::OtherFocusReason);
    return true;
}

void CQuendalDlg::OnDestroy() {
    m_destroyed = true;
    // Kept as the user left them, before the teardown unticks anything.
    if (QString error; !m_settings.Save(*this, error)) {
        AppMessageBox(nullptr, "设置未能保存：" + error);
    }
    m_portPanel->StopWaitingForDevice();
    m_sendPanel->StopAutoSend();
    for (int id : {TIMER_AUTO_SEND, TIMER_RX_IDLE, TIMER_SIGNAL_QUERY}) {
        m_timers.KillTimer(id);
    }
    m_port.ClosePort();
    m_capture->Stop();
}

void CQuendalDlg::done(int result) {
    if (!m_destroyed) {
        OnDestroy();
    }
    QDialog::done(result);
}

void CQuendalDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // Enter clicks a focused push button; anywhere else (a single-line edit) it ends the window.
        if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
            button->click();
        } else {
            accept();
        }
        return;
    }
    QDialog::keyPressEvent(event);  // Escape rejects
}

void CQuendalDlg::contextMenuEvent(QContextMenuEvent* event) {
    // The title-bar menu belongs to the window manager here; the About entry lives on the background.
    QMenu menu(this);
    if (m_portPanel->MenuCovers(event->pos())) {
        m_portPanel->FillContextMenu(menu);
        menu.exec(event->globalPos());
        return;
    }
    menu.addAction(Utf8(kTextExportProfileMenu.utf8), this, &CQuendalDlg::OnExportProfile);
    menu.addAction(Utf8(kTextImportProfileMenu.utf8), this, &CQuendalDlg::OnImportProfile);
    // The module is reached through the device on the open port only.
    menu.addAction(Utf8(kTextDiagMenu.utf8), this, &CQuendalDlg::OnNetworkDiagnosis)
        ->setEnabled(IsPortOpen());
    menu.addAction(Utf8(kTextSurveyMenu.utf8), this, &CQuendalDlg::OnSignalMonitor)->setEnabled(IsPortOpen());
    // The port lists do not change while the port is open.
    menu.addAction(QString::fromUtf8(kRestoreDefaultsMenuText), this, &CQuendalDlg::OnRestoreDefaults)
        ->setEnabled(!IsPortOpen());
    if (!m_aboutInSystemMenu) {
        menu.addSeparator();
        menu.addAction(Utf8(kAboutMenuText), this, &CQuendalDlg::ShowAbout);
    }
    menu.exec(event->globalPos());
}

bool CQuendalDlg::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
    if (IsAboutSystemCommand(message)) {
        // Opened after the system has finished with its menu.
        QMetaObject::invokeMethod(this, &CQuendalDlg::ShowAbout, Qt::QueuedConnection);
        *result = 0;
        return true;
    }
    if (IsMaximiseCommand(message)) {
        // The frame may take the screen; the controls stay where they are.
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    }
    return QDialog::nativeEvent(eventType, message, result);
}

void CQuendalDlg::changeEvent(QEvent* event) {
    // Restored: back to the one size of the state (the minimum kept it).
    if (event->type() == QEvent::WindowStateChange && windowState() == Qt::WindowNoState) {
        setMaximumSize(minimumSize());
    }
    QDialog::changeEvent(event);
}

void CQuendalDlg::OnExportProfile() {
    const QString path = QFileDialog::getSaveFileName(this, Utf8(kTextExportProfileTitle.utf8), QString(),
                                                      Utf8(kTextProfileFilter.utf8));
    if (!path.isEmpty()) {
        m_paramsPanel->ExportProfile(path);
    }
}

void CQuendalDlg::OnImportProfile() {
    // Fills the form only; the user saves to the device as usual.
    const QString path = QFileDialog::getOpenFileName(this, Utf8(kTextImportProfileTitle.utf8), QString(),
                                                      Utf8(kTextProfileFilter.utf8));
    if (!path.isEmpty()) {
        m_paramsPanel->ImportProfile(path);
    }
}

void CQuendalDlg::OnNetworkDiagnosis() {
    CModuleAsker asker(*this, *m_sendPanel);
    m_paramsPanel->SetFrameObserver([&asker](std::string_view frame) { asker.OnFrame(frame); });
    // The APN check needs a record read from the unit; a form without one leaves it out.
    const auto& apn = m_paramsPanel->HeldParams().apn;
    std::string recordApn =
        m_paramsPanel->FormHasSource() ? std::string(apn.begin(), apn.end()) : std::string();
    CDiagnosisDlg dialog(this, asker, std::move(recordApn));
    dialog.Start();
    dialog.exec();
    m_paramsPanel->SetFrameObserver({});
}

void CQuendalDlg::OnSignalMonitor() {
    CModuleAsker asker(*this, *m_sendPanel);
    m_paramsPanel->SetFrameObserver([&asker](std::string_view frame) { asker.OnFrame(frame); });
    CSignalMonitorDlg dialog(this, asker);
    dialog.StartSurvey();
    dialog.exec();
    m_paramsPanel->SetFrameObserver({});
}

void CQuendalDlg::ShowAbout() {
    CAboutDlg about(this);
    about.exec();
}

void CQuendalDlg::OnDebugToggle() {
    // The flag owns the state; the width and the caption follow it.
    m_debugShown = !m_debugShown;
    setFixedSize(m_debugShown ? kWideWidth : kNarrowWidth, kClientHeight);
    ControlAs<QPushButton>(IDC_DEBUG_TOGGLE)
        ->setText(Utf8((m_debugShown ? kTextDebugHide : kTextDebugShow).utf8));
}

void CQuendalDlg::OnRestoreDefaults() {
    m_settings.ApplyDefaults(*this);
    if (QString error; !m_settings.Save(*this, error)) {
        AppMessageBox(this, "设置未能保存：" + error);
    }
}

void CQuendalDlg::OnTimerTick(int id) {
    switch (id) {
        case TIMER_AUTO_SEND:
            OnManualSend();
            break;
        case TIMER_RX_IDLE:
            m_paramsPanel->OnRxIdle();
            break;
        case TIMER_SIGNAL_QUERY:
            m_paramsPanel->OnSignalQueryDue();
            break;
        default:
            break;
    }
}

void CQuendalDlg::OnPortRxChar(std::uint8_t byte, int port) {
    OnPortRxRun({&byte, 1}, port);
}

void CQuendalDlg::OnPortRxRun(std::span<const std::uint8_t> bytes, int port) {
    if (port < 1 || port > 256 || bytes.empty()) {
        return;
    }
    // Counted and shown by the terminal, collected into the frame whether or not the display runs.
    m_capture->OnReceived(bytes);
    m_receiveMonitor->OnBytesReceived(bytes);
    m_paramsPanel->TakeReceivedBytes(bytes);
    m_timers.SetTimer(TIMER_RX_IDLE, kRxIdleMs);
}

void CQuendalDlg::PostToOwnerThread(std::function<void()> fn) {
    QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection);
}

void CQuendalDlg::OnPortMessage(unsigned message, std::span<const std::uint8_t> bytes, int port) {
    if (message == WM_PORT_RXCHAR) {
        OnPortRxRun(bytes, port);
    } else if (message == WM_PORT_LOST) {
        OnPortLost();
    } else if (message == WM_PORT_MODEM) {
        m_portPanel->OnModemLinesChanged();
    }
    // The other notifications reach default handling and do nothing.
}

void CQuendalDlg::OnPortError(const std::string& text) {
    AppMessageBox(nullptr, QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                  BoxIcon::Error, "Application Error");
}

void CQuendalDlg::WritePort(std::span<const std::uint8_t> bytes) {
    m_capture->OnSent(bytes);
    m_port.WriteBytes(bytes);
}
