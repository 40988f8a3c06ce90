#include "app/receive_monitor.h"

#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QTextDocument>
#include <QTime>

#include "app/panel_links.h"
#include "res/texts.h"

namespace {

// One frame of a 60 Hz screen: the area is written at most this often while bytes keep coming.
constexpr int kShowBeatMs = 16;
constexpr int kPrepareDelayMs = 50;

QStringView View(const std::u16string& text, std::size_t from = 0) {
    return QStringView(text.data() + from, static_cast<qsizetype>(text.size() - from));
}

}  // namespace

CReceiveMonitor::CReceiveMonitor(const ControlMap& controls, ISentCount& sent)
    : m_sent(sent),
      m_area(ControlAs<QPlainTextEdit>(controls, IDC_RECEIVE_EDIT)),
      m_hexDisplay(ControlAs<QCheckBox>(controls, IDC_HEX_DISPLAY)),
      m_autoClear(ControlAs<QCheckBox>(controls, IDC_AUTO_CLEAR)),
      m_stopDisplay(ControlAs<QPushButton>(controls, IDC_STOP_DISPLAY)),
      m_rxCountText(ControlAs<QLabel>(controls, IDC_RX_COUNT)),
      m_lines(m_area) {
    connect(m_area->document(), &QTextDocument::contentsChanged, this, &CReceiveMonitor::OnAreaChanged);
    connect(m_hexDisplay, &QCheckBox::toggled, this, &CReceiveMonitor::OnHexDisplayToggled);
    m_autoClear->setChecked(true);
    // A terminal's text keeps every glyph at its own advance: hex columns stay even, and the line count
    // can add advances up instead of shaping every line.
    QFont font = m_area->font();
    font.setKerning(false);
    m_area->setFont(font);
    m_lines.SetTextSource([this] { return TextWithPending(); });
    m_showBeat.setSingleShot(true);
    m_showBeat.setTimerType(Qt::PreciseTimer);
    connect(&m_showBeat, &QTimer::timeout, this, &CReceiveMonitor::ShowPending);
    m_stampClock = [steady = QElapsedTimer()]() mutable {
        if (!steady.isValid()) {
            steady.start();
        }
        return ReceiveTime{steady.elapsed(), QTime::currentTime().msecsSinceStartOfDay()};
    };
}

void CReceiveMonitor::OnWindowShown() {
    m_lines.Reset(TextWithPending());
    // The font's one check for summed wraps, once the window has painted and before bytes arrive: the
    // first received byte would otherwise wait for it.
    QTimer::singleShot(kPrepareDelayMs, this, [this] { m_lines.PrepareSums(); });
}

QString CReceiveMonitor::TextWithPending() const {
    if (m_replaceArea) {
        return View(m_pending).toString();
    }
    QString text = m_area->toPlainText();
    text.append(View(m_pending));
    return text;
}

void CReceiveMonitor::OnBytesReceived(std::span<const std::uint8_t> bytes) {
    const bool showing = !m_displayStopped;
    const bool hex = m_hexDisplay->isChecked();
    const bool autoClear = m_autoClear->isChecked();
    if (showing) {
        m_pending.reserve(m_pending.size() + bytes.size() * (hex ? 3 : 1));
        if (m_pieces.StampsOn()) {
            m_pieces.BeginRun(m_stampClock());
        }
    }
    for (const std::uint8_t byte : bytes) {
        ++m_rxCount;
        if (m_rxTap) {
            m_rxTap(byte);
        }
        if (showing) {
            ApplyLineRules(autoClear);
            const std::size_t start = m_pending.size();
            m_pieces.Append(byte, hex, m_pending);
            AddPieceFrom(start);
        }
    }
    m_rxCountShown = false;
    ScheduleShow();
}

void CReceiveMonitor::ScheduleShow() {
    if (m_showBeat.isActive()) {
        return;
    }
    const qint64 since = m_sinceShown.isValid() ? m_sinceShown.elapsed() : kShowBeatMs;
    if (since >= kShowBeatMs) {
        ShowPending();
    } else {
        m_showBeat.start(static_cast<int>(kShowBeatMs - since));
    }
}

void CReceiveMonitor::ShowPending() {
    m_showBeat.stop();
    m_sinceShown.start();
    if (!m_rxCountShown) {
        ShowRxCount();
    }
    if (m_replaceArea || !m_pending.empty()) {
        ShowPendingPieces();
    }
}

void CReceiveMonitor::ApplyLineRules(bool autoClear) {
    if (m_lines.Count() < ReceiveLineLimit(autoClear)) {
        return;
    }
    // This byte's check fires: the area is emptied (or replaced by the overflow notice) and the byte's
    // piece starts the new text. Pending pieces before it were never shown, so they never need to be.
    m_pending.assign(EmptiedReceiveText(autoClear));
    m_replaceArea = true;
    m_pieces.AreaEmptied();
    m_lines.Reset(View(m_pending));
}

void CReceiveMonitor::AddPieceFrom(std::size_t start) {
    m_lines.Append(View(m_pending, start));
}

void CReceiveMonitor::ShowPendingPieces() {
    // The counter already holds the area's new text; the write must not make it count it again.
    m_writingArea = true;
    if (m_replaceArea) {
        m_area->setPlainText(View(m_pending).toString());
    } else if (!m_pending.empty()) {
        QTextCursor cursor(m_area->document());
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(View(m_pending).toString());
    }
    m_writingArea = false;
    m_pending.clear();
    m_replaceArea = false;
    m_area->moveCursor(QTextCursor::End);
    m_area->ensureCursorVisible();
}

void CReceiveMonitor::OnAreaChanged() {
    if (!m_writingArea) {
        // A clear or the user's own typing: count the area afresh, with what is still to come into it.
        m_lines.Reset(TextWithPending());
    }
}

void CReceiveMonitor::EndTextDisplay() {
    // Bytes the text display never sees must not complete a character or a CR LF begun before.
    std::u16string closed;
    m_pieces.EndText(closed);
    ShowClosedText(closed);
}

void CReceiveMonitor::ShowClosedText(const std::u16string& closed) {
    if (closed.empty()) {
        return;
    }
    ApplyLineRules(m_autoClear->isChecked());
    const std::size_t start = m_pending.size();
    m_pending += closed;
    AddPieceFrom(start);
    ShowPending();
}

void CReceiveMonitor::OnHexDisplayToggled(bool hex) {
    if (hex && !m_displayStopped) {
        EndTextDisplay();
    }
}

void CReceiveMonitor::SetTimestamps(bool on) {
    const QString text = on ? TextWithPending() : QString();
    m_pieces.SetStamps(on, text.isEmpty() || text.endsWith(u'\n'));
}

void CReceiveMonitor::SetReceiveEncoding(ReceiveEncoding encoding) {
    std::u16string closed;
    m_pieces.SetEncoding(encoding, closed);
    if (!m_displayStopped && !m_hexDisplay->isChecked()) {
        ShowClosedText(closed);
    }
}

void CReceiveMonitor::OnStopDisplay() {
    if (!m_displayStopped) {
        // In hex the decoder holds nothing; the stamps still learn that bytes go unseen.
        EndTextDisplay();
    }
    m_displayStopped = !m_displayStopped;
    m_stopDisplay->setText(Utf8((m_displayStopped ? kTextResumeDisplay : kTextStopDisplay).utf8));
}

void CReceiveMonitor::OnClearReceive() {
    // Pieces still waiting were due on screen before the click, so the clear takes them too.
    m_pending.clear();
    m_replaceArea = false;
    m_pieces.AreaEmptied();
    m_area->clear();
}

void CReceiveMonitor::OnClearCounters() {
    m_rxCount = 0;
    ShowRxCount();
    m_sent.ResetSentCount();
}

void CReceiveMonitor::ShowRxCount() {
    m_rxCountShown = true;
    m_rxCountText->setText(QString("RX:%1").arg(m_rxCount));
}
