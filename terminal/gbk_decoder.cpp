#include "terminal/gbk_decoder.h"

#include "text/gbk.h"

namespace {

constexpr char16_t kReplacement = u'\uFFFD';

void Append(char16_t code, std::string& out) {
    AppendUtf8(code, out);
}

void Append(char16_t code, std::u16string& out) {
    out.push_back(code);
}

}  // namespace

std::string GbkDecoder::Feed(std::span<const uint8_t> bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 2);
    for (const uint8_t b : bytes) {
        FeedByte(b, out);
    }
    return out;
}

char16_t GbkDecoder::Step(uint8_t byte, char16_t* then) {
    *then = 0;
    if (m_lead != 0) {
        const uint8_t lead = m_lead;
        m_lead = 0;
        if (IsGbkTrail(byte)) {
            m_afterCr = false;
            const char16_t code = GbkPairCode(lead, byte);
            return code == 0 ? kReplacement : code;
        }
        *then = Single(byte);
        return kReplacement;
    }
    return Single(byte);
}

char16_t GbkDecoder::Single(uint8_t byte) {
    const bool afterCr = m_afterCr;
    m_afterCr = byte == '\r';
    if (byte == '\r') {
        return u'\n';
    }
    if (byte == '\n') {
        return afterCr ? 0 : u'\n';
    }
    if (byte < 0x80) {
        return byte;  // a zero byte shows nothing
    }
    if (IsGbkLead(byte)) {
        m_lead = byte;
        return 0;
    }
    return kReplacement;  // 0x80 and 0xFF begin no character
}

void GbkDecoder::FeedByte(uint8_t byte, std::string& out) {
    char16_t then = 0;
    if (const char16_t code = Step(byte, &then); code != 0) {
        Append(code, out);
    }
    if (then != 0) {
        Append(then, out);
    }
}

void GbkDecoder::FeedByte(uint8_t byte, std::u16string& out) {
    char16_t then = 0;
    if (const char16_t code = Step(byte, &then); code != 0) {
        out.push_back(code);
    }
    if (then != 0) {
        out.push_back(then);
    }
}

void GbkDecoder::Flush(std::string& out) {
    if (m_lead != 0) {
        m_lead = 0;
        Append(kReplacement, out);
    }
}

void GbkDecoder::Flush(std::u16string& out) {
    if (m_lead != 0) {
        m_lead = 0;
        Append(kReplacement, out);
    }
}
