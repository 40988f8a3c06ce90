#include "text/gbk.h"

#include <array>
#include <cstdio>
#include <memory>

#include "text/gbk_table.h"

namespace {

constexpr char16_t kReplacement = u'\uFFFD';

struct GbkTables {
    std::array<char16_t, kGbkPairSlots> codes{};
    // The pair of each character, lead << 8 | trail, 0 for none: the inverse of codes, so both
    // directions are one table.
    std::array<uint16_t, 0x10000> pairs{};
    bool available = false;
};

std::unique_ptr<GbkTables> BuildTables() {
    auto tables = std::make_unique<GbkTables>();
    tables->available = LoadGbkPairs(tables->codes);
    for (unsigned lead = kGbkLeadFirst; lead <= kGbkLeadLast; ++lead) {
        for (unsigned trail = kGbkTrailFirst; trail <= kGbkTrailLast; ++trail) {
            if (!IsGbkTrail(static_cast<uint8_t>(trail))) {
                continue;
            }
            const char16_t code =
                tables->codes[GbkPairSlot(static_cast<uint8_t>(lead), static_cast<uint8_t>(trail))];
            // Below 0x80 a character is its own byte; the first pair of a character wins should two share it.
            if (code >= 0x80 && tables->pairs[code] == 0) {
                tables->pairs[code] = static_cast<uint16_t>(lead << 8 | trail);
            }
        }
    }
    return tables;
}

const GbkTables& Tables() {
    static const std::unique_ptr<GbkTables> tables = BuildTables();
    return *tables;
}

// Appends code's bytes; false when GBK has no code for it.
bool AppendGbk(char32_t code, std::string& out) {
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
        return true;
    }
    if (code > 0xFFFF) {
        return false;
    }
    const uint16_t pair = Tables().pairs[code];
    if (pair == 0) {
        return false;
    }
    out.push_back(static_cast<char>(pair >> 8));
    out.push_back(static_cast<char>(pair & 0xFF));
    return true;
}

// The next character of strict UTF-8 at text[i], advancing i; nullopt for anything malformed (overlong
// forms, surrogates, beyond U+10FFFF, cut short).
std::optional<char32_t> NextUtf8(std::string_view text, std::size_t& i) {
    const auto first = static_cast<unsigned char>(text[i++]);
    if (first < 0x80) {
        return first;
    }
    std::size_t extra = 0;
    char32_t code = 0;
    char32_t least = 0;
    if (first >= 0xC2 && first <= 0xDF) {
        extra = 1;
        code = first & 0x1F;
        least = 0x80;
    } else if (first >= 0xE0 && first <= 0xEF) {
        extra = 2;
        code = first & 0x0F;
        least = 0x800;
    } else if (first >= 0xF0 && first <= 0xF4) {
        extra = 3;
        code = first & 0x07;
        least = 0x10000;
    } else {
        return std::nullopt;
    }
    for (std::size_t k = 0; k < extra; ++k) {
        if (i >= text.size()) {
            return std::nullopt;
        }
        const auto next = static_cast<unsigned char>(text[i++]);
        if ((next & 0xC0) != 0x80) {
            return std::nullopt;
        }
        code = code << 6 | (next & 0x3F);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return std::nullopt;
    }
    return code;
}

// Decodes gbk, calling emit with each character, or with 0 for what forms none (see GbkToUtf16Shown).
template <class Emit>
void DecodeGbk(std::string_view gbk, Emit&& emit) {
    for (std::size_t i = 0; i < gbk.size();) {
        const auto byte = static_cast<uint8_t>(gbk[i++]);
        if (byte < 0x80) {
            emit(static_cast<char16_t>(byte), true);
        } else if (!IsGbkLead(byte) || i == gbk.size() || !IsGbkTrail(static_cast<uint8_t>(gbk[i]))) {
            emit(kReplacement, false);
        } else {
            const char16_t code = GbkPairCode(byte, static_cast<uint8_t>(gbk[i++]));
            emit(code == 0 ? kReplacement : code, code != 0);
        }
    }
}

}  // namespace

bool IsGbkLead(uint8_t byte) {
    return byte >= kGbkLeadFirst && byte <= kGbkLeadLast;
}

bool IsGbkTrail(uint8_t byte) {
    return byte >= kGbkTrailFirst && byte <= kGbkTrailLast && byte != 0x7F;
}

char16_t GbkPairCode(uint8_t lead, uint8_t trail) {
    return Tables().codes[GbkPairSlot(lead, trail)];
}

bool GbkAvailable() {
    return Tables().available;
}

std::optional<std::string> Utf8ToGbk(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const std::optional<char32_t> code = NextUtf8(utf8, i);
        if (!code || !AppendGbk(*code, out)) {
            return std::nullopt;
        }
    }
    return out;
}

std::optional<std::string> Utf16ToGbk(std::u16string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (const char16_t unit : text) {
        // A surrogate is half of a character beyond the Basic Multilingual Plane, where GBK has none.
        if ((unit >= 0xD800 && unit <= 0xDFFF) || !AppendGbk(unit, out)) {
            return std::nullopt;
        }
    }
    return out;
}

std::optional<std::string> GbkToUtf8(std::string_view gbk) {
    std::string out;
    out.reserve(gbk.size() * 3 / 2);
    bool valid = true;
    DecodeGbk(gbk, [&](char16_t code, bool ok) {
        valid = valid && ok;
        AppendUtf8(code, out);
    });
    if (!valid) {
        return std::nullopt;
    }
    return out;
}

std::u16string GbkToUtf16Shown(std::string_view gbk) {
    std::u16string out;
    out.reserve(gbk.size());
    DecodeGbk(gbk, [&](char16_t code, bool) { out.push_back(code); });
    return out;
}

std::string GbkToUtf8Lossy(std::string_view gbk) {
    if (auto text = GbkToUtf8(gbk)) {
        return *std::move(text);
    }
    std::string out;
    for (const char c : gbk) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F && c != '\\') {
            out += c;
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", byte);
            out += hex;
        }
    }
    return out;
}

void AppendUtf8(char16_t code, std::string& out) {
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
