// The UTF-8 receive decoder fed arbitrary bytes in reads of any size, the sizes taken from the input's first
// bytes. The text must not depend on where the reads were cut or on the decoder being copied between reads.
// It is well-formed UTF-16 (no lone surrogate) with no zero and no CR, holds one line break per CR and per
// LF that follows no CR, and where the input is well-formed UTF-8 it is exactly that text.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "terminal/utf8_decoder.h"

namespace {

bool IsWellFormedUtf16(const std::u16string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0xDC00 && c <= 0xDFFF) {
            return false;
        }
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 == text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) {
                return false;
            }
            ++i;
        }
    }
    return true;
}

constexpr std::size_t kMaxReadLengths = 4;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::span<const uint8_t> input(data, size);

    Utf8Decoder whole;
    std::u16string expected;
    for (const uint8_t b : input) {
        whole.FeedByte(b, expected);
    }
    const bool endedOpen = whole.Pending() != 0;
    whole.Flush(expected);

    // Read lengths of 1 to 32; bit 7 of a length byte continues on a copy of the decoder after that read.
    std::vector<uint8_t> shapes;
    for (std::size_t i = 0; i < std::min(size, kMaxReadLengths); ++i) {
        shapes.push_back(data[i]);
    }
    Utf8Decoder decoder;
    std::u16string text;
    std::size_t pos = 0;
    for (std::size_t read = 0; pos < size; ++read) {
        const uint8_t shape = shapes[read % shapes.size()];
        const std::size_t length = std::min<std::size_t>(size - pos, 1 + (shape & 0x1Fu));
        for (const uint8_t b : input.subspan(pos, length)) {
            decoder.FeedByte(b, text);
        }
        pos += length;
        if (shape & 0x80) {
            const Utf8Decoder copy = decoder;
            decoder.Reset();
            decoder = copy;
        }
    }
    decoder.Flush(text);

    FUZZ_CHECK(text == expected);
    FUZZ_CHECK(decoder == whole);
    FUZZ_CHECK(decoder.Pending() == 0);
    FUZZ_CHECK(IsWellFormedUtf16(text));
    FUZZ_CHECK(text.find(u'\0') == std::u16string::npos);
    FUZZ_CHECK(text.find(u'\r') == std::u16string::npos);

    // CR and LF never sit inside a character, so line breaks can be counted on the raw bytes.
    std::size_t breaks = 0;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == '\r' || (data[i] == '\n' && (i == 0 || data[i - 1] != '\r'))) {
            ++breaks;
        }
    }
    FUZZ_CHECK(static_cast<std::size_t>(std::count(text.begin(), text.end(), u'\n')) == breaks);

    // Without a replacement, every byte went into a character: the text is the input, read as UTF-8.
    if (text.find(u'\uFFFD') == std::u16string::npos && !endedOpen) {
        std::size_t units = 0;
        for (const char16_t c : text) {
            units += c < 0x80 ? 1 : c < 0x800 ? 2 : (c >= 0xD800 && c <= 0xDFFF) ? 2 : 3;
        }
        std::size_t shown = 0;  // bytes that show: all but zero bytes and the LF of a CR LF
        for (std::size_t i = 0; i < size; ++i) {
            shown += data[i] != 0 && !(data[i] == '\n' && i > 0 && data[i - 1] == '\r');
        }
        FUZZ_CHECK(units == shown);
    }
    return 0;
}
