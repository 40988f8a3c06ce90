// Counts the receive area's lines as its QPlainTextEdit displays them (wrapped lines count, an empty area
// has one line), without waiting for the edit to lay the text out. The auto clear and the overflow rule ask
// for this count before every received byte; the edit only lays out what it paints, and laying out the
// whole document for every byte would cap the terminal far below a fast serial line.
//
// The count is kept per block: lines of the blocks before the last one, lines of the last block that can
// no longer change, lines that may still change, and the last visual line, which stays open. Appended
// characters only add their width to the open line; the unsettled lines are laid out (with the edit's own
// font, width and text options) only when the open line might wrap or a line before it is not settled.
//
// Where Qt may break a line depends on characters on both sides: a run of digits and punctuation such as
// "1;5" is broken or not by what comes before it and by what ends it (a letter, or "%" after ")").
// So the text is laid out from a line start that no context can change (the block's start, or a line that
// starts with a letter or an ideograph, after which Qt's break rules start afresh, or with two digits), and
// a line is settled only once every place where it or the line after it may break is decided: up to the
// last letter or ideograph, and wherever a blank or two letters and digits meet. Until then it is laid out
// again with every byte; digits and punctuation that go on for hundreds of characters without a letter are
// settled by force at a line start free of context, to keep that cost bounded.
//
// Spaces (any breakable white space but a tab) are the exception: Qt lets a run of them hang past the
// edge, so they never make the open line wrap and are never laid out. A run wider than a whole line ends
// its line where Qt's text item ends (at the run's end, or at the cut Qt makes in every 4096 characters of
// an item), so the counter follows the items of the last block and sums the run's exact width. Laying out
// the open line is the only cost that grows with the line, and it is paid only when a character may reach
// the edge. A line of letters, digits and blanks alone (all of hex) is not laid out but wrapped here by its
// advances, once the font is found to lay these out as their advances add up (no kerning or ligatures).
//
// Before all that, a block of what Chinese devices print (ASCII, ideographs, full-width punctuation, tabs)
// is not laid out at all: CSumWrap follows it with Qt's break rules modelled and the advances summed, a
// few sums per character. Only a character it does not know (or a word wider than a line) hands the
// block over to the layout path above, from the latest line start that needs no context.
#pragma once

#include <QChar>
#include <QFont>
#include <QHash>
#include <QString>
#include <QTextOption>
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "app/receive_advances.h"
#include "app/receive_sum_wrap.h"

class QFontMetricsF;
class QPlainTextEdit;
class QWidget;

class CReceiveLineCounter {
  public:
    explicit CReceiveLineCounter(const QPlainTextEdit* edit);

    // Where the whole text comes from when the area's width changes and every wrap may move: the area's
    // own text unless the text still to be written to it is to count too.
    void SetTextSource(std::function<QString()> source) { m_textSource = std::move(source); }
    // The area now holds text (after a clear, an overflow notice or an edit by the user).
    void Reset(QStringView text);
    void Append(QStringView text);
    // Checks the font for summed wraps now rather than with the first text that arrives.
    void PrepareSums();
    int Count();
    // Whether lines of letters, digits and blanks are wrapped by their advances in the area's font.
    bool AddsPlainAdvances() const { return m_plainAsciiAdds; }
    // Whether blocks of ASCII and Chinese text are wrapped by summing advances (CSumWrap).
    bool SumsWraps() const { return m_sumsWrap; }  // known once text has arrived
    bool SummingLastBlock() const { return m_summing; }

  private:
    void ReadEditGeometry();
    void MeasureFont(const QFont& font);
    qreal TextWidth() const;
    qreal Advance(QChar c);
    qint64 SpaceWidth(QChar c);
    bool StartsItem(QChar c);
    void AppendSpace(QChar c, bool startsItem);
    void AppendOther(QChar c);
    void StartLine(QChar c);
    void CloseBlock();
    void ClearOpenBlock();
    void PushOpen(QChar c);
    void SettleOpenLine();
    bool OpenLineSettlesLineBefore(std::size_t before) const;
    bool StartsFreeOfContext(std::size_t at) const;
    void MoveAnchor(std::size_t firstStart, std::size_t lastStart);
    void LayOut(QStringView text, qreal* lastLineWidth);
    int LayOutPlainAscii(QStringView text, int* lastLineStart, qreal* lastLineWidth) const;
    bool PlainAdvancesAdd() const;
    void ConfigureSums();
    void MeasureAdvances();
    void HandOverToLayout();

    const QPlainTextEdit* m_edit;
    const QWidget* m_viewport;  // the edit wraps at its width
    std::function<QString()> m_textSource;
    QFont m_font;
    bool m_fontMeasured = false;
    QTextOption m_option;
    qreal m_textWidth = 0;
    qreal m_lineWidth = 0;
    qint64 m_lineWidthFixed = 0;  // m_lineWidth in Qt's 1/64 pixel units
    qreal m_slack = 0;
    std::array<qreal, 128> m_asciiAdvance{};
    QHash<char16_t, qreal> m_otherAdvance;
    std::array<qint64, 128> m_asciiSpaceWidth{};  // shaped advances of ASCII, 1/64 pixel
    std::array<qint64, 128> m_asciiInkPast{};     // ink past the advance, 1/64 pixel
    bool m_plainAsciiAdds = false;                // letters, digits and blanks lay out as their advances add
    QHash<char16_t, qint64> m_otherSpaceWidth;

    // The last block is summed (m_summing) until it holds what only a layout can tell; then it is laid out
    // from the latest line start the sums kept, as below.
    CVerifiedAdvances m_advances;
    CSumWrap m_sums;
    bool m_advancesMeasured = false;
    bool m_sumsWrap = false;
    bool m_summing = false;

    int m_closedLines = 0;   // blocks before the last one
    int m_settledLines = 0;  // lines of the last block that can no longer change
    int m_pendingLines = 0;  // lines after those and before the open line, which may still change
    // The last block from a line start that no context before it changes (settled lines may come first).
    std::u16string m_open;
    qsizetype m_unsettledStart = 0;  // where in m_open the lines after the settled ones start
    qsizetype m_openStart = 0;       // where in m_open the open line starts
    // The first place in m_open where Qt's break may still change with what follows, or -1.
    qsizetype m_undecided = -1;
    qreal m_openAdvance = 0;  // of the open line
    bool m_mayWrap = false;   // the open line may have wrapped, or lines before it changed, since laid out
    std::vector<qsizetype> m_lineStarts;  // of the last layout
    std::vector<qreal> m_lineWidths;
    qreal m_openFirstWord = 0;  // width of the open line up to its first blank

    // Whether the open line ends in a run of spaces, and the run's width as the layout sums it.
    bool m_endsInSpaces = false;
    qint64 m_spacesWidth = 0;

    // Qt's text items in the last block: its length, where the current item starts, the script the item
    // runs in (Common until a character with a script of its own) and whether the last character was an
    // item of its own (a tab).
    qsizetype m_blockLength = 0;
    qsizetype m_itemStart = 0;
    QChar::Script m_itemScript = QChar::Script_Common;
    bool m_afterOwnItem = false;
};
