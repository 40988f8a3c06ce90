// Window side of the receive monitor. Bytes arrive in runs; each byte is still counted, collected into the
// response frame, checked against the auto clear (50 lines) and overflow (more than 400 lines) rules and
// given its piece, in order, but the receive area takes the run's text in one insertion. The line count the
// rules ask for before every byte comes from CReceiveLineCounter, which follows the area's own wrapping.
#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QTextDocument>

#include "app/quendal_dlg.h"
#include "protocol/response_frame.h"
#include "terminal/gbk_decoder.h"
#include "terminal/receive_lines_qt.h"

namespace {

constexpr int kAutoClearLines = 50;
constexpr int kOverflowLines = 401;
const QString kOverflowText = "***The Length of the Text is too long, Emptied Automaticly!!!***\n";

void InsertAtEnd(QPlainTextEdit* edit, const QString& text) {
    QTextCursor cursor(edit->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);
}

}  // namespace

void CQuendalDlg::OnPortRxChar(std::uint8_t byte, int port) {
    OnPortRxRun({&byte, 1}, port);
}

void CQuendalDlg::OnPortRxRun(std::span<const std::uint8_t> bytes, int port) {
    if (port < 1 || port > 256 || bytes.empty()) {
        return;
    }
    const bool showing = m_displayStopped == 0;
    const bool hex = m_hexDisplay->isChecked();
    QString pieces;
    std::vector<qsizetype> ends;  // end of each byte's piece in pieces
    if (showing) {
        pieces.reserve(static_cast<qsizetype>(bytes.size()) * (hex ? 3 : 1));
        ends.reserve(bytes.size());
    }
    std::string utf8;
    for (std::uint8_t byte : bytes) {
        ++RxCount;
        if (m_rxTap) {
            m_rxTap(byte);
        }
        if (CollectResponseByte(m_frame, byte)) {
            DispatchResponseFrame();
        }
        if (!showing) {
            continue;
        }
        if (hex) {
            static const char kDigits[] = "0123456789ABCDEF";
            pieces.append(QChar(kDigits[byte >> 4]));
            pieces.append(QChar(kDigits[byte & 0x0F]));
            pieces.append(QChar(' '));
        } else {
            utf8.clear();
            m_rxDecoder.FeedByte(byte, utf8);
            if (utf8.size() == 1) {
                pieces.append(QChar(static_cast<unsigned char>(utf8[0])));
            } else if (!utf8.empty()) {
                pieces.append(QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
            }
        }
        ends.push_back(pieces.size());
    }
    ShowRxCount();
    SetTimer(TIMER_RX_IDLE, kRxIdleMs);
    if (showing) {
        AppendReceivePieces(pieces, ends);
    }
}

void CQuendalDlg::AppendReceivePieces(const QString& pieces, const std::vector<qsizetype>& ends) {
    const bool autoClear = m_autoClear->isChecked();
    const int limit = autoClear ? kAutoClearLines : kOverflowLines;
    QString shown;  // pieces not yet in the area
    bool emptied = false;
    qsizetype begin = 0;
    for (qsizetype end : ends) {
        if (m_receiveLines->Count() >= limit) {
            // This byte's check fires: the area is emptied (or replaced by the overflow notice) and the
            // byte's piece starts the new text. What was shown before it within this run was never painted,
            // so it need not reach the area at all.
            m_receiveText = autoClear ? QString() : kOverflowText;
            m_receiveLines->Reset(m_receiveText);
            shown.clear();
            emptied = true;
        }
        const QStringView piece = QStringView(pieces).mid(begin, end - begin);
        m_receiveLines->Append(piece);
        m_receiveText.append(piece);
        shown.append(piece);
        begin = end;
    }
    // The counter already holds the area's new text; the update must not make it count it again.
    m_insertingReceived = true;
    if (emptied) {
        UpdateData(false);
    } else if (!shown.isEmpty()) {
        InsertAtEnd(m_receiveEdit, shown);
    }
    m_insertingReceived = false;
    m_receiveEdit->moveCursor(QTextCursor::End);
    m_receiveEdit->ensureCursorVisible();
}

void CQuendalDlg::OnReceiveAreaChanged() {
    if (!m_insertingReceived) {
        // A clear, a rewrite from ReceiveText or the user's own typing: count the area afresh.
        m_receiveLines->Reset(m_receiveEdit->toPlainText());
    }
}

void CQuendalDlg::EndTextDisplay() {
    // Bytes the text display never sees must not complete a character or a CR LF begun before: a waiting
    // lead byte shows as a bad pair does, a waiting CR is forgotten.
    std::string utf8;
    m_rxDecoder.Flush(utf8);
    m_rxDecoder.Reset();
    if (!utf8.empty()) {
        const QString piece = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
        AppendReceivePieces(piece, {piece.size()});
    }
}

void CQuendalDlg::OnHexDisplayToggled(bool hex) {
    if (hex && m_displayStopped == 0) {
        EndTextDisplay();
    }
}

void CQuendalDlg::OnStopDisplay() {
    if (m_displayStopped == 0 && !m_hexDisplay->isChecked()) {
        EndTextDisplay();
    }
    m_displayStopped = !m_displayStopped;
    m_stopDisplay->setText(m_displayStopped ? "继续显示" : "停止显示");
}

void CQuendalDlg::OnClearReceive() {
    m_receiveText.clear();
    UpdateData(false);
}

void CQuendalDlg::OnClearCounters() {
    RxCount = 0;
    m_rxCount->setText("RX:0");
    TxCount = 0;
    m_txCount->setText("TX:0");
}
