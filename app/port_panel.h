// The port panel along the bottom of the window: the five lists (port, baud rate, parity, data bits, stop
// bits), the open/close button, and the three status panes it reports to. It holds the settings for the
// next open, opens the engine the window owns with the window as the engine's owner, starts its worker and
// asks it to close. Whether the panel is open is the engine's own state: a port is held and no close has
// been asked for. It asks the send panel whether auto send runs (a close is refused while it does) and stops
// auto send when the device goes away. Its additions (port_panel_lines.cpp): DTR and RTS, the reconnect
// option and the port map (port_map_dlg.h, where the system has one) on its context menu, the modem lines in
// the status bar, the rates above 115200.
#pragma once

#include <QString>
#include <cstddef>
#include <memory>
#include <string>

#include "app/layout_builder.h"

class CModemLinesView;
class CPortReconnect;
class QMenu;
class QPoint;
class CSerialPort;
class CPortOwner;
class CStatusBar;
class IAutoSend;
class QComboBox;
class QPoint;
class QPushButton;
class QWidget;

class CPortPanel {
  public:
    CPortPanel(QWidget* window, const ControlMap& controls, CSerialPort& port, CPortOwner& owner,
               CStatusBar& statusBar, IAutoSend& autoSend);
    ~CPortPanel();

    void OnPortSelected();
    void OnBaudSelected();
    void OnParitySelected();
    void OnDataBitsSelected();
    void OnStopBitsSelected();
    void OnOpenPort();
    // The engine reported the device gone; it closes the port itself once this returns.
    void OnPortLost();

    // The start state: COM1, 9600 baud, no parity, 8 data bits, 1 stop bit.
    void SelectStartSettings();
    bool IsPanelOpen() const;

    // A pulse inverts DTR or RTS for this long and puts it back: long enough for a reset input behind a
    // capacitor and for the boot-loader circuits of common boards, short enough to feel immediate.
    static constexpr int kPulseMs = 100;
    static constexpr std::size_t kWriteBufferSize = 512;
    // DTR or RTS (serial/modem_lines.h) on the open port.
    void SetModemLine(unsigned line, bool on);
    void PulseModemLine(unsigned line);
    // The engine read new modem lines (WM_PORT_MODEM).
    void OnModemLinesChanged();
    bool ModemLinesShown() const;
    QString LitModemLines() const;

    // "断线自动重连", off by default.
    void SetReconnectOnLoss(bool on);
    bool ReconnectOnLoss() const;
    bool IsWaitingForDevice() const;
    // Stops a wait for the device, the panel then closed as after a click; false when none ran.
    bool StopWaitingForDevice();

    // The panel's own context menu, for a right click at pos (window coordinates) on its strip or the
    // status bar below it.
    bool MenuCovers(const QPoint& pos) const;
    void FillContextMenu(QMenu& menu);

  private:
    void CreateLineExtras();
    void AfterOpen();
    bool WaitForDevice();
    QString OpenedStatus() const;
    bool Reopen(const std::string& devicePath);

    void SetPanelOpen(bool open);
    void RefreshPortTooltips();

    QWidget* m_window;
    const ControlMap& m_controls;
    CSerialPort& m_port;
    CPortOwner& m_owner;
    CStatusBar& m_statusBar;
    IAutoSend& m_autoSend;
    QComboBox* m_portCombo;
    QComboBox* m_baudCombo;
    QComboBox* m_parityCombo;
    QComboBox* m_dataBitsCombo;
    QComboBox* m_stopBitsCombo;
    QPushButton* m_openPort;

    int m_portBaud = 0;
    int m_portNumber = 0;
    char m_portParity = 0;
    int m_portDataBits = 0;
    int m_portStopBits = 0;
    unsigned m_eventMask = 0;

    std::unique_ptr<CModemLinesView> m_modemLines;
    std::unique_ptr<CPortReconnect> m_reconnect;
};
