// The receive line counter's parts that decide how a block is followed: whether the font's advances add
// up (plain ASCII, and the wider summed wrap), and the hand-over of a summed block to the laid-out path.
#include <QPlainTextEdit>
#include <QTextOption>

#include "app/receive_line_breaks.h"
#include "app/receive_line_counter.h"

namespace {

qint64 ToFixed(qreal width) {
    return qRound64(width * 64);
}

}  // namespace

bool CReceiveLineCounter::PlainAdvancesAdd() const {
    QString alphabet;
    for (char16_t c = 0; c < 128; ++c) {
        if (!IsPlainAscii(c)) {
            continue;
        }
        alphabet += QChar(c);
    }
    // Kerning or a ligature would put a character elsewhere than where the advances before it add up to.
    return PairsAddUp(alphabet, m_font, [this](QChar c) { return m_asciiSpaceWidth[c.unicode()]; });
}

void CReceiveLineCounter::PrepareSums() {
    if (!m_advancesMeasured) {
        MeasureAdvances();
    }
}

void CReceiveLineCounter::MeasureAdvances() {
    m_advances.Measure(m_font);
    m_advancesMeasured = true;
    ConfigureSums();
    // A block begun before is laid out to its end.
    m_summing = m_sumsWrap && m_blockLength == 0;
}

void CReceiveLineCounter::ConfigureSums() {
    // Sums follow QTextLine's fill for left-aligned text wrapped at word boundaries, tabs at even stops.
    m_sumsWrap = m_advancesMeasured && m_advances.Usable() &&
                 m_option.wrapMode() == QTextOption::WrapAtWordBoundaryOrAnywhere &&
                 m_option.tabs().isEmpty() && !(m_option.alignment() & (Qt::AlignRight | Qt::AlignHCenter)) &&
                 !(m_option.flags() & (QTextOption::IncludeTrailingSpaces | QTextOption::ShowTabsAndSpaces |
                                       QTextOption::ShowLineAndParagraphSeparators));
    m_sums.Configure(&m_advances, m_lineWidthFixed, ToFixed(m_option.tabStopDistance()));
}

void CReceiveLineCounter::HandOverToLayout() {
    // The kept text starts a line that needs no context before it: from there the block is laid out as if
    // it had arrived that way, the lines before it settled.
    m_summing = false;
    m_settledLines = m_sums.LinesBeforeKept();
    m_pendingLines = 0;
    m_open.clear();
    m_unsettledStart = 0;
    m_openStart = 0;
    m_undecided = -1;
    m_openAdvance = 0;
    for (QChar c : m_sums.Kept()) {
        PushOpen(c);
    }
    m_mayWrap = true;
    m_endsInSpaces = false;
    m_spacesWidth = 0;
    for (auto i = m_open.size(); i > 0 && IsHangingSpace(QChar(m_open[i - 1])); --i) {
        m_endsInSpaces = true;
        m_spacesWidth += SpaceWidth(QChar(m_open[i - 1]));
    }
}
