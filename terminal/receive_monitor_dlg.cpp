// Window side of the receive monitor. Bytes arrive in runs; each byte is still counted, collected into the
// response frame and given its piece in order, but the receive area is updated once per run. The per-byte
// auto clear (50 lines) and overflow (more than 400 lines) are found exactly: the displayed line count only
// grows as text is appended, so a run whose text stays under the limit had no clear, and otherwise the byte
// where the limit is reached is found by halving.
#include <QAbstractTextDocumentLayout>
#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <limits>

#include "app/quendal_dlg.h"
#include "protocol/response_frame.h"
#include "terminal/gbk_decoder.h"

namespace {

constexpr int kAutoClearLines = 50;
constexpr int kOverflowLines = 401;
const QString kOverflowText = "***The Length of the Text is too long, Emptied Automaticly!!!***\n";

int LineCount(const QPlainTextEdit* edit) {
    return edit->document()->lineCount();
}

// A change that spans blocks only clears their layouts, and the document keeps their old line counts (1 for
// a new block) until they are painted. Lay them out from position on so that the count is exact below limit;
// once it reaches limit the rest can only add lines and is left for painting.
void LayOutFrom(QPlainTextEdit* edit, int position, int limit) {
    QTextDocument* doc = edit->document();
    QAbstractTextDocumentLayout* layout = doc->documentLayout();
    for (QTextBlock block = doc->findBlock(position); block.isValid() && doc->lineCount() < limit;
         block = block.next()) {
        layout->blockBoundingRect(block);
    }
}

void InsertAtEnd(QPlainTextEdit* edit, QStringView text, int limit) {
    QTextCursor cursor(edit->document());
    cursor.movePosition(QTextCursor::End);
    const int start = cursor.position();
    cursor.insertText(text.toString());
    LayOutFrom(edit, start, limit);
}

void RemoveFrom(QPlainTextEdit* edit, int position) {
    QTextCursor cursor(edit->document());
    cursor.setPosition(position);
    cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    // The block that lost text may still count the lines it had.
    LayOutFrom(edit, position, std::numeric_limits<int>::max());
}

int EndPosition(const QPlainTextEdit* edit) {
    return edit->document()->characterCount() - 1;
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
    SetTimer(TIMER_RX_IDLE, 100);
    if (showing) {
        AppendReceivePieces(pieces, ends);
    }
}

void CQuendalDlg::AppendReceivePieces(const QString& pieces, const std::vector<qsizetype>& ends) {
    const std::size_t count = ends.size();
    auto begin = [&](std::size_t k) { return k == 0 ? qsizetype{0} : ends[k - 1]; };
    auto span = [&](std::size_t from, std::size_t to) {
        return QStringView(pieces).mid(begin(from), begin(to) - begin(from));
    };
    const bool autoClear = m_autoClear->isChecked();
    const int limit = autoClear ? kAutoClearLines : kOverflowLines;

    // Appends pieces [from, to) to the area and to ReceiveText.
    auto show = [&](std::size_t from, std::size_t to) {
        InsertAtEnd(m_receiveEdit, span(from, to), limit);
        m_receiveText.append(span(from, to));
    };
    std::size_t next = 0;  // the first byte not yet shown; its check comes first
    while (next < count) {
        if (LineCount(m_receiveEdit) >= limit) {
            // This byte's check fires: empty the area (or replace it by the overflow notice) before its
            // piece.
            m_receiveText = autoClear ? QString() : kOverflowText;
            UpdateData(false);
        }
        show(next, next + 1);
        ++next;
        // Take as many following pieces as leave the count under the limit, so that every check they
        // pass is quiet; halve the batch until it fits. A batch of none leaves the next check to the top.
        for (std::size_t take = count - next; take > 0 && LineCount(m_receiveEdit) < limit; take /= 2) {
            const int mark = EndPosition(m_receiveEdit);
            InsertAtEnd(m_receiveEdit, span(next, next + take), limit);
            if (LineCount(m_receiveEdit) < limit) {
                m_receiveText.append(span(next, next + take));
                next += take;
                break;
            }
            RemoveFrom(m_receiveEdit, mark);
        }
    }
    m_receiveEdit->moveCursor(QTextCursor::End);
    m_receiveEdit->ensureCursorVisible();
}

void CQuendalDlg::OnStopDisplay() {
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
