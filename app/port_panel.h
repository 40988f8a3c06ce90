// The port panel along the bottom of the window: the five lists (port, baud rate, parity, data bits, stop
// bits), the open/close button, and the three status panes it reports to. It holds the settings for the
// next open, opens the engine the window owns with the window as the engine's owner, starts its worker and
// asks it to close. Whether the panel is open is the engine's own state: a port is held and no close has
// been asked for. It asks the send panel whether auto send runs (a close is refused while it does) and stops
// auto send when the device goes away. Its controls' menu offers the port map (port_map_dlg.h) where the
// system has one.
#pragma once

#include "app/layout_builder.h"

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

  private:
    void SetPanelOpen(bool open);
    void RefreshPortTooltips();
    void ShowContextMenu(const QPoint& globalPos);

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
};
