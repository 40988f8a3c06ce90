// CQuendalDlg, the one window of the program. It creates the controls from the layout rows, owns the
// serial port engine, the three timers, the status bar and the message map, and creates four panels that
// own everything else, each with its widgets, its state and its handlers:
//
//   CPortPanel       port lists, open/close, the device-lost path            (port_panel.h)
//   CParamsPanel     the form, read/save/defaults/restart, the signal query,
//                    the held record and the response frame                  (params_panel.h)
//   CReceiveMonitor  receive area, stop/clear/hex/auto clear, RX count       (receive_monitor.h)
//   CSendPanel       send area, hex send, auto send, TX count                (send_panel.h)
//
// Panels reach each other only through the small interfaces of panel_links.h (is the port open, write
// these bytes, count these sent bytes, is auto send on, stop it); the window implements the port's. The
// design's handler names stay here as one-line forwards, so each handler is found by its name. The work
// itself is done by Qt-free modules: protocol/ (record, form binding, frames, commands), serial/ (engine),
// terminal/ (hex sends, receive pieces) and text/ (GBK).
//
// Data flow: the engine's worker reads the port and hands each run of received bytes to this window's
// thread (CPortOwner); OnPortRxRun gives the run to the receive monitor (count, display) and to the params
// panel (frame collection) and restarts the idle timer, whose tick judges the frame. Commands and sends go
// back out through the engine's single pending write request.
#pragma once

#include <QDialog>
#include <QIcon>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "app/layout_builder.h"
#include "app/panel_links.h"
#include "app/window_timers.h"
#include "serial/port_owner.h"
#include "serial/serial_port.h"

class CStatusBar;
class CPortPanel;
class CParamsPanel;
class CReceiveMonitor;
class CSendPanel;

class CQuendalDlg : public QDialog, private CPortOwner, private IPortLink {
    Q_OBJECT
  public:
    explicit CQuendalDlg(QWidget* parent = nullptr);
    ~CQuendalDlg() override;

    QWidget* Control(int id) const;
    template <class T>
    T* ControlAs(int id) const {
        return qobject_cast<T*>(Control(id));
    }
    const ControlMap& Controls() const { return m_controls; }
    CStatusBar* StatusBar() const { return m_statusBar; }
    bool IsTimerRunning(int id) const { return m_timers.IsTimerRunning(id); }
    int TimerInterval(int id) const { return m_timers.TimerInterval(id); }
    bool IsPortOpen() const override { return m_port.IsOpen(); }

    CPortPanel& PortPanel() const { return *m_portPanel; }
    CParamsPanel& ParamsPanel() const { return *m_paramsPanel; }
    CReceiveMonitor& ReceiveMonitor() const { return *m_receiveMonitor; }
    CSendPanel& SendPanel() const { return *m_sendPanel; }

    // Message map handlers.
    void OnPortRxChar(std::uint8_t byte, int port);
    void OnPortRxRun(std::span<const std::uint8_t> bytes, int port);
    void OnOpenPort();
    void OnManualSend();
    void OnTimerTick(int id);
    void OnAutoSend();
    void OnSendEditChange();
    void OnAutoSendPeriodChange();
    void OnClearReceive();
    void OnStopDisplay();
    void OnClearSend();
    void OnPortSelected();
    void OnDataBitsSelected();
    void OnParitySelected();
    void OnBaudSelected();
    void OnStopBitsSelected();
    void OnClearCounters();
    void OnReadParams();
    void OnSaveParams();
    void OnDebugToggle();
    void OnFactoryDefaults();
    void OnRebootDevice();
    void OnDeviceTypeLabelDblClk();
    void OnPortLost();

  protected:
    void done(int result) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    // CPortOwner: the engine's worker reaches this window only through these.
    void PostToOwnerThread(std::function<void()> fn) override;
    void OnPortMessage(unsigned message, std::span<const std::uint8_t> bytes, int port) override;
    void OnPortError(const std::string& text) override;
    // IPortLink, for the panels that send.
    void WritePort(std::span<const std::uint8_t> bytes) override;

    bool OnInitDialog();
    void OnDestroy();
    void ConnectMessageMap();
    void ShowAbout();

    // The engine first, so that it is destroyed last: its destructor waits for the worker.
    CSerialPort m_port;
    QIcon m_icon;
    ControlMap m_controls;
    CStatusBar* m_statusBar = nullptr;
    CWindowTimers m_timers;
    std::unique_ptr<CSendPanel> m_sendPanel;
    std::unique_ptr<CReceiveMonitor> m_receiveMonitor;
    std::unique_ptr<CParamsPanel> m_paramsPanel;
    std::unique_ptr<CPortPanel> m_portPanel;
    bool m_destroyed = false;
};
