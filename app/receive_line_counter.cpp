#include "app/receive_line_counter.h"

#include "app/receive_line_breaks.h"

#include <QFontMetricsF>
#include <QGlyphRun>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <QTextLayout>
#include <algorithm>
#include <limits>

namespace {

// QTextEngine cuts a run of characters that would form one text item every 4096 characters.
constexpr qsizetype kMaxItemLength = 4096;

// Bounds on what is laid out again for text that gives no line start free of context, or no line that can
// be settled, for this long (digits and punctuation without a letter or a line end): a cost per byte that
// stays bounded is worth more than the exact breaks of such text.
constexpr qsizetype kMaxContext = 1024;
constexpr qsizetype kMaxUnsettled = 256;

qint64 ToFixed(qreal width) {
    return qRound64(width * 64);
}

}  // namespace

CReceiveLineCounter::CReceiveLineCounter(const QPlainTextEdit* edit)
    : m_edit(edit), m_viewport(edit->viewport()) {
    ReadEditGeometry();
}

void CReceiveLineCounter::ReadEditGeometry() {
    const QTextDocument* doc = m_edit->document();
    if (!m_fontMeasured || doc->defaultFont() != m_font) {
        MeasureFont(doc->defaultFont());
    }
    m_option = doc->defaultTextOption();
    // The width QPlainTextDocumentLayout gives each line: the edit's text width less the document margins.
    const qreal width = TextWidth();
    m_textWidth = width;
    qreal extra = 0;
    if (m_option.flags() & QTextOption::AddSpaceForLineAndParagraphSeparators) {
        extra = QFontMetricsF(m_font).horizontalAdvance(QChar(0x21B5));
    }
    m_lineWidth = width - 2 * doc->documentMargin() - extra;
    // QTextLine holds its width in 1/64 pixels, cut towards zero.
    m_lineWidthFixed = static_cast<qint64>(m_lineWidth * 64);
    // A tab reaches at most the next tab stop.
    m_asciiAdvance['\t'] =
        std::max(m_option.tabStopDistance(), QFontMetricsF(m_font).horizontalAdvance(QChar(' ')) * 8);
    ConfigureSums();
}

void CReceiveLineCounter::MeasureFont(const QFont& font) {
    m_font = font;
    m_fontMeasured = true;
    const QFontMetricsF metrics(m_font);
    // Per-character widths add up to the shaped width but for kerning, a fraction of a character.
    m_slack = metrics.averageCharWidth() / 2 + 1;
    for (std::size_t c = 0; c < m_asciiAdvance.size(); ++c) {
        // Shaped, as the layout sees it: a form feed takes no room although its glyph has a width.
        const QChar ch(static_cast<char16_t>(c));
        const qreal advance = metrics.horizontalAdvance(QString(ch));
        m_asciiAdvance[c] = advance;
        m_asciiSpaceWidth[c] = ToFixed(advance);
        // Ink past the advance counts when Qt fits a word on a line (in whole 1/64 pixels, cut towards 0).
        m_asciiInkPast[c] = std::max<qint64>(0, -static_cast<qint64>(metrics.rightBearing(ch) * 64));
    }
    m_otherAdvance.clear();
    m_otherSpaceWidth.clear();
    m_plainAsciiAdds = PlainAdvancesAdd();
    m_advancesMeasured = false;  // with the first text that arrives: a window that shows none pays nothing
}

void CReceiveLineCounter::Reset(QStringView text) {
    ReadEditGeometry();
    m_closedLines = 0;
    m_settledLines = 0;
    ClearOpenBlock();
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

qint64 CReceiveLineCounter::SpaceWidth(QChar c) {
    const char16_t code = c.unicode();
    if (code < m_asciiSpaceWidth.size()) {
        return m_asciiSpaceWidth[code];
    }
    auto it = m_otherSpaceWidth.find(code);
    if (it == m_otherSpaceWidth.end()) {
        it = m_otherSpaceWidth.insert(code, ToFixed(QFontMetricsF(m_font).horizontalAdvance(QString(c))));
    }
    return it.value();
}

bool CReceiveLineCounter::StartsItem(QChar c) {
    // As QTextEngine itemizes a block: a tab is an item of its own; a character of another script starts
    // one (characters of no script of their own join the script around them, marks stay with their base);
    // and an item ends after 4096 characters.
    const qsizetype at = m_blockLength++;
    const char16_t code = c.unicode();
    if (code < 128 && code != u'\t' && at != 0 && !m_afterOwnItem && at - m_itemStart < kMaxItemLength) {
        // ASCII inside an item, the bulk of what arrives: only a letter after another script starts one.
        if (AsciiScript(code) <= QChar::Script_Common || m_itemScript == QChar::Script_Latin) {
            return false;
        }
        const bool starts = m_itemScript > QChar::Script_Common;
        m_itemScript = QChar::Script_Latin;
        if (starts) {
            m_itemStart = at;
        }
        return starts;
    }
    const bool ownItem = c == u'\t' || c == QChar::LineSeparator || c == QChar::ObjectReplacementCharacter;
    bool newScript = false;
    const QChar::Script script = c.script();
    if (script > QChar::Script_Common && script != m_itemScript) {
        newScript = m_itemScript > QChar::Script_Common && !c.isMark();
        if (newScript || m_itemScript <= QChar::Script_Common) {
            m_itemScript = script;
        }
    }
    const bool starts =
        at == 0 || ownItem || m_afterOwnItem || newScript || at - m_itemStart >= kMaxItemLength;
    if (starts) {
        m_itemStart = at;
    }
    m_afterOwnItem = ownItem;
    return starts;
}

void CReceiveLineCounter::Append(QStringView text) {
    if (!m_advancesMeasured && !text.isEmpty()) {
        MeasureAdvances();
    }
    for (QChar c : text) {
        if (IsBlockSeparator(c)) {
            CloseBlock();
            continue;
        }
        const bool startsItem = StartsItem(c);
        if (m_summing) {
            if (m_sums.Append(c.unicode())) {
                continue;
            }
            HandOverToLayout();
        }
        if (IsHangingSpace(c)) {
            AppendSpace(c, startsItem);
        } else {
            AppendOther(c);
        }
    }
}

void CReceiveLineCounter::AppendSpace(QChar c, bool startsItem) {
    if (!m_endsInSpaces) {
        // A tab just before may have hung past the edge, and then this space starts the next line: settle
        // the line with the space, so that the run that follows sits on the open line for sure. (A tab is
        // counted at its widest, up to a whole tab stop.)
        PushOpen(c);
        m_mayWrap = m_mayWrap || m_openAdvance + m_slack > m_lineWidth;
        SettleOpenLine();
        m_endsInSpaces = true;
        m_spacesWidth = SpaceWidth(c);
        return;
    }
    if (startsItem && m_spacesWidth > m_lineWidthFixed) {
        // Spaces wider than a line end it where their text item ends; the rest of the run goes on.
        ++m_settledLines;
        StartLine(c);
        m_endsInSpaces = true;
        m_spacesWidth = SpaceWidth(c);
        return;
    }
    // Hanging spaces never wrap the line: nothing to lay out.
    PushOpen(c);
    m_spacesWidth += SpaceWidth(c);
}

void CReceiveLineCounter::AppendOther(QChar c) {
    if (m_endsInSpaces) {
        const bool overflowed = m_spacesWidth > m_lineWidthFixed;
        m_endsInSpaces = false;
        m_spacesWidth = 0;
        if (overflowed) {
            // Spaces wider than a line end it, whatever follows them.
            ++m_settledLines;
            StartLine(c);
            return;
        }
    }
    PushOpen(c);
    // Well inside the width the open line is one line for sure; near the edge it must be laid out.
    m_mayWrap = m_mayWrap || m_openAdvance + m_slack > m_lineWidth;
}

void CReceiveLineCounter::PushOpen(QChar c) {
    const auto at = static_cast<qsizetype>(m_open.size());
    if (StartsAfresh(c.unicode(), at > 0 ? m_open.back() : u'\0')) {
        m_undecided = -1;
    } else if (m_undecided < 0 && at > 0 && !BreakDecidedBy(QChar(m_open.back()), c)) {
        m_undecided = at;
    }
    m_open.push_back(c.unicode());
    m_openAdvance += Advance(c);
    // Lines not yet settled may break elsewhere with every character.
    m_mayWrap = m_mayWrap || m_pendingLines > 0;
}

void CReceiveLineCounter::StartLine(QChar c) {
    // Spaces wider than a line ended the line before: what came before them is settled with it.
    m_settledLines += m_pendingLines;
    m_pendingLines = 0;
    m_open.clear();
    m_unsettledStart = 0;
    m_openStart = 0;
    m_undecided = -1;
    m_openAdvance = 0;
    PushOpen(c);
    m_mayWrap = false;  // the first character of a line stays on it
}

void CReceiveLineCounter::CloseBlock() {
    if (m_summing) {
        m_closedLines += m_sums.Lines();
        m_settledLines = 0;
        ClearOpenBlock();
        return;
    }
    // The block's end decides every break in it.
    SettleOpenLine();
    m_closedLines += m_settledLines + m_pendingLines + 1;
    m_settledLines = 0;
    ClearOpenBlock();
}

void CReceiveLineCounter::ClearOpenBlock() {
    m_open.clear();
    m_pendingLines = 0;
    m_unsettledStart = 0;
    m_openStart = 0;
    m_undecided = -1;
    m_openAdvance = 0;
    m_mayWrap = false;
    m_endsInSpaces = false;
    m_spacesWidth = 0;
    m_blockLength = 0;
    m_itemStart = 0;
    m_itemScript = QChar::Script_Common;
    m_afterOwnItem = false;
    m_sums.Clear();
    m_summing = m_sumsWrap;
}

void CReceiveLineCounter::LayOut(QStringView text, qreal* lastLineWidth) {
    QTextLayout layout(text.toString(), m_font);
    layout.setTextOption(m_option);
    layout.beginLayout();
    m_lineStarts.clear();
    m_lineWidths.clear();
    *lastLineWidth = 0;
    QTextLine last;
    while (true) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) {
            break;
        }
        line.setLineWidth(m_lineWidth);
        m_lineStarts.push_back(line.textStart());
        m_lineWidths.push_back(line.naturalTextWidth());
        *lastLineWidth = line.naturalTextWidth();
        last = line;
    }
    layout.endLayout();
    // The open line's first word: what went to it for not fitting on the line before.
    m_openFirstWord = *lastLineWidth;
    if (last.isValid()) {
        for (qsizetype i = last.textStart() + 1; i < text.size(); ++i) {
            if (text[i] == u'\t' || IsHangingSpace(text[i])) {
                m_openFirstWord = last.cursorToX(static_cast<int>(i)) - last.cursorToX(last.textStart());
                break;
            }
        }
    }
    if (m_lineStarts.empty()) {
        m_lineStarts.push_back(0);
        m_lineWidths.push_back(0);
    }
}

int CReceiveLineCounter::LayOutPlainAscii(QStringView text, int* lastLineStart, qreal* lastLineWidth) const {
    if (!m_plainAsciiAdds || m_option.wrapMode() != QTextOption::WrapAtWordBoundaryOrAnywhere) {
        return 0;
    }
    return WrapPlainAscii(text, {m_asciiSpaceWidth, m_asciiInkPast, m_lineWidthFixed}, lastLineStart,
                          lastLineWidth);
}

void CReceiveLineCounter::SettleOpenLine() {
    if (!m_mayWrap) {
        return;
    }
    m_mayWrap = false;
    const QStringView open(m_open.data(), static_cast<qsizetype>(m_open.size()));
    qreal lastWidth = 0;
    int plainLastStart = 0;
    // Letters, digits and blanks break at blanks only, whatever surrounds them and whatever follows: every
    // line but the last is settled.
    const int plainLines = LayOutPlainAscii(open.mid(m_unsettledStart), &plainLastStart, &lastWidth);
    if (plainLines > 0) {
        m_settledLines += plainLines - 1;
        m_pendingLines = 0;
        m_unsettledStart += plainLastStart;
        m_openStart = m_unsettledStart;
        m_undecided = -1;
        m_lineStarts.assign(1, m_unsettledStart);
        MoveAnchor(0, 0);
    } else {
        LayOut(open, &lastWidth);
        const auto lines = m_lineStarts.size();
        const auto first = static_cast<std::size_t>(
            std::lower_bound(m_lineStarts.begin(), m_lineStarts.end() - 1, m_unsettledStart) -
            m_lineStarts.begin());
        // A line is settled once every break in it and in the line after it is decided: the break that ends
        // it was chosen because what follows up to the next break did not fit.
        const qsizetype decided = m_undecided < 0 ? open.size() : m_undecided;
        std::size_t settled = first;
        while (settled + 2 < lines && m_lineStarts[settled + 2] <= decided) {
            ++settled;
        }
        if (settled + 2 == lines && decided == open.size() && OpenLineSettlesLineBefore(settled)) {
            ++settled;
        }
        if (open.size() - m_lineStarts[settled] > kMaxUnsettled) {
            // Too long undecided (digits and punctuation without a letter): settle up to the latest line
            // start free of context, which keeps the breaks after it exact; only a run that ends other
            // than the way it went on may still move the breaks taken for settled.
            std::size_t forced = lines - 1;
            while (forced > settled + 1 &&
                   !StartsFreeOfContext(static_cast<std::size_t>(m_lineStarts[forced]))) {
                --forced;
            }
            settled = forced;
            if (settled == lines - 1) {
                m_undecided = -1;
            }
        }
        m_settledLines += static_cast<int>(settled - first);
        m_pendingLines = static_cast<int>(lines - 1 - settled);
        m_unsettledStart = m_lineStarts[settled];
        m_openStart = m_lineStarts.back();
        MoveAnchor(first + 1, settled);
    }
    // From the measured width on, the line is laid out again only once what is appended may reach the
    // edge; white space at its end is not in the measure but counts towards the next word's fit.
    qreal hanging = 0;
    for (auto i = m_open.size(); i > static_cast<std::size_t>(m_openStart) && QChar(m_open[i - 1]).isSpace();
         --i) {
        hanging += Advance(QChar(m_open[i - 1]));
    }
    m_openAdvance = lastWidth + hanging;
}

bool CReceiveLineCounter::OpenLineSettlesLineBefore(std::size_t before) const {
    // What the open line starts with went there because it did not fit after the line before. Up to the
    // end of the text Qt counts the ink of its last glyph, and stops counting it once more follows (even
    // blanks): only an overflow wider than that settles the line before.
    return m_lineWidths[before] + m_openFirstWord > m_lineWidth + m_slack;
}

bool CReceiveLineCounter::StartsFreeOfContext(std::size_t at) const {
    // Laid out from here, the text breaks as it does within the block: after a letter or an ideograph,
    // or after the second of two digits (the digit run is then the same whether or not it began before).
    const auto isDigit = [](char16_t c) { return c >= u'0' && c <= u'9'; };
    return StartsAfresh(m_open[at], m_open[at - 1]) ||
           (at + 1 < m_open.size() && isDigit(m_open[at]) && isDigit(m_open[at + 1]));
}

void CReceiveLineCounter::MoveAnchor(std::size_t firstStart, std::size_t lastStart) {
    // The latest settled line start that no context changes becomes the start of what is laid out.
    qsizetype anchor = 0;
    for (std::size_t line = lastStart + 1; line > firstStart; --line) {
        const qsizetype at = m_lineStarts[line - 1];
        const auto i = static_cast<std::size_t>(at);
        if (at > 0 && i < m_open.size() && StartsFreeOfContext(i)) {
            anchor = at;
            break;
        }
    }
    if (anchor == 0 && m_unsettledStart > kMaxContext) {
        anchor = m_unsettledStart;
    }
    if (anchor == 0) {
        return;
    }
    m_open.erase(0, static_cast<std::size_t>(anchor));
    m_unsettledStart -= anchor;
    m_openStart -= anchor;
    m_undecided = m_undecided < anchor ? -1 : m_undecided - anchor;
}

qreal CReceiveLineCounter::TextWidth() const {
    // The edit wraps at its viewport's width (QPlainTextEdit::WidgetWidth).
    return m_viewport->width();
}

int CReceiveLineCounter::Count() {
    if (TextWidth() != m_textWidth) {
        // The area was resized: every wrap may have moved.
        Reset(m_textSource ? m_textSource() : m_edit->toPlainText());
    }
    if (m_summing) {
        return m_closedLines + m_sums.Lines();
    }
    SettleOpenLine();
    return m_closedLines + m_settledLines + m_pendingLines + 1;
}
