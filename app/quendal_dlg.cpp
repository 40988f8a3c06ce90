#include "app/quendal_dlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTextDocument>
#include <QTimer>

#include "app/about_dlg.h"
#include "app/app_icon.h"
#include "app/layout_builder.h"
#include "app/message_box.h"
#include "app/qt_param_form.h"
#include "app/status_bar.h"
#include "protocol/command_exchange.h"
#include "terminal/receive_lines_qt.h"

std::int64_t RxCount = 0;
std::int64_t TxCount = 0;

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
};

}  // namespace

CQuendalDlg::CQuendalDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(Utf8(kMainTitle));
    // No sizing border and no maximise: each state (narrow, wide) has one size.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFont(DialogFont());
    m_icon = AppIcon();
    setWindowIcon(m_icon);
    // The template's own size; initialisation narrows it.
    resize(DialogUnitsToPixels(kMainTemplateSize.width), kClientHeight);

    m_controls = BuildMainControls(this);
    m_receiveEdit = ControlAs<QPlainTextEdit>(IDC_RECEIVE_EDIT);
    m_hexDisplay = ControlAs<QCheckBox>(IDC_HEX_DISPLAY);
    m_portCombo = ControlAs<QComboBox>(IDC_PORT_COMBO);
    m_portDataBitsCombo = ControlAs<QComboBox>(IDC_PORT_DATABITS);
    m_portParityCombo = ControlAs<QComboBox>(IDC_PORT_PARITY);
    m_portBaudCombo = ControlAs<QComboBox>(IDC_PORT_BAUD);
    m_portStopBitsCombo = ControlAs<QComboBox>(IDC_PORT_STOPBITS);
    m_rxCount = ControlAs<QLabel>(IDC_RX_COUNT);
    m_txCount = ControlAs<QLabel>(IDC_TX_COUNT);
    m_openPort = ControlAs<QPushButton>(IDC_OPEN_PORT);
    m_stopDisplay = ControlAs<QPushButton>(IDC_STOP_DISPLAY);
    m_autoClear = ControlAs<QCheckBox>(IDC_AUTO_CLEAR);
    m_autoSend = ControlAs<QCheckBox>(IDC_AUTO_SEND);
    m_hexSend = ControlAs<QCheckBox>(IDC_HEX_SEND);
    m_form = std::make_unique<CQtParamForm>(*this);
    m_receiveLines = std::make_unique<CReceiveLineCounter>(m_receiveEdit);
    connect(m_receiveEdit->document(), &QTextDocument::contentsChanged, this,
            &CQuendalDlg::OnReceiveAreaChanged);
    connect(m_hexDisplay, &QCheckBox::toggled, this, &CQuendalDlg::OnHexDisplayToggled);

    for (int id : {TIMER_AUTO_SEND, TIMER_RX_IDLE, TIMER_SIGNAL_QUERY}) {
        auto* timer = new QTimer(this);
        // Coarse timers may fire 5 % early: a 95 ms pause would end a frame and split a record.
        timer->setTimerType(Qt::PreciseTimer);
        connect(timer, &QTimer::timeout, this, [this, id] { OnTimerTick(id); });
        m_timers[id] = timer;
    }
    ConnectMessageMap();
    OnInitDialog();
}

CQuendalDlg::~CQuendalDlg() {
    if (!m_destroyed) {
        OnDestroy();
    }
}

QWidget* CQuendalDlg::Control(int id) const {
    auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : it->second;
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
    // The combo lists and empty edit texts came with the controls (the base initialisation).
    // Size 550 wide without moving, then centre on the screen.
    setFixedSize(kNarrowWidth, kClientHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(kNarrowWidth / 2, kClientHeight / 2));
    }

    m_statusBar = new CStatusBar(this, kNarrowWidth, kPaneEdges);
    m_statusBar->SetPaneText(0, "COM1");
    m_statusBar->SetPaneText(1, "串口已关闭");
    m_statusBar->SetPaneText(2, "请选择正确的串口号及参数并打开串口.");

    setWindowIcon(m_icon);

    m_portCombo->setCurrentIndex(0);
    m_portBaudCombo->setCurrentIndex(5);
    m_portParityCombo->setCurrentIndex(0);
    m_portDataBitsCombo->setCurrentIndex(0);
    m_portStopBitsCombo->setCurrentIndex(0);
    RefreshPortTooltips();

    m_portBaud = 9600;
    m_portNumber = 1;
    m_portParity = 'N';
    m_portDataBits = 8;
    m_portStopBits = 1;
    m_eventMask = EV_RXCHAR | EV_RXFLAG;

    // Goes through the period edit's own change handler, which sets the period.
    ControlAs<QLineEdit>(IDC_AUTO_SEND_PERIOD)->setText(QString::number(m_autoSendPeriod));
    m_autoClear->setChecked(true);
    UpdateData(false);
    show();
    m_receiveLines->Reset(m_receiveEdit->toPlainText());  // the area has its final width once shown
    m_portCombo->setFocus(Qt::OtherFocusReason);
    return true;
}

void CQuendalDlg::OnDestroy() {
    m_destroyed = true;
    m_autoSend->setChecked(false);
    for (int id : {TIMER_AUTO_SEND, TIMER_RX_IDLE, TIMER_SIGNAL_QUERY}) {
        KillTimer(id);
    }
    m_port.ClosePort();
    m_receiveText.clear();
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
    menu.addAction(Utf8(kAboutMenuText), this, &CQuendalDlg::ShowAbout);
    menu.exec(event->globalPos());
}

void CQuendalDlg::ShowAbout() {
    CAboutDlg about(this);
    about.exec();
}

void CQuendalDlg::OnDebugToggle() {
    auto* button = ControlAs<QPushButton>(IDC_DEBUG_TOGGLE);
    if (button->text() == "调试>>") {
        setFixedSize(kWideWidth, height());
        button->setText("调试<<");
    } else {
        setFixedSize(kNarrowWidth, height());
        button->setText("调试>>");
    }
}

void CQuendalDlg::SetTimer(int id, int milliseconds) {
    QTimer* timer = m_timers.at(id);
    timer->stop();
    timer->start(milliseconds);
}

void CQuendalDlg::KillTimer(int id) {
    m_timers.at(id)->stop();
}

bool CQuendalDlg::IsTimerRunning(int id) const {
    return m_timers.at(id)->isActive();
}

int CQuendalDlg::TimerInterval(int id) const {
    return m_timers.at(id)->interval();
}

void CQuendalDlg::OnTimerTick(int id) {
    switch (id) {
        case TIMER_AUTO_SEND:
            OnManualSend();
            break;
        case TIMER_RX_IDLE:
            DispatchResponseFrame();
            KillTimer(TIMER_RX_IDLE);
            if (m_signalQueryHeld) {
                // The frame that held the query back is judged: the query goes now, or waits for the port
                // on the timer as before.
                m_signalQueryHeld = false;
                SendSignalQuery();
            }
            break;
        case TIMER_SIGNAL_QUERY:
            if (IsTimerRunning(TIMER_RX_IDLE)) {
                // An answer is still arriving; a query now would be answered into the same frame, and a
                // frame holding the record is read only for the record.
                KillTimer(TIMER_SIGNAL_QUERY);
                m_signalQueryHeld = true;
            } else {
                SendSignalQuery();
            }
            break;
        default:
            break;
    }
}

void CQuendalDlg::SendSignalQuery() {
    if (!m_port.IsOpen()) {
        // Waits for the port, trying again every half second.
        if (!IsTimerRunning(TIMER_SIGNAL_QUERY)) {
            SetTimer(TIMER_SIGNAL_QUERY, kSignalQueryDelayMs);
        }
        return;
    }
    m_port.WriteText(kCmdSignalQuery.data());
    AddTx(static_cast<std::int64_t>(kCmdSignalQuery.size()));
    ShowTxCount();
    KillTimer(TIMER_SIGNAL_QUERY);
}

void CQuendalDlg::SetPaneText(int pane, const QString& text) {
    m_statusBar->SetPaneText(pane, text);
}

void CQuendalDlg::UpdateData(bool saveAndValidate) {
    auto* sendEdit = ControlAs<QPlainTextEdit>(IDC_SEND_EDIT);
    if (saveAndValidate) {
        m_receiveText = m_receiveEdit->toPlainText();
        // The send area holds a line break as CR LF.
        m_sendText = sendEdit->toPlainText().replace('\n', "\r\n");
        return;
    }
    // An unchanged receive area is left alone so that its scroll position stays.
    if (m_receiveEdit->toPlainText() != m_receiveText) {
        m_receiveEdit->setPlainText(m_receiveText);
    }
    QString send = m_sendText;
    send.replace("\r\n", "\n");
    if (sendEdit->toPlainText() != send) {
        sendEdit->setPlainText(send);
    }
}

void CQuendalDlg::PostToOwnerThread(std::function<void()> fn) {
    QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection);
}

void CQuendalDlg::OnPortMessage(unsigned message, std::span<const std::uint8_t> bytes, int port) {
    if (message == WM_PORT_RXCHAR) {
        OnPortRxRun(bytes, port);
    } else if (message == WM_PORT_LOST) {
        OnPortLost();
    }
    // The other notifications reach default handling and do nothing.
}

void CQuendalDlg::OnPortError(const std::string& text) {
    AppMessageBox(nullptr, QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                  BoxIcon::Error, "Application Error");
}

void CQuendalDlg::AddTx(std::int64_t bytes) {
    TxCount += bytes;
}

void CQuendalDlg::ShowTxCount() {
    m_txCount->setText(QString("TX:%1").arg(TxCount));
}

void CQuendalDlg::ShowRxCount() {
    m_rxCount->setText(QString("RX:%1").arg(RxCount));
}
