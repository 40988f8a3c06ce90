// Window side of the send panel: typed text or hex pairs, by hand or on the auto-send timer.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

#include "app/message_box.h"
#include "app/qt_param_form.h"
#include "app/quendal_dlg.h"
#include "protocol/number_text.h"
#include "terminal/hex_text.h"

namespace {
// A period of 0 or less (an empty or non-numeric text) would fire on every pass of the event loop and
// starve the window; such periods run at 10 ms, as fast as a send is still worth a tick of its own.
constexpr int kShortestAutoSendPeriod = 10;
}  // namespace

void CQuendalDlg::OnManualSend() {
    if (RefuseIfPortClosed()) {
        return;
    }
    UpdateData(true);
    if (m_hexSend->isChecked()) {
        // Only ASCII hex digits convert; anything else ends the conversion, so a lossy encoding is harmless.
        const std::string text = ToGbk(m_sendText).value_or(m_sendText.toLatin1().toStdString());
        std::vector<std::uint8_t> bytes;
        HexTextToBytes(text, bytes);
        m_port.WriteBytes(bytes.data(), bytes.size());
        AddTx(static_cast<std::int64_t>(HexSendTxCount(text.size())));
    } else {
        const std::optional<std::string> text = ToGbk(m_sendText);
        if (!text) {
            // Sending '?' for what the user typed would be a silent corruption.
            StopAutoSend();
            AppMessageBox(this, "发送区含有无法按 GBK 编码发送的字符");
            return;
        }
        m_port.WriteBytes(reinterpret_cast<const std::uint8_t*>(text->data()), text->size());
        AddTx(static_cast<std::int64_t>(text->size()));
    }
    ShowTxCount();
}

void CQuendalDlg::OnAutoSend() {
    m_autoSendOn = !m_autoSendOn;
    if (!m_autoSendOn) {
        KillTimer(TIMER_AUTO_SEND);
    } else if (m_port.IsOpen()) {
        SetTimer(TIMER_AUTO_SEND, m_autoSendPeriod > 0 ? m_autoSendPeriod : kShortestAutoSendPeriod);
    } else {
        m_autoSendOn = 0;
        m_autoSend->setChecked(false);
        AppMessageBox(this, "串口没有打开，请打开串口");
    }
}

void CQuendalDlg::StopAutoSend() {
    m_autoSendOn = 0;
    m_autoSend->setChecked(false);
    KillTimer(TIMER_AUTO_SEND);
}

void CQuendalDlg::OnAutoSendPeriodChange() {
    // The leading number as typed, whatever follows it: a character with no GBK form further on must not
    // empty the whole text.
    const QString text = ControlAs<QLineEdit>(IDC_AUTO_SEND_PERIOD)->text();
    std::string ascii;
    ascii.reserve(static_cast<std::size_t>(text.size()));
    for (QChar c : text) {
        ascii.push_back(c.unicode() < 0x80 ? static_cast<char>(c.unicode()) : '\x7f');
    }
    m_autoSendPeriod = Atoi32(ascii);
}

void CQuendalDlg::OnClearSend() {
    m_sendText.clear();
    UpdateData(false);
}

void CQuendalDlg::OnSendEditChange() {
    UpdateData(true);
}
