#include "terminal/utf8_decoder.h"

namespace {

constexpr char16_t kReplacement = u'\uFFFD';

void AppendCode(char32_t code, std::u16string& out) {
    if (code < 0x10000) {
        out.push_back(static_cast<char16_t>(code));
        return;
    }
    code -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
}

}  // namespace

void Utf8Decoder::FeedByte(uint8_t byte, std::u16string& out) {
    if (m_need == 0) {
        Start(byte, out);
        return;
    }
    if (byte < m_lower || byte > m_upper) {
        // The open sequence can no longer become a character; this byte may begin one.
        m_need = 0;
        out.push_back(kReplacement);
        Start(byte, out);
        return;
    }
    m_lower = 0x80;
    m_upper = 0xBF;
    m_code = (m_code << 6) | (byte & 0x3Fu);
    if (--m_need == 0) {
        AppendCode(m_code, out);
    }
}

void Utf8Decoder::Start(uint8_t byte, std::u16string& out) {
    const bool afterCr = m_afterCr;
    m_afterCr = byte == '\r';
    if (byte < 0x80) {
        if (byte == '\r' || (byte == '\n' && !afterCr)) {
            out.push_back(u'\n');
        } else if (byte != '\n' && byte != 0) {
            out.push_back(byte);
        }
        return;
    }
    m_lower = 0x80;
    m_upper = 0xBF;
    if (byte >= 0xC2 && byte <= 0xDF) {
        m_need = 1;
        m_code = byte & 0x1Fu;
    } else if (byte >= 0xE0 && byte <= 0xEF) {
        m_need = 2;
        m_code = byte & 0x0Fu;
        if (byte == 0xE0) {
            m_lower = 0xA0;  // below: overlong
        } else if (byte == 0xED) {
            m_upper = 0x9F;  // above: surrogates
        }
    } else if (byte >= 0xF0 && byte <= 0xF4) {
        m_need = 3;
        m_code = byte & 0x07u;
        if (byte == 0xF0) {
            m_lower = 0x90;  // below: overlong
        } else if (byte == 0xF4) {
            m_upper = 0x8F;  // above: past U+10FFFF
        }
    } else {
        out.push_back(kReplacement);  // a continuation byte alone, C0, C1, F5..FF
    }
}

void Utf8Decoder::Flush(std::u16string& out) {
    if (m_need != 0) {
        Reset();  // a CR never waits behind an open character
        out.push_back(kReplacement);
    }
}
