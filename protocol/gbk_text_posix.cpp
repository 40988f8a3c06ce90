// Linux: GBK through glibc's iconv.
#include "protocol/gbk_text.h"

#include <iconv.h>

#include <cstddef>

namespace {

std::optional<std::string> Convert(const char* to, const char* from, std::string_view in) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return std::nullopt;
    }
    std::string out(in.size() * 4 + 4, '\0');
    // iconv's signature takes a non-const input pointer; it never writes through it.
    char* inPtr = const_cast<char*>(in.data());
    std::size_t inLeft = in.size();
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    const std::size_t done = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (done == static_cast<std::size_t>(-1) || inLeft != 0) {
        return std::nullopt;
    }
    out.resize(out.size() - outLeft);
    return out;
}

}  // namespace

std::optional<std::string> Utf8ToGbk(std::string_view utf8) {
    return Convert("GBK", "UTF-8", utf8);
}

std::optional<std::string> GbkToUtf8(std::string_view gbk) {
    return Convert("UTF-8", "GBK", gbk);
}

bool DecodeGbkPairs(std::span<const std::array<std::uint8_t, 2>> pairs, std::span<char16_t> codes) {
    iconv_t cd = iconv_open("UTF-16LE", "GBK");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return false;
    }
    for (std::size_t i = 0; i < pairs.size() && i < codes.size(); ++i) {
        char in[2] = {static_cast<char>(pairs[i][0]), static_cast<char>(pairs[i][1])};
        unsigned char out[4] = {};
        char* inPtr = in;
        auto* outPtr = reinterpret_cast<char*>(out);
        std::size_t inLeft = sizeof in;
        std::size_t outLeft = sizeof out;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        const std::size_t done = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        codes[i] = (done == static_cast<std::size_t>(-1) || inLeft != 0 || outLeft != 2)
                       ? u'\0'
                       : static_cast<char16_t>(out[0] | (out[1] << 8));
    }
    iconv_close(cd);
    return true;
}
