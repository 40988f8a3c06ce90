// The remembered settings, one line each, in the order they are put back: the lists first, so that the
// port is chosen before anything that may look at it, and the width last.
#include <QLineEdit>

#include "app/quendal_dlg.h"
#include "app/window_settings.h"

namespace {
// The period edit takes digits only; the longest period kept is a day.
constexpr int kLongestAutoSendPeriodMs = 24 * 60 * 60 * 1000;
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
            "window/wide", [](const CQuendalDlg& w) { return w.IsDebugShown(); },
            [](CQuendalDlg& w, bool wide) {
                if (w.IsDebugShown() != wide) {
                    w.OnDebugToggle();
                }
            }),
    };
    return entries;
}
