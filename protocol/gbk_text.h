// Text between UTF-8 (files, terminals) and GBK (the device's code page and the form's byte fields),
// through the system's own converter, so no Qt codec is needed: glibc's iconv on Linux
// (gbk_text_posix.cpp), code page 936 on Windows (gbk_text_win32.cpp).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// nullopt when the text is not valid UTF-8 or holds a character GBK has no code for.
std::optional<std::string> Utf8ToGbk(std::string_view utf8);

// nullopt when the bytes are not valid GBK.
std::optional<std::string> GbkToUtf8(std::string_view gbk);

// For messages: valid GBK as UTF-8, else the bytes with every one outside printable ASCII as \xNN.
std::string GbkToUtf8Lossy(std::string_view gbk);

// The character of each two-byte pair (lead, trail) as its one UTF-16 unit (every GBK character lies in
// the Basic Multilingual Plane), 0 where GBK assigns the pair none; codes holds one unit per pair. False
// when the system has no GBK conversion at all.
bool DecodeGbkPairs(std::span<const std::array<std::uint8_t, 2>> pairs, std::span<char16_t> codes);
