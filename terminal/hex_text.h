// Hexadecimal sends of the terminal: the send area's text, read as digit pairs, becomes the bytes
// handed to the port engine. Blanks may stand between pairs; anything else that is not a pair ends the
// conversion, and the bytes converted so far are sent. A hex send counts the bytes it produced.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// 0..15 for a hexadecimal digit of either case, 16 for any other character.
int HexDigitValue(char c);

// Appends the bytes of the text's leading digit pairs to out and returns how many were appended. The
// output grows as needed: a send of more than 512 bytes is sent whole.
std::size_t HexTextToBytes(std::string_view text, std::vector<uint8_t>& out);
