// Text between UTF-8 (files, terminals) and GBK (the device's code page and the form's byte fields),
// through the C library's converter, so the command line needs no Qt codec.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// nullopt when the text is not valid UTF-8 or holds a character GBK has no code for.
std::optional<std::string> Utf8ToGbk(std::string_view utf8);

// nullopt when the bytes are not valid GBK.
std::optional<std::string> GbkToUtf8(std::string_view gbk);

// For messages: valid GBK as UTF-8, else the bytes with every one outside printable ASCII as \xNN.
std::string GbkToUtf8Lossy(std::string_view gbk);
