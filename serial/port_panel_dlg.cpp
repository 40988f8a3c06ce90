// Window side of the port panel: the five lists, the open/close button and the panes they report to.
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>

#include "app/message_box.h"
#include "app/quendal_dlg.h"
#include "app/status_bar.h"
#include "serial/port_names.h"

namespace {
constexpr std::size_t kWriteBufferSize = 512;
constexpr int kPortListIds[] = {IDC_PORT_COMBO, IDC_PORT_BAUD, IDC_PORT_PARITY, IDC_PORT_DATABITS,
                                IDC_PORT_STOPBITS};
constexpr char kParityLetters[] = {'N', 'O', 'E'};
}  // namespace

void CQuendalDlg::RefreshPortTooltips() {
    // The list keeps the names COM1..COM30; each item tells which device it stands for on this machine, or
    // why what the name leads to is refused (the open then fails with the usual box).
    for (int i = 0; i < m_portCombo->count(); ++i) {
        const PortResolution port = ResolvePort(i + 1);
        m_portCombo->setItemData(i, QString::fromStdString(port.refusal.value_or(port.path)),
                                 Qt::ToolTipRole);
    }
}

void CQuendalDlg::OnPortSelected() {
    if (m_port.IsOpen()) {
        m_port.ClosePort();
    }
    m_portNumber = m_portCombo->currentIndex() + 1;
    SetPaneText(0, QString("COM%1").arg(m_portNumber));
}

void CQuendalDlg::OnBaudSelected() {
    m_portBaud = m_portBaudCombo->currentText().toInt();
}

void CQuendalDlg::OnParitySelected() {
    const int index = m_portParityCombo->currentIndex();
    if (index >= 0 && index < 3) {
        m_portParity = kParityLetters[index];
    }
}

void CQuendalDlg::OnDataBitsSelected() {
    m_portDataBits = m_portDataBitsCombo->currentText().toInt();
}

void CQuendalDlg::OnStopBitsSelected() {
    m_portStopBits = m_portStopBitsCombo->currentText().toInt();
}

void CQuendalDlg::SetPanelOpen(bool open) {
    m_openPort->setText(open ? "关闭串口" : "打开串口");
    SetPaneText(1, open ? "串口已打开" : "串口已关闭");
    for (int id : kPortListIds) {
        Control(id)->setEnabled(!open);
    }
}

void CQuendalDlg::OnOpenPort() {
    m_panelClosed = !m_panelClosed;
    if (!m_panelClosed) {
        QString status;
        RefreshPortTooltips();
        if (m_port.OpenPort(this, m_portNumber, m_portBaud, m_portParity, m_portDataBits, m_portStopBits,
                            m_eventMask, kWriteBufferSize)) {
            m_port.StartWorker();
            status = QString("STATUS：COM%1 OPENED，%2,%3,%4,%5")
                         .arg(m_portNumber)
                         .arg(m_portBaud)
                         .arg(QChar(m_portParity))
                         .arg(m_portDataBits)
                         .arg(m_portStopBits);
            SetPanelOpen(true);
        } else {
            AppMessageBox(this, "没有发现此串口或被占用");
            m_panelClosed = 1;
        }
        SetPaneText(2, status);
        return;
    }
    if (m_autoSend->isChecked()) {
        m_panelClosed = 0;
        AppMessageBox(this, "请先关掉自动发送");
        return;
    }
    m_port.ClosePort();
    SetPaneText(2, "STATUS：COM Port Closed");
    SetPanelOpen(false);
}

void CQuendalDlg::OnPortLost() {
    // The engine closes the port itself once this returns; the panel returns to its closed state as after a
    // close.
    StopAutoSend();
    m_panelClosed = 1;
    SetPaneText(2, "STATUS：COM Port Closed");
    SetPanelOpen(false);
}
