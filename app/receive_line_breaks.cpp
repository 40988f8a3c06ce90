// The character classes and the plain-ASCII wrap the receive line counter decides by, kept apart from the
// counter's bookkeeping so that Qt's break rules as the counter understands them read in one place.
#include "app/receive_line_breaks.h"

namespace {

// The script of each ASCII character, looked up once: the counter asks for it for every character.
const std::array<QChar::Script, 128> kAsciiScripts = [] {
    std::array<QChar::Script, 128> table{};
    for (char16_t c = 0; c < table.size(); ++c) {
        table[c] = QChar(c).script();
    }
    return table;
}();

}  // namespace

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

// Characters of Unicode's mandatory break classes that stay inside a block.
bool IsMandatoryBreak(char16_t c) {
    return c == u'\v' || c == u'\f' || c == 0x0085 || c == 0x2028 || c == 0x2029;
}

// After a letter or an ideograph Qt's line break rules keep nothing of what came before: a run of digits
// and punctuation is ended by it (and its breaks decided), and no rule reaches back across it. Not after
// a mandatory break character, though: Qt then skips the character in its number rule, and the run goes
// on through it ("k6\f中41A" has no break at all).
bool StartsAfresh(char16_t c, char16_t before) {
    const bool letter = (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') ||
                        (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0x3400 && c <= 0x4DBF);
    return letter && !IsMandatoryBreak(before);
}

bool IsAsciiAlnum(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

// Whether the two characters alone decide Qt's break between them: a blank or a tab on either side ends a
// text chunk whatever the break rules say, and letters and digits never break between them. Anything else
// may be changed by what follows ("1;5" breaks after ";" until a letter ends it, and again after ")%").
bool BreakDecidedBy(QChar before, QChar after) {
    return before == u'\t' || after == u'\t' || IsHangingSpace(before) || IsHangingSpace(after) ||
           (IsAsciiAlnum(before.unicode()) && IsAsciiAlnum(after.unicode()));
}

// Letters, digits and the blank: between these the only place a line may break is after blanks, so where
// their advances simply add up (no kerning, no ink past the advance) the wraps can be worked out here.
bool IsPlainAscii(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u' ';
}

QChar::Script AsciiScript(char16_t c) {
    return kAsciiScripts[c];
}

int WrapPlainAscii(QStringView text, const PlainAsciiWidths& widths, int* lastLineStart,
                   qreal* lastLineWidth) {
    // QTextLine's greedy wrap at word boundaries, in its own 1/64 pixel sums: a word joins the line when the
    // line up to the word's end, with the ink of its last glyph, fits; blanks before a word that goes to
    // the next line hang at the end of this one. 0 when the text is not all plain ASCII or a word alone is
    // wider than a line (Qt then breaks inside the word): the caller lays it out.
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
        if (lineHasWord && lineWidth + blanks + word + inkPast > widths.line) {
            ++lines;
            lineStart = wordStart;
            lineWidth = 0;
            lineHasWord = false;
            blanks = 0;
        }
        if (!lineHasWord && blanks + word + inkPast > widths.line) {
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
            blanks += widths.advance[c];
            continue;
        }
        if (!IsPlainAscii(c)) {
            return 0;
        }
        if (!inWord) {
            if (blanks > widths.line) {
                return 0;  // blanks wider than a line end it before the word
            }
            inWord = true;
            wordStart = i;
        }
        word += widths.advance[c];
        inkPast = widths.inkPast[c];
    }
    if (inWord && !endWord()) {
        return 0;
    }
    *lastLineStart = static_cast<int>(lineStart);
    *lastLineWidth = static_cast<qreal>(lineWidth) / 64;
    return lines;
}
