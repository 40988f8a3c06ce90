// Where Qt's text layout may break a line in the receive area, as far as the line counter needs to know
// it without laying the text out: the character classes its rules turn on, and the greedy wrap of lines
// made of letters, digits and blanks alone, summed in Qt's own 1/64 pixel units.
#pragma once

#include <QChar>
#include <QStringView>
#include <array>

// What QTextCursor::insertText turns into a new block.
bool IsBlockSeparator(QChar c);
// White space that QTextLayout lets hang at a line's end.
bool IsHangingSpace(QChar c);
// Characters of Unicode's mandatory break classes that stay inside a block.
bool IsMandatoryBreak(char16_t c);
// A letter or an ideograph after which Qt's break rules keep nothing of what came before.
bool StartsAfresh(char16_t c, char16_t before);
bool IsAsciiAlnum(char16_t c);
// Whether the two characters alone decide Qt's break between them.
bool BreakDecidedBy(QChar before, QChar after);
// Letters, digits and the blank.
bool IsPlainAscii(char16_t c);
// QChar::script of an ASCII character (c < 128), from a table.
QChar::Script AsciiScript(char16_t c);

// The font's shaped advances and ink past the advance of ASCII, and the line's width, in 1/64 pixel.
struct PlainAsciiWidths {
    const std::array<qint64, 128>& advance;
    const std::array<qint64, 128>& inkPast;
    qint64 line;
};

// The lines text of plain ASCII wraps to, with where the last one starts and its width; 0 when the text
// is not all plain ASCII or a word alone is wider than a line (Qt then breaks inside the word).
int WrapPlainAscii(QStringView text, const PlainAsciiWidths& widths, int* lastLineStart,
                   qreal* lastLineWidth);
