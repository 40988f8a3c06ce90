#include "terminal/hex_text.h"

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return 16;
}

std::size_t HexTextToBytes(std::string_view text, std::vector<uint8_t>& out) {
    const std::size_t length = text.size();
    std::size_t n = 0;
    std::size_t i = 0;
    while (i < length) {
        const char c = text[i++];
        if (c == ' ') {
            continue;
        }
        if (i == length) {
            break;  // a lone last digit is dropped
        }
        const int high = HexDigitValue(c);
        const int low = HexDigitValue(text[i]);
        if (high == 16 || low == 16) {
            break;
        }
        out.push_back(static_cast<uint8_t>(high * 16 + low));
        ++n;
        ++i;
    }
    return n;
}
