#include "app/receive_line_counter.h"

#include <QFontMetricsF>
#include <QGlyphRun>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <QTextLayout>
#include <limits>

namespace {

// QTextEngine cuts a run of characters that would form one text item every 4096 characters.
constexpr qsizetype kMaxItemLength = 4096;

bool IsBlockSeparator(QChar c) {
    // What QTextCursor::insertText turns into a new block.
    return c == u'\n' || c == u'\r' || c == QChar::ParagraphSeparator || c == QChar(0xFDD0) ||
           c == QChar(0xFDD1);
}

// White space that QTextLayout lets hang at a line's end. A tab takes its own path (it wraps like a word,
// to the next tab stop), a line separator breaks the line, and no-break spaces are laid out as letters.
bool IsHangingSpace(QChar c) {
    if (c == u' ') {
        return true;
    }
    if (c.unicode() < 128 && c > u' ') {
        return false;
    }
    return c.isSpace() && c != u'\t' && c != QChar::LineSeparator && c.decompositionTag() != QChar::NoBreak;
}

qint64 ToFixed(qreal width) {
    return qRound64(width * 64);
}

// Letters, digits and the blank: between these the only place a line may break is after blanks, so where
// their advances simply add up (no kerning, no ink past the advance) the wraps can be worked out here.
bool IsPlainAscii(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u' ';
}

// The script of each ASCII character, looked up once: the counter asks for it for every character.
const std::array<QChar::Script, 128> kAsciiScripts = [] {
    std::array<QChar::Script, 128> table{};
    for (char16_t c = 0; c < table.size(); ++c) {
        table[c] = QChar(c).script();
    }
    return table;
}();

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
}

bool CReceiveLineCounter::PlainAdvancesAdd() const {
    QString alphabet;
    for (char16_t c = 0; c < 128; ++c) {
        if (!IsPlainAscii(c)) {
            continue;
        }
        alphabet += QChar(c);
    }
    // Every ordered pair once, laid out on one line: each character must start where the advances before
    // it add up to, or kerning or a ligature is at work.
    QString pairs;
    for (QChar a : alphabet) {
        for (QChar b : alphabet) {
            pairs += a;
            pairs += b;
        }
    }
    QTextLayout layout(pairs, m_font);
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    layout.endLayout();
    qint64 x = 0;
    qsizetype at = 0;
    for (const QGlyphRun& run : line.glyphRuns()) {
        for (const QPointF& position : run.positions()) {
            if (at == pairs.size() || ToFixed(position.x()) != x) {
                return false;
            }
            x += m_asciiSpaceWidth[pairs[at++].unicode()];
        }
    }
    return at == pairs.size();
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
        if (kAsciiScripts[code] <= QChar::Script_Common || m_itemScript == QChar::Script_Latin) {
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
    for (QChar c : text) {
        if (IsBlockSeparator(c)) {
            CloseBlock();
            continue;
        }
        const bool startsItem = StartsItem(c);
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
        // the line with the space, so that the run that follows sits on the open line for sure.
        m_open.push_back(c.unicode());
        m_openAdvance += Advance(c);
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
    m_open.push_back(c.unicode());
    m_openAdvance += Advance(c);
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
    m_open.push_back(c.unicode());
    m_openAdvance += Advance(c);
    // Well inside the width the open line is one line for sure; near the edge it must be laid out.
    m_mayWrap = m_mayWrap || m_openAdvance + m_slack > m_lineWidth;
}

void CReceiveLineCounter::StartLine(QChar c) {
    m_open.clear();
    m_open.push_back(c.unicode());
    m_openAdvance = Advance(c);
    m_mayWrap = false;  // the first character of a line stays on it
}

void CReceiveLineCounter::CloseBlock() {
    SettleOpenLine();
    m_closedLines += m_settledLines + 1;
    m_settledLines = 0;
    ClearOpenBlock();
}

void CReceiveLineCounter::ClearOpenBlock() {
    m_open.clear();
    m_openAdvance = 0;
    m_mayWrap = false;
    m_endsInSpaces = false;
    m_spacesWidth = 0;
    m_blockLength = 0;
    m_itemStart = 0;
    m_itemScript = QChar::Script_Common;
    m_afterOwnItem = false;
}

int CReceiveLineCounter::LayOut(QStringView text, int* lastLineStart, qreal* lastLineWidth) const {
    QTextLayout layout(text.toString(), m_font);
    layout.setTextOption(m_option);
    layout.beginLayout();
    int lines = 0;
    *lastLineStart = 0;
    *lastLineWidth = 0;
    while (true) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) {
            break;
        }
        line.setLineWidth(m_lineWidth);
        *lastLineStart = line.textStart();
        *lastLineWidth = line.naturalTextWidth();
        ++lines;
    }
    layout.endLayout();
    return std::max(lines, 1);
}

int CReceiveLineCounter::LayOutPlainAscii(QStringView text, int* lastLineStart, qreal* lastLineWidth) const {
    // QTextLine's greedy wrap at word boundaries, in its own 1/64 pixel sums: a word joins the line when the
    // line up to the word's end, with the ink of its last glyph, fits; blanks before a word that goes to
    // the next line hang at the end of this one. 0 when the text is not all plain ASCII or a word alone is
    // wider than a line (Qt then breaks inside the word): the caller lays it out.
    if (!m_plainAsciiAdds || m_option.wrapMode() != QTextOption::WrapAtWordBoundaryOrAnywhere) {
        return 0;
    }
    int lines = 1;
    qsizetype lineStart = 0;
    qint64 lineWidth = 0;  // the line's words and the blanks between them
    bool lineHasWord = false;
    qint64 blanks = 0;  // blanks after the line's last word
    qint64 word = 0;
    qint64 inkPast = 0;  // of the word's last glyph
    qsizetype wordStart = 0;
    bool inWord = false;
    const auto endWord = [&] {
        if (lineHasWord && lineWidth + blanks + word + inkPast > m_lineWidthFixed) {
            ++lines;
            lineStart = wordStart;
            lineWidth = 0;
            lineHasWord = false;
            blanks = 0;
        }
        if (!lineHasWord && blanks + word + inkPast > m_lineWidthFixed) {
            return false;  // a word alone wider than a line: Qt breaks inside it
        }
        lineWidth += blanks + word;
        lineHasWord = true;
        blanks = 0;
        word = 0;
        inWord = false;
        return true;
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c == u' ') {
            if (inWord && !endWord()) {
                return 0;
            }
            blanks += m_asciiSpaceWidth[c];
            continue;
        }
        if (!IsPlainAscii(c)) {
            return 0;
        }
        if (!inWord) {
            if (blanks > m_lineWidthFixed) {
                return 0;  // blanks wider than a line end it before the word
            }
            inWord = true;
            wordStart = i;
        }
        word += m_asciiSpaceWidth[c];
        inkPast = m_asciiInkPast[c];
    }
    if (inWord && !endWord()) {
        return 0;
    }
    *lastLineStart = static_cast<int>(lineStart);
    *lastLineWidth = static_cast<qreal>(lineWidth) / 64;
    return lines;
}

void CReceiveLineCounter::SettleOpenLine() {
    if (!m_mayWrap) {
        return;
    }
    m_mayWrap = false;
    int lastStart = 0;
    qreal lastWidth = 0;
    const QStringView open(m_open.data(), static_cast<qsizetype>(m_open.size()));
    int lines = LayOutPlainAscii(open, &lastStart, &lastWidth);
    if (lines == 0) {
        lines = LayOut(open, &lastStart, &lastWidth);
    }
    if (lines > 1) {
        // Every line but the last is final; only the last stays open.
        m_settledLines += lines - 1;
        m_open.erase(0, static_cast<std::size_t>(lastStart));
    }
    // From the measured width on, the line is laid out again only once what is appended may reach the
    // edge; white space at its end is not in the measure but counts towards the next word's fit.
    qreal hanging = 0;
    for (std::size_t i = m_open.size(); i > 0 && QChar(m_open[i - 1]).isSpace(); --i) {
        hanging += Advance(QChar(m_open[i - 1]));
    }
    m_openAdvance = lastWidth + hanging;
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
    SettleOpenLine();
    return m_closedLines + m_settledLines + 1;
}
