// The remembered settings, one line each, in the order they are put back: the lists first, so that the
// port is chosen before anything that may look at it, and the width last.
#include <QLineEdit>

#include "app/capture_control.h"
#include "app/port_panel.h"
#include "app/receive_monitor.h"
#include "app/send_panel.h"

#include "app/quendal_dlg.h"
#include "app/window_settings.h"

namespace {
// The period edit takes digits only; the longest period kept is a day.
constexpr int kLongestAutoSendPeriodMs = 24 * 60 * 60 * 1000;

// The log's choices are remembered, never whether it was running: a log starts only when asked for.
SettingEntry CaptureSetting(const QString& key, QStringList words,
                            std::function<int(const CaptureRequest&)> get,
                            std::function<void(CaptureRequest&, int)> set) {
    return ChoiceSetting(
        key, std::move(words), [get](const CQuendalDlg& w) { return get(w.Capture().LastRequest()); },
        [set](CQuendalDlg& w, int index) {
            CaptureRequest request = w.Capture().LastRequest();
            set(request, index);
            w.Capture().SetLastRequest(request);
        });
}
}  // namespace

const std::vector<SettingEntry>& SettingEntries() {
    static const std::vector<SettingEntry> entries = {
        ComboSetting("port/name", IDC_PORT_COMBO, &CQuendalDlg::OnPortSelected),
        ComboSetting("port/baud", IDC_PORT_BAUD, &CQuendalDlg::OnBaudSelected),
        ComboSetting("port/parity", IDC_PORT_PARITY, &CQuendalDlg::OnParitySelected),
        ComboSetting("port/data_bits", IDC_PORT_DATABITS, &CQuendalDlg::OnDataBitsSelected),
        ComboSetting("port/stop_bits", IDC_PORT_STOPBITS, &CQuendalDlg::OnStopBitsSelected),
        CheckSetting("receive/hex", IDC_HEX_DISPLAY),
        CheckSetting("receive/auto_clear", IDC_AUTO_CLEAR),
        CheckSetting("send/hex", IDC_HEX_SEND),
        IntSetting(
            "send/auto_period_ms", 1, kLongestAutoSendPeriodMs,
            [](const CQuendalDlg& w) { return w.ControlAs<QLineEdit>(IDC_AUTO_SEND_PERIOD)->text().toInt(); },
            [](CQuendalDlg& w, int ms) {
                w.ControlAs<QLineEdit>(IDC_AUTO_SEND_PERIOD)->setText(QString::number(ms));
            }),
        BoolSetting(
            "receive/timestamps", [](const CQuendalDlg& w) { return w.ReceiveMonitor().Timestamps(); },
            [](CQuendalDlg& w, bool on) { w.ReceiveMonitor().SetTimestamps(on); }),
        ChoiceSetting(
            "receive/encoding", {"gbk", "utf-8"},
            [](const CQuendalDlg& w) { return static_cast<int>(w.ReceiveMonitor().GetReceiveEncoding()); },
            [](CQuendalDlg& w, int i) {
                w.ReceiveMonitor().SetReceiveEncoding(static_cast<ReceiveEncoding>(i));
            }),
        ChoiceSetting(
            "send/line_end", {"none", "cr", "lf", "crlf"},
            [](const CQuendalDlg& w) { return static_cast<int>(w.SendPanel().LineEnding()); },
            [](CQuendalDlg& w, int i) { w.SendPanel().SetLineEnding(static_cast<SendLineEnding>(i)); }),
        BoolSetting(
            "port/reconnect", [](const CQuendalDlg& w) { return w.PortPanel().ReconnectOnLoss(); },
            [](CQuendalDlg& w, bool on) { w.PortPanel().SetReconnectOnLoss(on); }),
        {"log/path", [](const CQuendalDlg& w) { return w.Capture().LastRequest().path; },
         [](CQuendalDlg& w, const QString& path) {
             CaptureRequest request = w.Capture().LastRequest();
             request.path = path;
             w.Capture().SetLastRequest(request);
             return true;
         }},
        CaptureSetting(
            "log/format", {"raw", "text"},
            [](const CaptureRequest& r) { return r.options.format == CaptureOptions::Format::Text ? 1 : 0; },
            [](CaptureRequest& r, int i) {
                r.options.format = i == 1 ? CaptureOptions::Format::Text : CaptureOptions::Format::Raw;
            }),
        CaptureSetting(
            "log/include_sent", {"false", "true"},
            [](const CaptureRequest& r) { return r.options.includeSent ? 1 : 0; },
            [](CaptureRequest& r, int i) { r.options.includeSent = i == 1; }),
        CaptureSetting(
            "log/append", {"false", "true"}, [](const CaptureRequest& r) { return r.options.append ? 1 : 0; },
            [](CaptureRequest& r, int i) { r.options.append = i == 1; }),
        BoolSetting(
            "window/wide", [](const CQuendalDlg& w) { return w.IsDebugShown(); },
            [](CQuendalDlg& w, bool wide) {
                if (w.IsDebugShown() != wide) {
                    w.OnDebugToggle();
                }
            }),
    };
    return entries;
}
