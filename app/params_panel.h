// The parameter form and the device commands: read, save, factory defaults and restart, the signal query
// that follows a read, and the frames the device answers with. It holds the record last received or
// collected and the response frame being collected; the window hands it every received byte, beside the
// display. It writes through IPortLink, adds what it sends to the TX count (ISentCount) and reports in
// status pane 2. The signal query is held back while an answer is still arriving, so that it never lands
// in the same frame as a record. A save goes out only from a form that holds a record read whole (its
// checksum right) or an imported profile, and only with numbers and parity the device reads as shown.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

#include "app/layout_builder.h"
#include "app/qt_param_form.h"
#include "protocol/device_params.h"
#include "protocol/response_frame.h"

class CStatusBar;
class CWindowTimers;
class IAutoSend;
class IPortLink;
class ISentCount;
class QString;
class QWidget;

class CParamsPanel {
  public:
    CParamsPanel(QWidget* window, const ControlMap& controls, IPortLink& port, ISentCount& sent,
                 IAutoSend& autoSend, CStatusBar& statusBar, CWindowTimers& timers);

    void OnReadParams();
    void OnSaveParams();
    void OnFactoryDefaults();
    void OnRebootDevice();
    void OnDeviceTypeLabelDblClk();
    // The device-type combo's text changed: the labels and links follow it.
    void OnDeviceTypeChange();

    // Frame collection of every received byte, in order; a full frame is judged at once.
    void TakeReceivedBytes(std::span<const std::uint8_t> bytes);
    // TIMER_RX_IDLE: the line has been quiet; the frame is judged.
    void OnRxIdle();
    // TIMER_SIGNAL_QUERY.
    void OnSignalQueryDue();

    void ShowHeldParams();
    bool CollectFormForSave();
    void JudgeResponseFrame();

    // The form as a configuration profile in path (readable by its owner only, never written through a
    // link), and back. A profile that fails a field's rules leaves the form as it was; both say what went
    // wrong in a box. An import keeps a locked device type, and says so when the profile asked another.
    bool ExportProfile(const QString& path);
    bool ImportProfile(const QString& path);

    // Hears every frame as it is dispatched, whole: the module dialogs read their answers there.
    void SetFrameObserver(std::function<void(std::string_view)> observer) {
        m_frameObserver = std::move(observer);
    }

    const DeviceParams& HeldParams() const { return m_params; }
    bool FormHasSource() const { return m_formHasSource; }
    const ResponseFrame& Frame() const { return m_frame; }
    CQtParamForm& Form() { return m_form; }

  private:
    void SendCommand(std::span<const std::uint8_t> bytes, const QString& paneText);
    void SendSignalQuery();
    void ShowSignalLevel(std::string_view frameText);

    QWidget* m_window;
    const ControlMap& m_controls;
    IPortLink& m_port;
    ISentCount& m_sent;
    IAutoSend& m_autoSend;
    CStatusBar& m_statusBar;
    CWindowTimers& m_timers;
    CQtParamForm m_form;
    DeviceParams m_params;
    ResponseFrame m_frame;
    std::function<void(std::string_view)> m_frameObserver;
    bool m_signalQueryHeld = false;  // its time came while a frame was still arriving
    // The form holds a record read whole from the device or an imported profile; only then may it be
    // saved. Typing alone never sets it.
    bool m_formHasSource = false;
};
