#include "app/receive_sum_wrap.h"

#include <algorithm>

#include "app/receive_advances.h"

namespace {

// Text kept without a line start to hand over from, and text summed again for a number that goes on and
// on with breaks inside (digits and separators without a letter): past these, the caller lays the block
// out instead, at a cost per byte that stays bounded.
constexpr std::size_t kMaxKept = 4096;
constexpr qsizetype kMaxRewrap = 512;

bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

bool IsLetterOrIdeograph(char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= 0x4E00 && c <= 0x9FFF) ||
           (c >= 0x3400 && c <= 0x4DBF);
}

}  // namespace

void CSumWrap::Configure(CVerifiedAdvances* advances, qint64 lineWidth, qint64 tabStop) {
    m_advances = advances;
    m_lineWidth = lineWidth;
    m_tabStop = tabStop > 0 ? tabStop : 80 * 64;
    Clear();
}

void CSumWrap::Clear() {
    m_model.Clear();
    m_dropped = 0;
    m_text.clear();
    m_rawBreaks.clear();
    m_lineStarts.clear();
    m_linesBefore = 0;
    m_state = LineState();
}

bool CSumWrap::EffectiveBreak(qsizetype at) const {
    // Qt takes back the breaks inside a number at the end of the text unless what follows may still
    // make it something else.
    if (m_model.NumberOpen() && at > m_model.NumberStart() && m_model.NumberEndTakesBack()) {
        return false;
    }
    return m_rawBreaks[static_cast<std::size_t>(at - m_dropped)] != 0;
}

bool CSumWrap::Append(char16_t c) {
    const LbClass cls = LineBreakClassOf(c);
    if (cls == LbClass::kNone) {
        return false;
    }
    const qsizetype at = m_dropped + static_cast<qsizetype>(m_text.size());
    // Breaks inside the number the block ends in may change with this character, if it has any: Qt takes
    // them back at the end of the text or once the number ends, and keeps them when it turns out not to
    // be one. Where they change, the lines around the number are summed again.
    const bool numberOpen = m_model.NumberOpen();
    const qsizetype start = m_model.NumberStart();
    const bool takenBack = m_model.NumberEndTakesBack();
    const auto first = static_cast<std::size_t>(std::max(start + 1, m_dropped) - m_dropped);
    const auto hasBreakInside = [&](std::size_t end) {
        return std::find(m_rawBreaks.begin() + static_cast<std::ptrdiff_t>(first),
                         m_rawBreaks.begin() + static_cast<std::ptrdiff_t>(end),
                         1) != m_rawBreaks.begin() + static_cast<std::ptrdiff_t>(end);
    };
    const std::size_t inside = m_rawBreaks.size();
    const bool mayChange = numberOpen && first < inside && hasBreakInside(inside);
    m_text.push_back(c);
    m_model.Append(c, cls, m_rawBreaks, m_dropped);
    bool changed = false;
    if (mayChange) {
        if (m_model.NumberOpen() && m_model.NumberStart() == start) {
            changed = takenBack != m_model.NumberEndTakesBack();
        } else {
            // Ended: taken back for good (no break left inside), or kept.
            changed = hasBreakInside(inside) == takenBack;
        }
    }
    const qsizetype changedNumber = changed ? start : -1;
    const bool summed = changedNumber >= 0 ? Rewrap(changedNumber) : Step(at, EffectiveBreak(at));
    if (summed && m_lineStarts.size() >= 3) {
        Trim();
    }
    if (!summed || m_text.size() > kMaxKept) {
        // The caller takes the character over with the kept text before it.
        m_text.pop_back();
        return false;
    }
    return true;
}

bool CSumWrap::Rewrap(qsizetype numberStart) {
    // The line start before the last one at or before the number stays: the word that starts it ends
    // before the number, and so does every break that decided it.
    const auto upTo = static_cast<std::size_t>(
        std::upper_bound(m_lineStarts.begin(), m_lineStarts.end(), numberStart) - m_lineStarts.begin());
    const std::size_t keep = upTo >= 2 ? upTo - 1 : 0;
    const qsizetype from = keep > 0 ? m_lineStarts[keep - 1] : m_dropped;
    const qsizetype end = m_dropped + static_cast<qsizetype>(m_text.size());
    if (end - from > kMaxRewrap) {
        return false;
    }
    m_lineStarts.resize(keep);
    m_state = LineState();
    for (qsizetype j = from; j < end; ++j) {
        if (!Step(j, j > from && EffectiveBreak(j))) {
            return false;
        }
    }
    return true;
}

bool CSumWrap::Step(qsizetype at, bool breakBefore) {
    const char16_t c = m_text[static_cast<std::size_t>(at - m_dropped)];
    LineState& s = m_state;
    if (s.breakAfterTab) {
        s.breakAfterTab = false;
        NewLine(at);
    }
    if (c == u'\t') {
        if (s.inWord) {
            EndWord();
        }
        // As QTextLine lays out a tab: the blanks before it join the line if they fit, else the tab starts
        // the next; then the tab reaches the next stop, and hangs past the edge if that is beyond it.
        if (s.hasText && s.line + s.spaces > m_lineWidth) {
            NewLine(at);
        } else {
            s.hasText = s.hasText || s.spaces > 0;
            s.line += s.spaces;
            s.spaces = 0;
        }
        // QFixed rounds its quotient: a tab that starts within a 128th of the tab distance before a stop
        // goes on to the next one.
        const qint64 tab = ((s.line * 64 + m_tabStop / 2) / m_tabStop / 64 + 1) * m_tabStop - s.line;
        if (s.hasText && s.line + tab > m_lineWidth) {
            s.breakAfterTab = true;
            return true;
        }
        s.line += tab;
        s.hasText = true;
        return s.line <= m_lineWidth;  // a tab alone past the edge: Qt breaks anywhere
    }
    qint64 advance = 0;
    qint64 ink = 0;
    m_advances->Get(c, &advance, &ink);
    if (c == u' ' || c == 0x3000) {  // the model's white space, the tab aside
        if (s.inWord) {
            EndWord();
        }
        s.spaces += advance;
        return s.spaces <= m_lineWidth;  // blanks wider than a line end it where their item ends
    }
    if (s.inWord && breakBefore) {
        EndWord();
    }
    if (!s.inWord) {
        s.inWord = true;
        s.wordStart = at;
        s.word = 0;
    }
    s.word += advance;
    s.ink = ink;
    // A word wider than a line is broken anywhere, wherever it starts.
    return s.word + s.ink <= m_lineWidth && (s.hasText || s.spaces + s.word + s.ink <= m_lineWidth);
}

void CSumWrap::EndWord() {
    LineState& s = m_state;
    s.inWord = false;
    if (s.hasText && s.line + s.spaces + s.word + s.ink > m_lineWidth) {
        // The blanks before the word hang at the end of this line; the word starts the next.
        const qint64 word = s.word;
        NewLine(s.wordStart);
        s.line = word;
        s.hasText = true;
        return;
    }
    // It fits (Step gave up on a word that fits no line).
    s.line += s.spaces + s.word;
    s.spaces = 0;
    s.hasText = true;
}

void CSumWrap::NewLine(qsizetype at) {
    m_lineStarts.push_back(at);
    const bool inWord = m_state.inWord;
    const qsizetype wordStart = m_state.wordStart;
    m_state = LineState();
    m_state.inWord = inWord;
    m_state.wordStart = wordStart;
}

int CSumWrap::Lines() const {
    const LineState& s = m_state;
    const int lines = m_linesBefore + static_cast<int>(m_lineStarts.size()) + 1;
    // The word being read ends with the text: it goes to the next line if it does not fit.
    const bool wraps = s.inWord && s.hasText && s.line + s.spaces + s.word + s.ink > m_lineWidth;
    return lines + (wraps ? 1 : 0);
}

bool CSumWrap::StartsFreeOfContext(qsizetype at) const {
    // As the laid-out path needs its text to start: a letter or an ideograph, or two digits.
    const auto i = static_cast<std::size_t>(at - m_dropped);
    return IsLetterOrIdeograph(m_text[i]) ||
           (i + 1 < m_text.size() && IsDigit(m_text[i]) && IsDigit(m_text[i + 1]));
}

void CSumWrap::Trim() {
    // Lines stay summed from the line start before the last two (see Rewrap), and from before the number
    // the block ends in; text before the latest such start that needs no context is dropped.
    if (m_lineStarts.size() < 3) {
        return;
    }
    qsizetype limit = m_lineStarts[m_lineStarts.size() - 3];
    if (m_model.NumberOpen()) {
        auto it = std::upper_bound(m_lineStarts.begin(), m_lineStarts.end(), m_model.NumberStart());
        const auto before = it - m_lineStarts.begin() - 2;
        if (before < 0) {
            return;
        }
        limit = std::min(limit, m_lineStarts[static_cast<std::size_t>(before)]);
    }
    std::size_t drop = 0;
    for (std::size_t line = 0; line < m_lineStarts.size() && m_lineStarts[line] <= limit; ++line) {
        if (m_lineStarts[line] > m_dropped && StartsFreeOfContext(m_lineStarts[line])) {
            drop = line + 1;
        }
    }
    if (drop == 0) {
        return;
    }
    const qsizetype start = m_lineStarts[drop - 1];
    const auto count = static_cast<std::size_t>(start - m_dropped);
    m_text.erase(0, count);
    m_rawBreaks.erase(m_rawBreaks.begin(), m_rawBreaks.begin() + static_cast<std::ptrdiff_t>(count));
    m_dropped = start;
    m_linesBefore += static_cast<int>(drop);
    m_lineStarts.erase(m_lineStarts.begin(), m_lineStarts.begin() + static_cast<std::ptrdiff_t>(drop));
}
