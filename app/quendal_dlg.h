// CQuendalDlg, the one window of the program, and the owner of everything else.
//
// Layers: the window (this class) only creates widgets from the layout rows, routes notifications to its
// OnSomething handlers and writes results into controls. The work is done by Qt-free modules: the record
// and the form binding (protocol/), the response frames and commands (protocol/), the serial engine
// (serial/), hex conversion and the receive decoding (terminal/). Handlers are split by subsystem into
// protocol/*_dlg.cpp, serial/*_dlg.cpp and terminal/*_dlg.cpp.
//
// Data flow: the engine's worker reads the port and hands each run of received bytes to this window's
// thread (CPortOwner); OnPortRxRun treats them byte by byte (count, frame collection, display); the idle
// timer judges the frame; commands go back out through the engine's single pending write request.
#pragma once

#include <QDialog>
#include <QIcon>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <vector>

#include "protocol/device_params.h"
#include "protocol/response_frame.h"
#include "res/control_ids.h"
#include "serial/port_owner.h"
#include "serial/serial_port.h"
#include "terminal/gbk_decoder.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class CStatusBar;
class CQtParamForm;
class CReceiveLineCounter;

enum TimerId : int {
    TIMER_AUTO_SEND = 1,
    TIMER_RX_IDLE = 2,
    TIMER_SIGNAL_QUERY = 3,
};
constexpr int kRxIdleMs = 100;
constexpr int kSignalQueryDelayMs = 500;

// Program-wide byte counters. 64-bit: at full speed a 32-bit count overflows within the hour.
extern std::int64_t RxCount;
extern std::int64_t TxCount;

class CQuendalDlg : public QDialog, private CPortOwner {
    Q_OBJECT
  public:
    explicit CQuendalDlg(QWidget* parent = nullptr);
    ~CQuendalDlg() override;

    QWidget* Control(int id) const;
    template <class T>
    T* ControlAs(int id) const {
        return qobject_cast<T*>(Control(id));
    }
    CStatusBar* StatusBar() const { return m_statusBar; }
    bool IsTimerRunning(int id) const;
    int TimerInterval(int id) const;
    const DeviceParams& HeldParams() const { return m_params; }
    const ResponseFrame& Frame() const { return m_frame; }
    bool IsPortOpen() const { return m_port.IsOpen(); }
    // Sees every received byte that passes the port-number test, in order (reliability tests).
    void SetRxTap(std::function<void(std::uint8_t)> tap) { m_rxTap = std::move(tap); }

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

    void ShowDeviceParams();
    bool CollectDeviceParams();
    void DispatchResponseFrame();

    void SetTimer(int id, int milliseconds);
    void KillTimer(int id);

    // Data exchange: pull (true) copies both edits into ReceiveText/SendText, push (false) the reverse.
    void UpdateData(bool saveAndValidate);

  protected:
    void done(int result) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    // CPortOwner: the engine's worker reaches this window only through these.
    void PostToOwnerThread(std::function<void()> fn) override;
    void OnPortMessage(unsigned message, std::span<const std::uint8_t> bytes, int port) override;
    void OnPortError(const std::string& text) override;

    bool OnInitDialog();
    void OnDestroy();
    void ConnectMessageMap();
    void ShowAbout();
    bool RefuseIfPortClosed();
    void SendCommand(std::span<const std::uint8_t> bytes, const QString& paneText);
    void AddTx(std::int64_t bytes);
    void ShowTxCount();
    void ShowRxCount();
    void SetPaneText(int pane, const QString& text);
    void SetPanelOpen(bool open);
    void AppendReceivePieces(const QString& pieces, const std::vector<qsizetype>& ends);
    void OnReceiveAreaChanged();
    void RefreshPortTooltips();
    void StopAutoSend();
    void SendSignalQuery();
    void EndTextDisplay();
    void OnHexDisplayToggled(bool hex);

    // Members in the order the window declares them; destruction runs in reverse.
    int m_displayStopped = 0;
    int m_portBaud = 0;
    int m_portNumber = 0;
    char m_portParity = 0;
    int m_portDataBits = 0;
    int m_portStopBits = 0;
    CSerialPort m_port;
    // Control wrappers.
    QPlainTextEdit* m_receiveEdit = nullptr;
    QCheckBox* m_hexDisplay = nullptr;
    QComboBox* m_portCombo = nullptr;
    QComboBox* m_portDataBitsCombo = nullptr;
    QComboBox* m_portParityCombo = nullptr;
    QComboBox* m_portBaudCombo = nullptr;
    QComboBox* m_portStopBitsCombo = nullptr;
    QLabel* m_rxCount = nullptr;
    QLabel* m_txCount = nullptr;
    QPushButton* m_openPort = nullptr;
    QPushButton* m_stopDisplay = nullptr;
    QCheckBox* m_autoClear = nullptr;
    QCheckBox* m_autoSend = nullptr;
    QCheckBox* m_hexSend = nullptr;
    QString m_receiveText;  // ReceiveText
    QString m_sendText;     // SendText
    int m_autoSendPeriod = 1000;
    int m_autoSendOn = 0;
    unsigned m_eventMask = 0;
    int m_panelClosed = 1;
    QIcon m_icon;
    DeviceParams m_params;
    ResponseFrame m_frame;
    CStatusBar* m_statusBar = nullptr;

    std::map<int, QWidget*> m_controls;
    std::map<int, QTimer*> m_timers;
    std::unique_ptr<CQtParamForm> m_form;
    GbkDecoder m_rxDecoder;  // text-mode decoding state; survives clears of the area
    bool m_destroyed = false;
    std::function<void(std::uint8_t)> m_rxTap;
    std::unique_ptr<CReceiveLineCounter> m_receiveLines;  // the area's lines as displayed
    bool m_insertingReceived = false;
    bool m_signalQueryHeld = false;  // its time came while a frame was still arriving
};
