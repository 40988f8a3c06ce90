// The receive half of the terminal: the receive area, stop/continue, clear, hex display, auto clear, and
// the RX count. Received bytes come in runs; each byte is counted and, while the display runs, checked
// against the line rules (50 lines with auto clear, more than 400 without) and given its piece, in order.
// The pieces and the rules are Qt-free (terminal/receive_pieces.h); the monitor only decides where they go.
//
// The text is held once, in the area. Pieces not yet in it wait in one buffer and reach the area in one
// write (ShowPending), at most once per frame of the screen: a flood arrives in hundreds of runs a
// second, and painting each would cost more than the bytes. A run after a quiet spell shows at once. The
// line count the rules ask for before every byte (CReceiveLineCounter) covers the area and that buffer,
// so when the write happens does not change what is shown. The RX count follows the same beat. The TX
// count belongs to the send panel; clearing the counters resets both.
//
// Two options beyond the check boxes, both off the area's menu and off by default: time stamps at line
// starts (taken once per run of bytes, from a clock a test may replace) and UTF-8 in place of GBK text.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "app/layout_builder.h"
#include "app/receive_line_counter.h"
#include "terminal/receive_pieces.h"

class ISentCount;
class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

class CReceiveMonitor : public QObject {
  public:
    CReceiveMonitor(const ControlMap& controls, ISentCount& sent);

    // A run of received bytes that passed the port-number test, in arrival order.
    void OnBytesReceived(std::span<const std::uint8_t> bytes);
    void OnStopDisplay();
    void OnClearReceive();
    void OnClearCounters();
    // The window is shown: the area has its final width.
    void OnWindowShown();

    // Brings the area and the RX count up to date now instead of on the next beat.
    void ShowPending();

    std::int64_t RxCount() const { return m_rxCount; }

    void SetTimestamps(bool on);
    bool Timestamps() const { return m_pieces.StampsOn(); }
    void SetReceiveEncoding(ReceiveEncoding encoding);
    ReceiveEncoding GetReceiveEncoding() const { return m_pieces.Encoding(); }
    void SetStampClock(std::function<ReceiveTime()> clock) { m_stampClock = std::move(clock); }
    // Sees every received byte, in order (reliability tests).
    void SetRxTap(std::function<void(std::uint8_t)> tap) { m_rxTap = std::move(tap); }

  private:
    void OnHexDisplayToggled(bool hex);
    void OnAreaChanged();
    void EndTextDisplay();
    // Text the display closes (a character left open) shown as a piece of its own.
    void ShowClosedText(const std::u16string& closed);
    // The auto clear and overflow rules, before a piece is added.
    void ApplyLineRules(bool autoClear);
    void AddPieceFrom(std::size_t start);
    void ScheduleShow();
    void ShowPendingPieces();
    void ShowRxCount();
    QString TextWithPending() const;

    ISentCount& m_sent;
    QPlainTextEdit* m_area;
    QCheckBox* m_hexDisplay;
    QCheckBox* m_autoClear;
    QPushButton* m_stopDisplay;
    QLabel* m_rxCountText;

    bool m_displayStopped = false;
    // 64-bit: at full speed a 32-bit count overflows within the hour.
    std::int64_t m_rxCount = 0;
    std::function<void(std::uint8_t)> m_rxTap;
    ReceivePieces m_pieces;
    std::function<ReceiveTime()> m_stampClock;
    CReceiveLineCounter m_lines;  // the area's lines as displayed, pending pieces included
    std::u16string m_pending;     // pieces not yet in the area
    bool m_replaceArea = false;   // the rules emptied the area: m_pending replaces its text
    bool m_writingArea = false;   // the monitor's own write, already counted
    bool m_rxCountShown = true;
    QTimer m_showBeat;
    QElapsedTimer m_sinceShown;
};
