// The port panel's additions (port_panel.h): DTR and RTS, the modem lines in the status bar, reconnecting
// after a replug and the rates above 115200. Hooked into the panel's handlers at a few points; with the
// reconnect option off and no menu entry chosen the panel behaves as it always has.
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <chrono>

#include "app/modem_lines_view.h"
#include "app/port_map_dlg.h"
#include "app/port_panel.h"
#include "app/port_reconnect.h"
#include "app/status_bar.h"
#include "serial/modem_lines.h"
#include "serial/port_names.h"
#include "serial/serial_port.h"

namespace {

// The standard rates USB adapters make above 115200, after the list's own twelve items so that those keep
// their order and indexes. A fixed list rather than a typed rate keeps the list a drop-down list that cannot
// be given a rate no adapter makes; 250000 is the 3D printers' rate.
constexpr int kHigherRates[] = {230400,  250000,  460800,  500000,  576000,  921600,
                                1000000, 1152000, 1500000, 2000000, 2500000, 3000000};

constexpr int kWaitingIds[] = {IDC_PORT_COMBO,    IDC_PORT_BAUD,     IDC_PORT_PARITY,
                               IDC_PORT_DATABITS, IDC_PORT_STOPBITS, IDC_OPEN_PORT};

}  // namespace

CPortPanel::~CPortPanel() = default;

void CPortPanel::CreateLineExtras() {
    m_modemLines = std::make_unique<CModemLinesView>(m_statusBar.Pane(2));
    m_reconnect = std::make_unique<CPortReconnect>([this](const std::string& path) { return Reopen(path); });
    for (int rate : kHigherRates) {
        m_baudCombo->addItem(QString::number(rate));
    }
}

void CPortPanel::AfterOpen() {
    m_reconnect->NoteOpened(ResolvePort(m_portNumber).path);
}

void CPortPanel::SetModemLine(unsigned line, bool on) {
    if (IsPanelOpen()) {
        m_port.SetModemLine(line, on);
    }
}

void CPortPanel::PulseModemLine(unsigned line) {
    if (IsPanelOpen()) {
        m_port.PulseModemLine(line, std::chrono::milliseconds(kPulseMs));
    }
}

void CPortPanel::OnModemLinesChanged() {
    if (IsPanelOpen()) {
        m_modemLines->Show(m_port.ModemLines());
    } else {
        m_modemLines->Hide();
    }
}

bool CPortPanel::ModemLinesShown() const {
    return m_modemLines->IsShown();
}

QString CPortPanel::LitModemLines() const {
    return m_modemLines->LitLines();
}

void CPortPanel::SetReconnectOnLoss(bool on) {
    m_reconnect->SetEnabled(on);
    // Waiting for the device says enough; the engine's box would hold everything up until closed.
    m_port.SetLossErrorBox(!on);
    if (!on) {
        StopWaitingForDevice();
    }
}

bool CPortPanel::ReconnectOnLoss() const {
    return m_reconnect->IsEnabled();
}

bool CPortPanel::IsWaitingForDevice() const {
    return m_reconnect->IsWaiting();
}

bool CPortPanel::WaitForDevice() {
    if (!m_reconnect->IsEnabled()) {
        return false;
    }
    // The caption stays "关闭串口" and the lists stay as they were: a click stops the wait.
    m_reconnect->Start();
    m_modemLines->Hide();
    m_statusBar.SetPaneText(1, QString::fromUtf8("等待重新连接"));
    m_statusBar.SetPaneText(2, QString::fromUtf8("STATUS：COM%1 已断开，等待设备重新接入").arg(m_portNumber));
    return true;
}

bool CPortPanel::StopWaitingForDevice() {
    if (!m_reconnect->IsWaiting()) {
        return false;
    }
    m_reconnect->Stop();
    m_statusBar.SetPaneText(2, "STATUS：COM Port Closed");
    SetPanelOpen(false);
    return true;
}

bool CPortPanel::Reopen(const std::string& devicePath) {
    const std::string path = devicePath.empty() ? DevicePathText(m_portNumber) : devicePath;
    if (!m_port.OpenPortAt(path, &m_owner, m_portNumber, m_portBaud, m_portParity, m_portDataBits,
                           m_portStopBits, m_eventMask, kWriteBufferSize)) {
        return false;
    }
    m_port.StartWorker();
    m_statusBar.SetPaneText(2, OpenedStatus());
    SetPanelOpen(true);
    if (devicePath.empty()) {
        AfterOpen();
    }
    return true;
}

bool CPortPanel::MenuCovers(const QPoint& pos) const {
    QRect strip = m_statusBar.geometry();
    for (int id : kWaitingIds) {
        strip = strip.united(m_controls.at(id)->geometry());
    }
    // From the row's labels at the left edge down through the status bar.
    strip.setLeft(0);
    return strip.contains(pos);
}

void CPortPanel::FillContextMenu(QMenu& menu) {
    const CModemControl::Status status = m_port.ModemLines();
    const bool lines = IsPanelOpen() && status.available;
    const std::pair<unsigned, const char*> kOutputs[] = {{kLineDtr, "DTR"}, {kLineRts, "RTS"}};
    for (const auto& [line, name] : kOutputs) {
        const bool on = (status.lines & line) != 0;
        QAction* raise = menu.addAction(QString::fromUtf8("%1 置位").arg(name));
        QAction* drop = menu.addAction(QString::fromUtf8("%1 清除").arg(name));
        QAction* pulse = menu.addAction(QString::fromUtf8("%1 脉冲（%2 毫秒）").arg(name).arg(kPulseMs));
        raise->setCheckable(true);
        drop->setCheckable(true);
        raise->setChecked(lines && on);
        drop->setChecked(lines && !on);
        for (QAction* action : {raise, drop, pulse}) {
            action->setEnabled(lines);
        }
        QObject::connect(raise, &QAction::triggered, [this, l = line] { SetModemLine(l, true); });
        QObject::connect(drop, &QAction::triggered, [this, l = line] { SetModemLine(l, false); });
        QObject::connect(pulse, &QAction::triggered, [this, l = line] { PulseModemLine(l); });
        menu.addSeparator();
    }
    QAction* reconnect = menu.addAction(QString::fromUtf8("断线自动重连"));
    reconnect->setCheckable(true);
    reconnect->setChecked(ReconnectOnLoss());
    QObject::connect(reconnect, &QAction::triggered, [this](bool on) { SetReconnectOnLoss(on); });
    menu.addSeparator();
    AddPortMapAction(menu, m_window, [this] { RefreshPortTooltips(); });
}
