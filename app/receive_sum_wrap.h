// The receive area's wrap of one block, summed instead of laid out: QTextLine's greedy fill (a word joins
// the line when the line up to the word's end, with the ink of its last glyph, fits; blanks hang at the
// edge; a tab reaches the next tab stop) over the font's verified advances, in Qt's 1/64 pixel units, at
// the break opportunities of CBreakModel. Appending costs a few sums; only when a number's end moves the
// breaks inside it are the last two lines summed again.
//
// It follows a block only while Qt's layout would do nothing it does not know: a character outside the
// model, a word or a run of blanks wider than a line (Qt then breaks anywhere or cuts the run), or text
// kept too long without a place to hand over. Append then returns false and the caller lays the block out.
#pragma once

#include <QString>
#include <QStringView>
#include <string>
#include <vector>

#include "app/receive_break_model.h"

class CVerifiedAdvances;

class CSumWrap {
  public:
    // The advances stay owned by the caller; line and tab stop widths in 1/64 pixel.
    void Configure(CVerifiedAdvances* advances, qint64 lineWidth, qint64 tabStop);
    void Clear();
    // False when the block can no longer be summed; Kept() then ends before c, and the object is of no
    // further use until Clear().
    bool Append(char16_t c);
    // The block's lines as the area shows the text so far.
    int Lines() const;
    // For a caller that takes over: the text kept from a line start that needs no context before it, and
    // the lines of the block before that start.
    QStringView Kept() const { return QStringView(m_text.data(), static_cast<qsizetype>(m_text.size())); }
    int LinesBeforeKept() const { return m_linesBefore; }

  private:
    struct LineState {
        qint64 line = 0;  // the line's width so far
        bool hasText = false;
        qint64 spaces = 0;  // blanks after it, not yet on the line
        qint64 word = 0;    // the word being read
        qint64 ink = 0;     // ink past the advance of the word's last glyph
        qsizetype wordStart = 0;
        bool inWord = false;
        bool breakAfterTab = false;  // a tab hung past the edge: what follows starts a line
    };

    bool Step(qsizetype at, bool breakBefore);
    void EndWord();
    void NewLine(qsizetype at);
    bool EffectiveBreak(qsizetype at) const;
    bool Rewrap(qsizetype numberStart);
    void Trim();
    bool StartsFreeOfContext(qsizetype at) const;

    CVerifiedAdvances* m_advances = nullptr;
    qint64 m_lineWidth = 0;
    qint64 m_tabStop = 0;

    CBreakModel m_model;
    qsizetype m_dropped = 0;  // characters of the block before m_text
    std::u16string m_text;
    std::vector<std::uint8_t> m_rawBreaks;  // of the whole block, from the model (index: block position)
    std::vector<qsizetype> m_lineStarts;    // block positions of the lines after the kept start
    int m_linesBefore = 0;
    LineState m_state;
};
