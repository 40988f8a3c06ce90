// What the receive area shows of the received bytes, one piece per byte, built here without Qt: in hex
// mode two upper-case digits and a blank, in text mode the byte's contribution to the GBK text (often
// nothing yet: a lead byte waits for its trail, an LF after a CR is absorbed). Also the two line rules
// the window applies before every byte's piece: at 50 lines with auto clear on the area is emptied, at
// more than 400 without it the area is replaced by a notice; the byte's piece then starts the new text.
// Pieces are UTF-16, the text area's own form, so a run's text reaches the area without conversion.
// Text is read as GBK (the device's code page) or as UTF-8; with time stamps on, a stamp goes before the
// piece that starts a line (receive_stamps.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "terminal/gbk_decoder.h"
#include "terminal/receive_stamps.h"
#include "terminal/utf8_decoder.h"

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

enum class ReceiveEncoding { Gbk, Utf8 };

class ReceivePieces {
  public:
    // Appends the byte's piece to out, after its stamp if it has one.
    void Append(uint8_t byte, bool hex, std::u16string& out);
    // The text display stops seeing bytes (display stopped, hex switched on): a character waiting shows
    // as U+FFFD in out, a CR waiting for its LF is forgotten, so nothing pairs across the gap.
    void EndText(std::u16string& out);

    // A character begun in the old encoding shows as U+FFFD in out; the next byte starts afresh.
    void SetEncoding(ReceiveEncoding encoding, std::u16string& out);
    ReceiveEncoding Encoding() const { return m_encoding; }

    // Stamps on or off; switched on, the stamps start from whether the area ends at a line start.
    void SetStamps(bool on, bool screenAtLineStart);
    bool StampsOn() const { return m_stampsOn; }
    // While stamps are on: when the run about to be shown arrived; the area was emptied.
    void BeginRun(ReceiveTime time) { m_stamps.BeginRun(time); }
    void AreaEmptied() { m_stamps.AreaEmptied(); }

    const GbkDecoder& Decoder() const { return m_decoder; }

  private:
    void CloseCharacter(std::u16string& out);

    ReceiveEncoding m_encoding = ReceiveEncoding::Gbk;
    GbkDecoder m_decoder;  // the decoders and the stamps survive clears of the area
    Utf8Decoder m_utf8;
    bool m_stampsOn = false;
    ReceiveStamps m_stamps;  // fed only while on
};
