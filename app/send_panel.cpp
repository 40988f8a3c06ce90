#include "app/send_panel.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

#include "app/message_box.h"
#include "app/qt_param_form.h"
#include "app/window_timers.h"
#include "protocol/number_text.h"
#include "res/texts.h"
#include "terminal/hex_text.h"

namespace {
// A period of 0 or less (an empty or non-numeric text) would fire on every pass of the event loop and
// starve the window; such periods run at 10 ms, as fast as a send is still worth a tick of its own.
constexpr int kShortestAutoSendPeriod = 10;
}  // namespace

CSendPanel::CSendPanel(QWidget* window, const ControlMap& controls, IPortLink& port, CWindowTimers& timers)
    : m_window(window),
      m_port(port),
      m_timers(timers),
      m_sendEdit(ControlAs<QPlainTextEdit>(controls, IDC_SEND_EDIT)),
      m_hexSend(ControlAs<QCheckBox>(controls, IDC_HEX_SEND)),
      m_autoSend(ControlAs<QCheckBox>(controls, IDC_AUTO_SEND)),
      m_periodEdit(ControlAs<QLineEdit>(controls, IDC_AUTO_SEND_PERIOD)),
      m_txCountText(ControlAs<QLabel>(controls, IDC_TX_COUNT)) {}

void CSendPanel::OnManualSend() {
    if (RefuseIfPortClosed(m_window, m_port, *this)) {
        return;
    }
    if (m_hexSend->isChecked()) {
        // Only ASCII hex digits convert; anything else ends the conversion, so a lossy encoding is harmless.
        const std::string text = ToGbk(m_sendText).value_or(m_sendText.toLatin1().toStdString());
        std::vector<std::uint8_t> bytes;
        HexTextToBytes(text, bytes);
        m_port.WritePort(bytes);
        // What went to the port, not a guess from the text's length.
        CountSent(static_cast<std::int64_t>(bytes.size()));
        return;
    }
    const std::optional<std::string> text = ToGbk(m_sendText);
    if (!text) {
        // Sending '?' for what the user typed would be a silent corruption.
        StopAutoSend();
        AppMessageBox(m_window, Utf8(kTextSendNotGbk.utf8));
        return;
    }
    const std::string bytes = TextSendBytes(*text, m_lineEnding);
    m_port.WritePort({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
    CountSent(static_cast<std::int64_t>(bytes.size()));
}

void CSendPanel::CountSent(std::int64_t bytes) {
    m_txCount += bytes;
    ShowTxCount();
}

void CSendPanel::ResetSentCount() {
    m_txCount = 0;
    ShowTxCount();
}

void CSendPanel::ShowTxCount() {
    m_txCountText->setText(QString("TX:%1").arg(m_txCount));
}

void CSendPanel::SetAutoSendOn(bool on) {
    m_autoSendOn = on;
    m_autoSend->setChecked(on);
}

void CSendPanel::OnAutoSend() {
    if (m_autoSendOn) {
        SetAutoSendOn(false);
        m_timers.KillTimer(TIMER_AUTO_SEND);
    } else if (!RefuseIfPortClosed(m_window, m_port, *this)) {
        SetAutoSendOn(true);
        m_timers.SetTimer(TIMER_AUTO_SEND, m_autoSendPeriod > 0 ? m_autoSendPeriod : kShortestAutoSendPeriod);
    }
}

void CSendPanel::StopAutoSend() {
    SetAutoSendOn(false);
    m_timers.KillTimer(TIMER_AUTO_SEND);
}

void CSendPanel::OnAutoSendPeriodChange() {
    // The leading number as typed, whatever follows it: a character with no GBK form further on must not
    // empty the whole text.
    const QString text = m_periodEdit->text();
    std::string ascii;
    ascii.reserve(static_cast<std::size_t>(text.size()));
    for (QChar c : text) {
        ascii.push_back(c.unicode() < 0x80 ? static_cast<char>(c.unicode()) : '\x7f');
    }
    m_autoSendPeriod = Atoi32(ascii);
}

void CSendPanel::OnClearSend() {
    m_sendEdit->clear();
}

void CSendPanel::OnSendEditChange() {
    m_sendText = m_sendEdit->toPlainText().replace('\n', "\r\n");
}
