#include "terminal/receive_stamps.h"

namespace {

void AppendDigits(int value, int width, std::u16string& out) {
    char16_t digits[3] = {};
    for (int i = width - 1; i >= 0; --i) {
        digits[i] = static_cast<char16_t>(u'0' + value % 10);
        value /= 10;
    }
    out.append(digits, static_cast<std::size_t>(width));
}

}  // namespace

void AppendStamp(std::int32_t dayMs, std::u16string& out) {
    constexpr std::int32_t kDayMs = 24 * 60 * 60 * 1000;
    dayMs = ((dayMs % kDayMs) + kDayMs) % kDayMs;
    out.push_back(u'[');
    AppendDigits(dayMs / 3600000, 2, out);
    out.push_back(u':');
    AppendDigits(dayMs / 60000 % 60, 2, out);
    out.push_back(u':');
    AppendDigits(dayMs / 1000 % 60, 2, out);
    out.push_back(u'.');
    AppendDigits(dayMs % 1000, 3, out);
    out.append(u"] ");
}

void ReceiveStamps::Start(bool screenAtLineStart, bool afterCr) {
    *this = ReceiveStamps{};
    m_screenAtLineStart = screenAtLineStart;
    m_lineOpen = !screenAtLineStart;
    m_afterCr = afterCr;
}

void ReceiveStamps::BeginRun(ReceiveTime time) {
    m_gapBefore = !m_haveRun || time.steadyMs - m_run.steadyMs >= kHexStampGapMs;
    m_haveRun = true;
    m_run = time;
    m_runStarts = true;
}

void ReceiveStamps::Interrupt() {
    m_lineOpen = false;
    m_afterCr = false;
}

void ReceiveStamps::StartLine(std::u16string& out) {
    if (!m_screenAtLineStart) {
        out.push_back(u'\n');
        m_screenAtLineStart = true;
    }
    m_lineOpen = true;
    m_lineDayMs = m_run.dayMs;
}

void ReceiveStamps::BeforePiece(uint8_t byte, bool hex, std::u16string& out) {
    const bool runStarts = m_runStarts;
    m_runStarts = false;
    if (hex != m_hex && m_hexKnown) {
        // The other display's bytes ended the line on screen; the text's CR is the decoder's to forget.
        m_lineOpen = false;
    }
    m_hex = hex;
    m_hexKnown = true;
    bool stamp = false;
    if (hex) {
        // Only a gap starts a stamped line: a flood goes on unstamped after the area is emptied, as a stamp
        // in a line of hex costs the line count its fast path.
        if (!m_lineOpen || (runStarts && m_gapBefore)) {
            StartLine(out);
            stamp = true;
        }
    } else {
        const bool afterCr = m_afterCr;
        m_afterCr = byte == '\r';
        if (byte == '\n' && afterCr) {
            return;  // the LF of a CR LF: the line ended at the CR
        }
        if (!m_lineOpen) {
            StartLine(out);
        }
        stamp = m_screenAtLineStart;  // every text line on screen starts with one
    }
    if (stamp) {
        if (m_lineDayMs < 0) {
            m_lineDayMs = m_run.dayMs;  // stamps came on mid-line: the line shows from now
        }
        AppendStamp(m_lineDayMs, out);
    }
    m_screenAtLineStart = false;
    if (!hex && (byte == '\r' || byte == '\n')) {
        // The piece is the line break.
        m_lineOpen = false;
        m_screenAtLineStart = true;
    }
}
