// The advances the receive area's font gives the characters of CBreakModel (ASCII, CJK ideographs, the
// common full-width punctuation), in Qt's 1/64 pixel units with the ink each glyph has past its advance,
// and whether summing them is sound for this font and this Qt: checked once per font, by laying out
// every ordered pair of a sample (the glyphs must sit where the advances add up: no kerning, no
// ligatures), and by comparing the break model with Qt's own line breaks over a text of them.
#pragma once

#include <QFont>
#include <QFontMetricsF>
#include <QHash>
#include <array>
#include <functional>
#include <optional>
#include <vector>

// Whether every ordered pair of sample, laid out on one line in font, has each glyph start where the
// advances before it add up to (advanceOf, in 1/64 pixel): no kerning, no ligature.
bool PairsAddUp(const QString& sample, const QFont& font, const std::function<qint64(QChar)>& advanceOf);

class CVerifiedAdvances {
  public:
    void Measure(const QFont& font);
    // Whether wraps may be summed from these advances.
    bool Usable() const { return m_usable; }
    // The advance and ink of a character of the model (tab aside, which has no advance of its own).
    void Get(char16_t c, qint64* advance, qint64* ink) {
        if (c < 128) {
            *advance = m_ascii[c].advance;
            *ink = m_ascii[c].ink;
            return;
        }
        GetOther(c, advance, ink);
    }

  private:
    struct Width {
        qint64 advance = -1;
        qint64 ink = 0;
    };
    void GetOther(char16_t c, qint64* advance, qint64* ink);
    Width MeasureChar(char16_t c) const;
    bool SampleAddsUp(const QString& sample);
    bool BreaksAgreeWithQt(const QString& sample) const;

    std::optional<QFontMetricsF> m_metrics;
    QFont m_font;
    bool m_usable = false;
    std::array<Width, 128> m_ascii{};
    std::vector<Width> m_ideographs;  // U+3400 to U+9FFF, measured when first met
    QHash<char16_t, Width> m_others;
};
