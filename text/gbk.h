// GBK, code page 936: the device's code page, that of the record's text fields and of the bytes the
// terminal shows and sends. One table of the pairs, read once from the system (gbk_table.h), serves every
// conversion in both directions, so a text read from the device and written back is the same bytes, and
// the window, the profiles and the terminal agree on every character.
//
// Bytes below 0x80 are ASCII. Every other character is a pair: a lead byte 0x81-0xFE and a trail byte
// 0x40-0xFE other than 0x7F. 0x80 and 0xFF begin nothing, and a pair the table has no character for is
// no text. Nothing here depends on the system's locale.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

bool IsGbkLead(uint8_t byte);
bool IsGbkTrail(uint8_t byte);

// The character of the pair, 0 when it has none (and for every pair when GbkAvailable is false).
char16_t GbkPairCode(uint8_t lead, uint8_t trail);

// Whether the system gave a table (it has a GBK converter); without one only ASCII converts.
bool GbkAvailable();

// nullopt when the text is not valid UTF-8 / UTF-16 or holds a character that GBK has no code for.
std::optional<std::string> Utf8ToGbk(std::string_view utf8);
std::optional<std::string> Utf16ToGbk(std::u16string_view text);

// nullopt when the bytes are not GBK text.
std::optional<std::string> GbkToUtf8(std::string_view gbk);

// For showing bytes whatever they hold: what forms no character (a lone lead byte, at the end too, an
// unknown pair, 0x80, 0xFF) shows as U+FFFD, one per byte or pair, and never swallows the byte after it.
std::u16string GbkToUtf16Shown(std::string_view gbk);

// For messages: valid GBK as UTF-8, else the bytes with every one outside printable ASCII as \xNN.
std::string GbkToUtf8Lossy(std::string_view gbk);

// One UTF-16 code unit of the Basic Multilingual Plane (all that GBK maps to) appended as UTF-8.
void AppendUtf8(char16_t code, std::string& out);
