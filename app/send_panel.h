// The send half of the terminal: the send area's text, or its hex pairs, out through the port, by hand or
// on the auto-send timer; and the TX count, which every sender adds to (ISentCount). Auto send is one
// flag, which its check box mirrors; the port panel asks it before a close and stops it when the device
// goes (IAutoSend). A text send may get a line ending (off the send area's menu; none by default).
#pragma once

#include <QString>
#include <cstdint>

#include "app/layout_builder.h"
#include "app/panel_links.h"
#include "terminal/send_line_ending.h"

class CWindowTimers;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QWidget;

class CSendPanel : public ISentCount, public IAutoSend {
  public:
    CSendPanel(QWidget* window, const ControlMap& controls, IPortLink& port, CWindowTimers& timers);

    void OnManualSend();
    void OnAutoSend();
    void OnAutoSendPeriodChange();
    void OnClearSend();
    void OnSendEditChange();

    void CountSent(std::int64_t bytes) override;
    void ResetSentCount() override;
    bool IsAutoSendOn() const override { return m_autoSendOn; }
    void StopAutoSend() override;

    std::int64_t TxCount() const { return m_txCount; }
    void SetLineEnding(SendLineEnding ending) { m_lineEnding = ending; }
    SendLineEnding LineEnding() const { return m_lineEnding; }

  private:
    void SetAutoSendOn(bool on);
    void ShowTxCount();

    QWidget* m_window;
    IPortLink& m_port;
    CWindowTimers& m_timers;
    QPlainTextEdit* m_sendEdit;
    QCheckBox* m_hexSend;
    QCheckBox* m_autoSend;
    QLineEdit* m_periodEdit;
    QLabel* m_txCountText;

    QString m_sendText;  // SendText: the send area as it goes out, a line break as CR LF
    int m_autoSendPeriod = 1000;
    bool m_autoSendOn = false;
    SendLineEnding m_lineEnding = SendLineEnding::None;
    // 64-bit: at full speed a 32-bit count overflows within the hour.
    std::int64_t m_txCount = 0;
};
