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
// these bytes, count these sent bytes, is auto send on, stop it); the window implements the port's. Every
// handler keeps its name here, most as a one-line forward to its panel, so each is found by its name. The
// work itself is done by Qt-free modules: protocol/ (record, form binding, frames, commands), serial/
// (engine), terminal/ (hex sends, receive pieces) and text/ (GBK).
//
// The remembered settings (window_settings.h) are put back before the window is shown and written when it
// is destroyed, when the window was given a settings file.
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
#include "app/params_panel.h"
#include "app/port_panel.h"
#include "app/receive_monitor.h"
#include "app/send_panel.h"
#include "app/window_settings.h"
#include "app/window_timers.h"
#include "serial/port_owner.h"
#include "serial/serial_port.h"

class CCaptureControl;
class CStatusBar;

class CQuendalDlg : public QDialog, private CPortOwner, private IPortLink {
    Q_OBJECT
  public:
    // settingsPath: the remembered settings' file (CWindowSettings); empty starts in the start state and
    // remembers nothing.
    explicit CQuendalDlg(QWidget* parent = nullptr, const QString& settingsPath = QString());
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
    bool IsDebugShown() const { return m_debugShown; }
    const CWindowSettings& Settings() const { return m_settings; }

    CPortPanel& PortPanel() const { return *m_portPanel; }
    CParamsPanel& ParamsPanel() const { return *m_paramsPanel; }
    CReceiveMonitor& ReceiveMonitor() const { return *m_receiveMonitor; }
    CSendPanel& SendPanel() const { return *m_sendPanel; }
    CCaptureControl& Capture() const { return *m_capture; }

    // Message map handlers. The window's own:
    void OnPortRxChar(std::uint8_t byte, int port);
    void OnPortRxRun(std::span<const std::uint8_t> bytes, int port);
    void OnTimerTick(int id);
    void OnDebugToggle();
    void OnRestoreDefaults();
    // The port panel's:
    void OnOpenPort() { m_portPanel->OnOpenPort(); }
    void OnPortSelected() { m_portPanel->OnPortSelected(); }
    void OnDataBitsSelected() { m_portPanel->OnDataBitsSelected(); }
    void OnParitySelected() { m_portPanel->OnParitySelected(); }
    void OnBaudSelected() { m_portPanel->OnBaudSelected(); }
    void OnStopBitsSelected() { m_portPanel->OnStopBitsSelected(); }
    void OnPortLost() { m_portPanel->OnPortLost(); }
    // The params panel's:
    void OnReadParams() { m_paramsPanel->OnReadParams(); }
    void OnSaveParams() { m_paramsPanel->OnSaveParams(); }
    void OnFactoryDefaults() { m_paramsPanel->OnFactoryDefaults(); }
    void OnRebootDevice() { m_paramsPanel->OnRebootDevice(); }
    void OnDeviceTypeLabelDblClk() { m_paramsPanel->OnDeviceTypeLabelDblClk(); }
    void OnDeviceTypeChange() { m_paramsPanel->OnDeviceTypeChange(); }
    // The receive monitor's:
    void OnClearReceive() { m_receiveMonitor->OnClearReceive(); }
    void OnStopDisplay() { m_receiveMonitor->OnStopDisplay(); }
    void OnClearCounters() { m_receiveMonitor->OnClearCounters(); }
    // The send panel's:
    void OnManualSend() { m_sendPanel->OnManualSend(); }
    void OnAutoSend() { m_sendPanel->OnAutoSend(); }
    void OnSendEditChange() { m_sendPanel->OnSendEditChange(); }
    void OnAutoSendPeriodChange() { m_sendPanel->OnAutoSendPeriodChange(); }
    void OnClearSend() { m_sendPanel->OnClearSend(); }

  protected:
    void done(int result) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;
    void changeEvent(QEvent* event) override;

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
    void OnExportProfile();
    void OnImportProfile();
    void OnNetworkDiagnosis();
    void OnSignalMonitor();

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
    std::unique_ptr<CCaptureControl> m_capture;
    bool m_destroyed = false;
    bool m_aboutInSystemMenu = false;
    bool m_debugShown = false;  // the debug half is shown: the window is wide
    CWindowSettings m_settings;
};
