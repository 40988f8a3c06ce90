#include "terminal/gbk_decoder.h"

#include <array>
#include <cstddef>
#include <memory>
#include <vector>

#include "protocol/gbk_text.h"

namespace {

constexpr uint8_t kLeadFirst = 0x81;
constexpr uint8_t kLeadLast = 0xFE;
constexpr uint8_t kTrailFirst = 0x40;
constexpr uint8_t kTrailLast = 0xFE;
constexpr std::size_t kTrailSpan = kTrailLast - kTrailFirst + 1;
constexpr std::size_t kTableSize = (kLeadLast - kLeadFirst + 1) * kTrailSpan;
constexpr char16_t kUnmapped = 0;

bool IsLead(uint8_t b) {
    return b >= kLeadFirst && b <= kLeadLast;
}

bool IsTrail(uint8_t b) {
    return b >= kTrailFirst && b <= kTrailLast && b != 0x7F;
}

std::size_t TableIndex(uint8_t lead, uint8_t trail) {
    return static_cast<std::size_t>(lead - kLeadFirst) * kTrailSpan +
           static_cast<std::size_t>(trail - kTrailFirst);
}

struct GbkTable {
    std::array<char16_t, kTableSize> codes{};
    bool available = false;
};

// Filled once, through the system's GBK conversion, the first time a pair is decoded.
std::unique_ptr<GbkTable> LoadGbkTable() {
    auto table = std::make_unique<GbkTable>();
    std::vector<std::array<uint8_t, 2>> pairs;
    pairs.reserve(kTableSize);
    for (unsigned lead = kLeadFirst; lead <= kLeadLast; ++lead) {
        for (unsigned trail = kTrailFirst; trail <= kTrailLast; ++trail) {
            if (IsTrail(static_cast<uint8_t>(trail))) {
                pairs.push_back({static_cast<uint8_t>(lead), static_cast<uint8_t>(trail)});
            }
        }
    }
    std::vector<char16_t> codes(pairs.size(), kUnmapped);
    table->available = DecodeGbkPairs(pairs, codes);
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        table->codes[TableIndex(pairs[i][0], pairs[i][1])] = codes[i];
    }
    return table;
}

const GbkTable& Table() {
    static const std::unique_ptr<GbkTable> table = LoadGbkTable();
    return *table;
}

void AppendUtf8(char32_t code, std::string& out) {
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

void AppendReplacement(std::string& out) {
    AppendUtf8(U'\uFFFD', out);
}

}  // namespace

bool GbkTableAvailable() {
    return Table().available;
}

std::string GbkDecoder::Feed(std::span<const uint8_t> bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 2);
    for (const uint8_t b : bytes) {
        FeedByte(b, out);
    }
    return out;
}

void GbkDecoder::FeedByte(uint8_t byte, std::string& out) {
    if (m_lead != 0) {
        const uint8_t lead = m_lead;
        m_lead = 0;
        if (IsTrail(byte)) {
            m_afterCr = false;
            const char16_t code = Table().codes[TableIndex(lead, byte)];
            if (code == kUnmapped) {
                AppendReplacement(out);
            } else {
                AppendUtf8(code, out);
            }
            return;
        }
        AppendReplacement(out);
    }
    FeedSingle(byte, out);
}

void GbkDecoder::FeedSingle(uint8_t byte, std::string& out) {
    const bool afterCr = m_afterCr;
    m_afterCr = byte == '\r';
    if (byte == '\r') {
        out.push_back('\n');
    } else if (byte == '\n') {
        if (!afterCr) {
            out.push_back('\n');
        }
    } else if (byte == 0) {
        // shows nothing
    } else if (byte < 0x80) {
        out.push_back(static_cast<char>(byte));
    } else if (IsLead(byte)) {
        m_lead = byte;
    } else {
        AppendReplacement(out);  // 0x80 and 0xFF begin no character
    }
}

void GbkDecoder::Flush(std::string& out) {
    if (m_lead != 0) {
        m_lead = 0;
        AppendReplacement(out);
    }
}

void AppendHexPiece(uint8_t byte, std::string& out) {
    constexpr char kDigits[] = "0123456789ABCDEF";
    out.push_back(kDigits[byte >> 4]);
    out.push_back(kDigits[byte & 0x0F]);
    out.push_back(' ');
}
