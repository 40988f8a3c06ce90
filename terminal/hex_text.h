// Hexadecimal sends of the terminal: the send area's text, read as digit pairs, becomes the bytes
// handed to the port engine. Blanks may stand between pairs; anything else that is not a pair ends the
// conversion, and the bytes converted so far are sent. The transmit count of a hex send is worked out
// from the text's length, not from the bytes produced, as the terminal has always counted it.
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

// What a hex send adds to TxCount: (L + 1) / 3 for a text of L bytes.
std::size_t HexSendTxCount(std::size_t textLength);
