#include "app/receive_advances.h"

#include <QGlyphRun>
#include <QTextBoundaryFinder>
#include <QTextLayout>
#include <algorithm>
#include <random>

#include "app/receive_break_model.h"

namespace {

constexpr char16_t kIdeographFirst = 0x3400;
constexpr char16_t kIdeographLast = 0x9FFF;

qint64 ToFixed(qreal width) {
    return qRound64(width * 64);
}

// Every character of the model but the ideographs, which a few stand for, and the tab.
QString Sample() {
    QString sample;
    for (char16_t c = 0x20; c < 0x7F; ++c) {
        sample += QChar(c);
    }
    for (char16_t c = 0x80; c < 0xFFFF; ++c) {
        if (LineBreakClassOf(c) != LbClass::kNone && (c < kIdeographFirst || c > kIdeographLast)) {
            sample += QChar(c);
        }
    }
    sample += QString::fromUtf8("温度设备信号一");
    return sample;
}

}  // namespace

void CVerifiedAdvances::Measure(const QFont& font) {
    m_font = font;
    m_metrics.emplace(font);
    for (char16_t c = 0; c < 128; ++c) {
        m_ascii[c] = MeasureChar(c);
    }
    m_ideographs.assign(kIdeographLast - kIdeographFirst + 1, Width{});
    m_others.clear();
    const QString sample = Sample();
    m_usable = SampleAddsUp(sample) && BreaksAgreeWithQt(sample);
}

CVerifiedAdvances::Width CVerifiedAdvances::MeasureChar(char16_t c) const {
    // Shaped, as the layout sees it; ink past the advance counts when Qt fits a word on a line.
    const QChar ch(c);
    return {ToFixed(m_metrics->horizontalAdvance(QString(ch))),
            std::max<qint64>(0, -static_cast<qint64>(m_metrics->rightBearing(ch) * 64))};
}

void CVerifiedAdvances::GetOther(char16_t c, qint64* advance, qint64* ink) {
    Width* width = nullptr;
    if (c >= kIdeographFirst && c <= kIdeographLast) {
        width = &m_ideographs[c - kIdeographFirst];
    } else {
        auto it = m_others.find(c);
        if (it == m_others.end()) {
            it = m_others.insert(c, Width{});
        }
        width = &it.value();
    }
    if (width->advance < 0) {
        *width = MeasureChar(c);
    }
    *advance = width->advance;
    *ink = width->ink;
}

bool PairsAddUp(const QString& sample, const QFont& font, const std::function<qint64(QChar)>& advanceOf) {
    // Every ordered pair once, on one line: each glyph must start where the advances before it add up to.
    QString pairs;
    for (QChar a : sample) {
        for (QChar b : sample) {
            pairs += a;
            pairs += b;
        }
    }
    QTextLayout layout(pairs, font);
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
            x += advanceOf(pairs[at++]);
        }
    }
    return at == pairs.size();
}

bool CVerifiedAdvances::SampleAddsUp(const QString& sample) {
    return PairsAddUp(sample, m_font, [this](QChar c) {
        qint64 advance = 0;
        qint64 ink = 0;
        Get(c.unicode(), &advance, &ink);
        return advance;
    });
}

bool CVerifiedAdvances::BreaksAgreeWithQt(const QString& sample) const {
    // A text where numbers, brackets, signs and ideographs meet in every order, numbers most often.
    std::mt19937 rng(936);
    const QString digits = "0123456789";
    QString text;
    for (int i = 0; i < 12000; ++i) {
        const bool digit = rng() % 3 == 0;
        text += digit ? digits[static_cast<qsizetype>(rng() % 10)]
                      : sample[static_cast<qsizetype>(rng() % static_cast<unsigned>(sample.size()))];
        if (rng() % 50 == 0) {
            text += u'\t';
        }
    }
    CBreakModel model;
    std::vector<std::uint8_t> breaks;
    for (QChar c : text) {
        model.Append(c.unicode(), LineBreakClassOf(c.unicode()), breaks, 0);
    }
    if (model.NumberOpen() && model.NumberEndTakesBack()) {
        std::fill(breaks.begin() + model.NumberStart() + 1, breaks.end(), 0);
    }
    // Only where neither side is white space: a blank or a tab ends a word whatever the rules say.
    QTextBoundaryFinder finder(QTextBoundaryFinder::Line, text);
    for (qsizetype at = 1; at < text.size(); ++at) {
        if (text[at].isSpace() || text[at - 1].isSpace()) {
            continue;
        }
        finder.setPosition(at);
        if (finder.isAtBoundary() != (breaks[static_cast<std::size_t>(at)] != 0)) {
            return false;
        }
    }
    return true;
}
