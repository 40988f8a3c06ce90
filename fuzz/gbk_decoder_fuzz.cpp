// The receive decoder fed arbitrary bytes in reads of any size, the sizes taken from the input's first
// bytes. The text must not depend on where the reads were cut (a character split between reads shows
// whole), on whether a read goes through Feed or byte by byte through FeedByte, or on the decoder being
// copied between reads, as the window does when it rewrites the receive area. The text is well-formed
// UTF-8 with no zero byte and no CR, and holds one line break per CR and per LF that follows no CR.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "terminal/gbk_decoder.h"

namespace {

// RFC 3629: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsWellFormedUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<uint8_t>(text[i]);
        std::size_t extra = 0;
        uint32_t code = 0;
        uint32_t least = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if ((lead & 0xE0) == 0xC0) {
            extra = 1;
            code = lead & 0x1Fu;
            least = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2;
            code = lead & 0x0Fu;
            least = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3;
            code = lead & 0x07u;
            least = 0x10000;
        } else {
            return false;
        }
        if (text.size() - i <= extra) {
            return false;
        }
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<uint8_t>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            code = (code << 6) | (next & 0x3Fu);
        }
        if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        i += extra + 1;
    }
    return true;
}

constexpr std::size_t kMaxReadLengths = 4;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::span<const uint8_t> input(data, size);

    GbkDecoder whole;
    std::string expected = whole.Feed(input);
    whole.Flush(expected);

    // Read lengths of 1 to 32; bit 6 of a length byte sends that read byte by byte, bit 7 continues on a
    // copy of the decoder after it.
    std::vector<uint8_t> shapes;
    for (std::size_t i = 0; i < std::min(size, kMaxReadLengths); ++i) {
        shapes.push_back(data[i]);
    }
    GbkDecoder decoder;
    std::string text;
    std::size_t pos = 0;
    for (std::size_t read = 0; pos < size; ++read) {
        const uint8_t shape = shapes[read % shapes.size()];
        const std::size_t length = std::min<std::size_t>(size - pos, 1 + (shape & 0x1Fu));
        if (shape & 0x40) {
            for (const uint8_t b : input.subspan(pos, length)) {
                decoder.FeedByte(b, text);
            }
        } else {
            text += decoder.Feed(input.subspan(pos, length));
        }
        pos += length;
        if (shape & 0x80) {
            const GbkDecoder copy = decoder;
            FUZZ_CHECK(copy == decoder);
            decoder.Reset();
            decoder = copy;
        }
    }
    decoder.Flush(text);

    FUZZ_CHECK(text == expected);
    FUZZ_CHECK(decoder == whole);
    FUZZ_CHECK(decoder.PendingLead() == 0);

    FUZZ_CHECK(IsWellFormedUtf8(text));
    FUZZ_CHECK(text.find('\0') == std::string::npos);
    FUZZ_CHECK(text.find('\r') == std::string::npos);

    // CR and LF are never the second byte of a character, so line breaks can be counted on the raw bytes.
    std::size_t breaks = 0;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == '\r' || (data[i] == '\n' && (i == 0 || data[i - 1] != '\r'))) {
            ++breaks;
        }
    }
    FUZZ_CHECK(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) == breaks);
    return 0;
}
