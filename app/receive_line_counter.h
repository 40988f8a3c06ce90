// Counts the receive area's lines as its QPlainTextEdit displays them (wrapped lines count, an empty area
// has one line), without waiting for the edit to lay the text out. The auto clear and the overflow rule ask
// for this count before every received byte; the edit only lays out what it paints, and laying out the
// whole document for every byte would cap the terminal far below a fast serial line.
//
// The count is kept per block: lines of the blocks before the last one, lines of the last block that can
// no longer change, and the last visual line, which stays open. Appended characters only add their width
// to the open line; it is laid out (with the edit's own font, width and text options) only when it might
// wrap, and lines that wrapped are settled. Greedy wrapping never moves a settled line break.
#pragma once

#include <QFont>
#include <QFontMetricsF>
#include <QHash>
#include <QString>
#include <QTextOption>
#include <array>

class QPlainTextEdit;

class CReceiveLineCounter {
  public:
    explicit CReceiveLineCounter(const QPlainTextEdit* edit);

    // The area now holds text (after a clear, an overflow notice or an edit by the user).
    void Reset(QStringView text);
    void Append(QStringView text);
    int Count();

  private:
    void ReadEditGeometry();
    qreal TextWidth() const;
    qreal Advance(QChar c);
    void CloseBlock();
    void SettleOpenLine();
    int LayOut(QStringView text, int* lastLineStart) const;

    const QPlainTextEdit* m_edit;
    QFont m_font;
    QTextOption m_option;
    qreal m_textWidth = 0;
    qreal m_lineWidth = 0;
    qreal m_slack = 0;
    std::array<qreal, 128> m_asciiAdvance{};
    QHash<char16_t, qreal> m_otherAdvance;

    int m_closedLines = 0;   // blocks before the last one
    int m_settledLines = 0;  // lines of the last block before its open line
    QString m_open;          // the last block from the start of its open line
    qreal m_openAdvance = 0;
    bool m_mayWrap = false;  // the open line may have wrapped since it was last laid out
};
