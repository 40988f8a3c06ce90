// Decimal text to number the way the device's form has always read it: atoi/atol of a platform where
// both are 32-bit, made total. Callers that store into narrower fields keep the low bits themselves.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// Leading C-locale white space, an optional sign, then digits up to the first other character; no digits
// give 0 and values beyond 32 bits saturate at INT32_MIN / INT32_MAX instead of being undefined.
int32_t Atoi32(std::string_view text);
// The same conversion; the baud rate is read with atol, kept as its own name so call sites say so.
int32_t Atol32(std::string_view text);

// C-locale white space removed from both ends.
std::string_view TrimmedBlanks(std::string_view text);
// Blanks around an optional sign and decimal digits, nothing else; nullopt for anything else. Values past
// 64 bits saturate, which every field's range refuses all the same.
std::optional<int64_t> WholeNumber(std::string_view text);
