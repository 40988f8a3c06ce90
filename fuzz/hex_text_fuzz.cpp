// Hex send conversion fed arbitrary text. HexTextToBytes must leave what the output already held alone,
// append exactly the count it returns, never more than one byte per two characters, and agree with a
// conversion written here again from the rules: blanks skipped between pairs, a pair of two digits of
// either case makes a byte, anything else (or a lone last character) ends it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "terminal/hex_text.h"

namespace {

// -1 for a character that is no hexadecimal digit.
int DigitByRules(char c) {
    static constexpr char kDigits[] = "0123456789abcdefABCDEF";
    // memchr rather than strchr: a zero byte in the text must not match the literal's terminator.
    const void* at = std::memchr(kDigits, c, sizeof kDigits - 1);
    if (at == nullptr) {
        return -1;
    }
    const auto index = static_cast<int>(static_cast<const char*>(at) - kDigits);
    return index < 16 ? index : index - 6;
}

std::vector<uint8_t> BytesByRules(std::string_view text) {
    std::vector<uint8_t> bytes;
    std::size_t at = 0;
    for (;;) {
        while (at < text.size() && text[at] == ' ') {
            ++at;
        }
        if (text.size() - at < 2) {
            return bytes;
        }
        const int high = DigitByRules(text[at]);
        const int low = DigitByRules(text[at + 1]);
        if (high < 0 || low < 0) {
            return bytes;
        }
        bytes.push_back(static_cast<uint8_t>(high * 16 + low));
        at += 2;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    for (const char c : text) {
        const int expected = DigitByRules(c);
        FUZZ_CHECK(HexDigitValue(c) == (expected < 0 ? 16 : expected));
    }

    const std::vector<uint8_t> expected = BytesByRules(text);

    std::vector<uint8_t> fresh;
    const std::size_t n = HexTextToBytes(text, fresh);
    FUZZ_CHECK(n == fresh.size());
    FUZZ_CHECK(n <= size / 2);
    FUZZ_CHECK(fresh == expected);

    // Appending after bytes already held keeps them as they were.
    const std::vector<uint8_t> held = {0xA5, 0x00, 0x5A};
    std::vector<uint8_t> out = held;
    const std::size_t appended = HexTextToBytes(text, out);
    FUZZ_CHECK(appended == n);
    FUZZ_CHECK(out.size() == held.size() + n);
    FUZZ_CHECK(std::equal(held.begin(), held.end(), out.begin()));
    FUZZ_CHECK(
        std::equal(expected.begin(), expected.end(), out.begin() + static_cast<std::ptrdiff_t>(held.size())));
    return 0;
}
