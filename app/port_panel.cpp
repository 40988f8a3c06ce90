#include "app/port_panel.h"

#include <QComboBox>
#include <QMenu>
#include <QPushButton>

#include "app/message_box.h"
#include "app/modem_lines_view.h"
#include "app/panel_links.h"
#include "app/port_reconnect.h"
#include "app/status_bar.h"
#include "res/texts.h"
#include "serial/port_map.h"
#include "serial/port_names.h"
#include "serial/serial_port.h"

namespace {
constexpr int kPortListIds[] = {IDC_PORT_COMBO, IDC_PORT_BAUD, IDC_PORT_PARITY, IDC_PORT_DATABITS,
                                IDC_PORT_STOPBITS};
constexpr char kParityLetters[] = {'N', 'O', 'E'};
}  // namespace

CPortPanel::CPortPanel(QWidget* window, const ControlMap& controls, CSerialPort& port, CPortOwner& owner,
                       CStatusBar& statusBar, IAutoSend& autoSend)
    : m_window(window),
      m_controls(controls),
      m_port(port),
      m_owner(owner),
      m_statusBar(statusBar),
      m_autoSend(autoSend),
      m_portCombo(ControlAs<QComboBox>(controls, IDC_PORT_COMBO)),
      m_baudCombo(ControlAs<QComboBox>(controls, IDC_PORT_BAUD)),
      m_parityCombo(ControlAs<QComboBox>(controls, IDC_PORT_PARITY)),
      m_dataBitsCombo(ControlAs<QComboBox>(controls, IDC_PORT_DATABITS)),
      m_stopBitsCombo(ControlAs<QComboBox>(controls, IDC_PORT_STOPBITS)),
      m_openPort(ControlAs<QPushButton>(controls, IDC_OPEN_PORT)) {
    CreateLineExtras();
}

void CPortPanel::SelectStartSettings() {
    m_portCombo->setCurrentIndex(0);
    m_baudCombo->setCurrentIndex(5);
    m_parityCombo->setCurrentIndex(0);
    m_dataBitsCombo->setCurrentIndex(0);
    m_stopBitsCombo->setCurrentIndex(0);
    RefreshPortTooltips();

    m_portBaud = 9600;
    m_portNumber = 1;
    m_portParity = 'N';
    m_portDataBits = 8;
    m_portStopBits = 1;
    m_eventMask = EV_RXCHAR | EV_RXFLAG;
}

bool CPortPanel::IsPanelOpen() const {
    return m_port.IsOpen() && !m_port.IsClosing();
}

void CPortPanel::RefreshPortTooltips() {
    // The list keeps the names COM1..COM30; each item tells which device it stands for on this machine, or
    // why what the name leads to is refused (the open then fails with the usual box).
    for (int i = 0; i < m_portCombo->count(); ++i) {
        const PortResolution port = ResolvePort(i + 1);
        m_portCombo->setItemData(i, QString::fromStdString(port.refusal.value_or(port.path)),
                                 Qt::ToolTipRole);
    }
}

void CPortPanel::OnPortSelected() {
    if (m_port.IsOpen()) {
        m_port.ClosePort();
    }
    m_portNumber = m_portCombo->currentIndex() + 1;
    m_statusBar.SetPaneText(0, QString("COM%1").arg(m_portNumber));
}

void CPortPanel::OnBaudSelected() {
    m_portBaud = m_baudCombo->currentText().toInt();
}

void CPortPanel::OnParitySelected() {
    const int index = m_parityCombo->currentIndex();
    if (index >= 0 && index < 3) {
        m_portParity = kParityLetters[index];
    }
}

void CPortPanel::OnDataBitsSelected() {
    m_portDataBits = m_dataBitsCombo->currentText().toInt();
}

void CPortPanel::OnStopBitsSelected() {
    m_portStopBits = m_stopBitsCombo->currentText().toInt();
}

void CPortPanel::SetPanelOpen(bool open) {
    m_openPort->setText(Utf8((open ? kTextClosePort : kTextOpenPort).utf8));
    m_statusBar.SetPaneText(1, Utf8((open ? kTextPortOpened : kTextPortClosed).utf8));
    for (int id : kPortListIds) {
        m_controls.at(id)->setEnabled(!open);
    }
    OnModemLinesChanged();
}

QString CPortPanel::OpenedStatus() const {
    return QString("STATUS：COM%1 OPENED，%2,%3,%4,%5")
        .arg(m_portNumber)
        .arg(m_portBaud)
        .arg(QChar(m_portParity))
        .arg(m_portDataBits)
        .arg(m_portStopBits);
}

void CPortPanel::OnOpenPort() {
    if (StopWaitingForDevice()) {
        return;
    }
    if (!IsPanelOpen()) {
        QString status;
        RefreshPortTooltips();
        if (m_port.OpenPort(&m_owner, m_portNumber, m_portBaud, m_portParity, m_portDataBits, m_portStopBits,
                            m_eventMask, kWriteBufferSize)) {
            m_port.StartWorker();
            status = OpenedStatus();
            SetPanelOpen(true);
            AfterOpen();
        } else {
            AppMessageBox(m_window, Utf8(kTextPortMissingOrBusy.utf8));
        }
        m_statusBar.SetPaneText(2, status);
        return;
    }
    if (m_autoSend.IsAutoSendOn()) {
        AppMessageBox(m_window, Utf8(kTextStopAutoSendFirst.utf8));
        return;
    }
    m_port.ClosePort();
    m_statusBar.SetPaneText(2, "STATUS：COM Port Closed");
    SetPanelOpen(false);
}

void CPortPanel::OnPortLost() {
    m_autoSend.StopAutoSend();
    // The worker is ending anyway; asking for the close now makes the panel closed at once, as after a
    // click, instead of when the worker lets go of the port.
    m_port.ClosePort();
    if (WaitForDevice()) {
        return;
    }
    m_statusBar.SetPaneText(2, "STATUS：COM Port Closed");
    SetPanelOpen(false);
}
