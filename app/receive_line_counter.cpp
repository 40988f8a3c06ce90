#include "app/receive_line_counter.h"

#include <QPlainTextEdit>
#include <QTextDocument>
#include <QTextLayout>
#include <limits>

namespace {
bool IsBlockSeparator(QChar c) {
    // What QTextCursor::insertText turns into a new block.
    return c == u'\n' || c == u'\r' || c == QChar::ParagraphSeparator || c == QChar(0xFDD0) ||
           c == QChar(0xFDD1);
}
}  // namespace

CReceiveLineCounter::CReceiveLineCounter(const QPlainTextEdit* edit) : m_edit(edit) {
    ReadEditGeometry();
}

void CReceiveLineCounter::ReadEditGeometry() {
    const QTextDocument* doc = m_edit->document();
    m_font = doc->defaultFont();
    m_option = doc->defaultTextOption();
    // The width QPlainTextDocumentLayout gives each line: the edit's text width less the document margins.
    const qreal width = TextWidth();
    m_textWidth = width;
    qreal extra = 0;
    const QFontMetricsF metrics(m_font);
    if (m_option.flags() & QTextOption::AddSpaceForLineAndParagraphSeparators) {
        extra = metrics.horizontalAdvance(QChar(0x21B5));
    }
    m_lineWidth = width - 2 * doc->documentMargin() - extra;
    // Per-character widths add up to the shaped width but for kerning, a fraction of a character.
    m_slack = metrics.averageCharWidth() / 2 + 1;
    for (std::size_t c = 0; c < m_asciiAdvance.size(); ++c) {
        m_asciiAdvance[c] = metrics.horizontalAdvance(QChar(static_cast<char16_t>(c)));
    }
    // A tab reaches at most the next tab stop.
    m_asciiAdvance['\t'] = std::max(m_option.tabStopDistance(), metrics.horizontalAdvance(QChar(' ')) * 8);
    m_otherAdvance.clear();
}

void CReceiveLineCounter::Reset(QStringView text) {
    ReadEditGeometry();
    m_closedLines = 0;
    m_settledLines = 0;
    m_open.clear();
    m_openAdvance = 0;
    m_mayWrap = false;
    Append(text);
}

qreal CReceiveLineCounter::Advance(QChar c) {
    const char16_t code = c.unicode();
    if (code < m_asciiAdvance.size()) {
        return m_asciiAdvance[code];
    }
    if (c.isSurrogate() || code == 0x2028) {
        // A line separator breaks the line; a surrogate half has no width of its own: lay these out.
        return std::numeric_limits<qreal>::infinity();
    }
    auto it = m_otherAdvance.find(code);
    if (it == m_otherAdvance.end()) {
        it = m_otherAdvance.insert(code, QFontMetricsF(m_font).horizontalAdvance(c));
    }
    return it.value();
}

void CReceiveLineCounter::Append(QStringView text) {
    for (QChar c : text) {
        if (IsBlockSeparator(c)) {
            CloseBlock();
            continue;
        }
        m_open.append(c);
        m_openAdvance += Advance(c);
        // Well inside the width the open line is one line for sure; near the edge it must be laid out.
        m_mayWrap = m_mayWrap || m_openAdvance + m_slack > m_lineWidth;
    }
}

void CReceiveLineCounter::CloseBlock() {
    SettleOpenLine();
    m_closedLines += m_settledLines + 1;
    m_settledLines = 0;
    m_open.clear();
    m_openAdvance = 0;
    m_mayWrap = false;
}

int CReceiveLineCounter::LayOut(QStringView text, int* lastLineStart) const {
    QTextLayout layout(text.toString(), m_font);
    layout.setTextOption(m_option);
    layout.beginLayout();
    int lines = 0;
    *lastLineStart = 0;
    while (true) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) {
            break;
        }
        line.setLineWidth(m_lineWidth);
        *lastLineStart = line.textStart();
        ++lines;
    }
    layout.endLayout();
    return std::max(lines, 1);
}

void CReceiveLineCounter::SettleOpenLine() {
    if (!m_mayWrap) {
        return;
    }
    m_mayWrap = false;
    int lastStart = 0;
    const int lines = LayOut(m_open, &lastStart);
    if (lines > 1) {
        // Every line but the last is final; only the last stays open.
        m_settledLines += lines - 1;
        m_open.remove(0, lastStart);
        m_openAdvance = 0;
        for (QChar c : m_open) {
            m_openAdvance += Advance(c);
        }
    }
    // The open line fits now; a line close to the edge is laid out again after its next character.
    m_mayWrap = false;
}

qreal CReceiveLineCounter::TextWidth() const {
    // The edit wraps at its viewport's width (QPlainTextEdit::WidgetWidth).
    return m_edit->viewport()->width();
}

int CReceiveLineCounter::Count() {
    if (TextWidth() != m_textWidth) {
        Reset(m_edit->toPlainText());  // the area was resized: every wrap may have moved
    }
    SettleOpenLine();
    return m_closedLines + m_settledLines + 1;
}
