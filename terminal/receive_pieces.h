// What the receive area shows of the received bytes, one piece per byte, built here without Qt: in hex
// mode two upper-case digits and a blank, in text mode the byte's contribution to the GBK text (often
// nothing yet: a lead byte waits for its trail, an LF after a CR is absorbed). Also the two line rules
// the window applies before every byte's piece: at 50 lines with auto clear on the area is emptied, at
// more than 400 without it the area is replaced by a notice; the byte's piece then starts the new text.
// Pieces are UTF-16, the text area's own form, so a run's text reaches the area without conversion.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "terminal/gbk_decoder.h"

inline constexpr int kAutoClearLines = 50;
inline constexpr int kOverflowLines = 401;
inline constexpr std::u16string_view kOverflowText =
    u"***The Length of the Text is too long, Emptied Automaticly!!!***\n";

// The line count at which the next byte empties the area, and what the area holds after that.
inline int ReceiveLineLimit(bool autoClear) {
    return autoClear ? kAutoClearLines : kOverflowLines;
}
inline std::u16string_view EmptiedReceiveText(bool autoClear) {
    return autoClear ? std::u16string_view() : kOverflowText;
}

// Hex mode's piece for one received byte: two upper-case digits and a blank ("%02X ").
template <class String>
void AppendHexPiece(uint8_t byte, String& out) {
    constexpr char kDigits[] = "0123456789ABCDEF";
    out.push_back(static_cast<typename String::value_type>(kDigits[byte >> 4]));
    out.push_back(static_cast<typename String::value_type>(kDigits[byte & 0x0F]));
    out.push_back(static_cast<typename String::value_type>(' '));
}

class ReceivePieces {
  public:
    // Appends the byte's piece to out.
    void Append(uint8_t byte, bool hex, std::u16string& out);
    // The text display stops seeing bytes (display stopped, hex switched on): a lead byte waiting shows
    // as U+FFFD in out, a CR waiting for its LF is forgotten, so nothing pairs across the gap.
    void EndText(std::u16string& out);

    const GbkDecoder& Decoder() const { return m_decoder; }

  private:
    GbkDecoder m_decoder;  // survives clears of the area
};
