// Windows: GBK is code page 936, through MultiByteToWideChar and WideCharToMultiByte with UTF-16 between
// (Qt as shipped for Windows here has no GBK codec). Code page 936 maps GBK's user-defined areas to the
// private use area, which glibc's GBK leaves unmapped; they are refused here too, so a byte sequence means
// the same on both systems.
#include <windows.h>

#include <climits>

#include "protocol/gbk_text.h"

namespace {

constexpr UINT kGbk = 936;

bool IsPrivateUse(wchar_t c) {
    return c >= 0xE000 && c <= 0xF8FF;
}

bool HasPrivateUse(const std::wstring& text) {
    for (const wchar_t c : text) {
        if (IsPrivateUse(c)) {
            return true;
        }
    }
    return false;
}

std::optional<std::wstring> ToWide(UINT codePage, std::string_view in) {
    if (in.empty()) {
        return std::wstring();
    }
    if (in.size() > INT_MAX) {
        return std::nullopt;
    }
    const int inSize = static_cast<int>(in.size());
    const int size = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, in.data(), inSize, nullptr, 0);
    if (size <= 0) {
        return std::nullopt;
    }
    std::wstring out(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, in.data(), inSize, out.data(), size);
    return out;
}

// WC_ERR_INVALID_CHARS (UTF-8 only) refuses lone surrogates; for GBK a character without a code would
// become the default character, which usedDefault reports.
std::optional<std::string> FromWide(UINT codePage, const std::wstring& in) {
    if (in.empty()) {
        return std::string();
    }
    const int inSize = static_cast<int>(in.size());
    const DWORD flags = codePage == CP_UTF8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* usedDefaultOut = codePage == CP_UTF8 ? nullptr : &usedDefault;
    const int size =
        WideCharToMultiByte(codePage, flags, in.data(), inSize, nullptr, 0, nullptr, usedDefaultOut);
    if (size <= 0 || usedDefault) {
        return std::nullopt;
    }
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(codePage, flags, in.data(), inSize, out.data(), size, nullptr, usedDefaultOut);
    return out;
}

std::optional<std::string> Convert(UINT to, UINT from, std::string_view in) {
    const auto wide = ToWide(from, in);
    if (!wide || HasPrivateUse(*wide)) {
        return std::nullopt;
    }
    return FromWide(to, *wide);
}

}  // namespace

std::optional<std::string> Utf8ToGbk(std::string_view utf8) {
    return Convert(kGbk, CP_UTF8, utf8);
}

std::optional<std::string> GbkToUtf8(std::string_view gbk) {
    return Convert(CP_UTF8, kGbk, gbk);
}

bool DecodeGbkPairs(std::span<const std::array<std::uint8_t, 2>> pairs, std::span<char16_t> codes) {
    CPINFO info{};
    if (!GetCPInfo(kGbk, &info)) {
        return false;
    }
    for (std::size_t i = 0; i < pairs.size() && i < codes.size(); ++i) {
        const char in[2] = {static_cast<char>(pairs[i][0]), static_cast<char>(pairs[i][1])};
        wchar_t out[2] = {};
        const int n = MultiByteToWideChar(kGbk, MB_ERR_INVALID_CHARS, in, 2, out, 2);
        codes[i] = n == 1 && !IsPrivateUse(out[0]) ? static_cast<char16_t>(out[0]) : u'\0';
    }
    return true;
}
