#include "protocol/gbk_text.h"

#include <cstdio>

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
