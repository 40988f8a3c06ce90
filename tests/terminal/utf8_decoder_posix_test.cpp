// The UTF-8 receive decoder against glibc's iconv, on random bytes rich in bad sequences (overlong forms,
// surrogates, codes above U+10FFFF, cut and stray bytes) split into random reads. iconv only judges whole
// sequences; the oracle builds the recommended replacement from that alone: where no character starts,
// one U+FFFD covers the longest run of bytes that some continuation would still turn into a character.
#include "terminal/utf8_decoder.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <cstdint>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

class Iconv {
  public:
    Iconv() : m_cd(iconv_open("UTF-16LE", "UTF-8")) {}
    ~Iconv() { iconv_close(m_cd); }
    bool Valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    // The text of bytes that iconv takes whole, else nothing.
    std::optional<std::u16string> Convert(const std::string& bytes) {
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        std::string in = bytes;
        char out[64];
        char* inPtr = in.data();
        std::size_t inLeft = in.size();
        char* outPtr = out;
        std::size_t outLeft = sizeof out;
        if (iconv(m_cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1) || inLeft != 0) {
            return std::nullopt;
        }
        std::u16string text;
        for (const char* p = out; p < outPtr; p += 2) {
            text.push_back(
                static_cast<char16_t>(static_cast<uint8_t>(p[0]) | static_cast<uint8_t>(p[1]) << 8));
        }
        return text;
    }

    // One character: one code unit, or a surrogate pair.
    std::optional<std::u16string> Character(const std::string& bytes) {
        std::optional<std::u16string> text = Convert(bytes);
        if (!text || text->empty() || text->size() > 2 ||
            (text->size() == 2 && ((*text)[0] & 0xFC00) != 0xD800)) {
            return std::nullopt;
        }
        return text;
    }

    // Whether some bytes after these make them one character.
    bool StartsCharacter(const std::string& prefix) {
        if (const auto known = m_starts.find(prefix); known != m_starts.end()) {
            return known->second;
        }
        bool starts = false;
        for (int next = 0; next < 256 && !starts; ++next) {
            std::string bytes = prefix + static_cast<char>(next);
            for (std::size_t fill = 0; bytes.size() <= 4 && !starts; ++fill, bytes += '\x80') {
                starts = Character(bytes).has_value();
            }
        }
        m_starts[prefix] = starts;
        return starts;
    }

  private:
    iconv_t m_cd;
    std::map<std::string, bool> m_starts;
};

std::u16string OracleText(Iconv& iconv, const std::string& bytes) {
    std::u16string decoded;
    std::size_t at = 0;
    while (at < bytes.size()) {
        std::size_t length = 0;
        for (std::size_t k = 1; k <= 4 && at + k <= bytes.size() && length == 0; ++k) {
            if (const auto character = iconv.Character(bytes.substr(at, k))) {
                decoded += *character;
                length = k;
            }
        }
        if (length == 0) {
            length = 1;
            while (length < 3 && at + length < bytes.size() &&
                   iconv.StartsCharacter(bytes.substr(at, length + 1))) {
                ++length;
            }
            decoded += u'\uFFFD';
        }
        at += length;
    }
    // The terminal's line breaks and zero bytes, on characters: CR, LF, CR LF break once; zero shows nothing.
    std::u16string shown;
    char16_t previous = 0;
    for (const char16_t c : decoded) {
        if (c == u'\r' || (c == u'\n' && previous != u'\r')) {
            shown += u'\n';
        } else if (c != u'\n' && c != 0) {
            shown += c;
        }
        previous = c;
    }
    return shown;
}

std::string RandomBytes(std::mt19937& random) {
    auto pick = [&random](int low, int high) {
        return static_cast<char>(std::uniform_int_distribution<int>(low, high)(random));
    };
    auto cont = [&] { return pick(0x80, 0xBF); };
    std::string bytes;
    const int parts = std::uniform_int_distribution<int>(1, 40)(random);
    for (int i = 0; i < parts; ++i) {
        switch (std::uniform_int_distribution<int>(0, 13)(random)) {
            case 0:
                bytes += pick(0x20, 0x7E);
                break;
            case 1:
                bytes += "\r\n\0"[std::uniform_int_distribution<int>(0, 2)(random)];
                break;
            case 2:
                bytes += {pick(0xC2, 0xDF), cont()};
                break;
            case 3:
                bytes += {pick(0xE1, 0xEC), cont(), cont()};
                break;
            case 4:
                bytes += {pick(0xF1, 0xF3), cont(), cont(), cont()};
                break;
            case 5:
                bytes += {'\xE0', pick(0x80, 0xBF), cont()};
                break;  // overlong or not
            case 6:
                bytes += {'\xED', pick(0x80, 0xBF), cont()};
                break;  // surrogate or not
            case 7:
                bytes += {'\xF0', pick(0x80, 0xBF), cont(), cont()};
                break;
            case 8:
                bytes += {'\xF4', pick(0x80, 0xBF), cont(), cont()};
                break;  // past U+10FFFF or not
            case 9:
                bytes += {pick(0xC0, 0xC1), cont()};
                break;
            case 10:
                bytes += pick(0xF5, 0xFF);
                break;
            case 11:
                bytes += cont();
                break;
            case 12:
                bytes.resize(bytes.size() - (bytes.empty() ? 0 : 1));
                break;  // cut the last part short
            default:
                bytes += pick(0x00, 0xFF);
                break;
        }
    }
    return bytes;
}

TEST(Utf8DecoderAgainstIconv, RandomBytesInRandomReadsShowWhatTheOracleShows) {
    Iconv iconv;
    ASSERT_TRUE(iconv.Valid());
    std::mt19937 random(20261207);
    for (int round = 0; round < 3000; ++round) {
        const std::string bytes = RandomBytes(random);
        const std::u16string expected = OracleText(iconv, bytes);
        Utf8Decoder decoder;
        std::u16string shown;
        std::size_t at = 0;
        while (at < bytes.size()) {
            const std::size_t read = std::uniform_int_distribution<std::size_t>(1, 5)(random);
            for (const std::size_t end = std::min(bytes.size(), at + read); at < end; ++at) {
                decoder.FeedByte(static_cast<uint8_t>(bytes[at]), shown);
            }
        }
        decoder.Flush(shown);
        std::string hex;
        for (const char b : bytes) {
            hex += "0123456789ABCDEF"[static_cast<uint8_t>(b) >> 4];
            hex += "0123456789ABCDEF"[b & 0x0F];
            hex += ' ';
        }
        ASSERT_EQ(shown, expected) << "round " << round << ": " << hex;
    }
}

}  // namespace
