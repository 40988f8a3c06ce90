// Text mode of the receive area when the device speaks UTF-8. Fed like GbkDecoder (bytes in arrival order,
// runs of any size) and it shows the same way: a character split between two reads shows whole, CR, LF
// and CR LF each break the line once, a zero byte shows nothing, other control bytes pass through.
//
// Bytes that form no character show as U+FFFD, one for each maximal part of a sequence that could still
// have become a character (the practice Unicode recommends and browsers follow): an overlong form, a
// surrogate, a code above U+10FFFF, a stray continuation byte or a sequence cut short all end at the first
// byte that rules them out, and that byte starts afresh, so nothing valid after a bad byte is swallowed.
#pragma once

#include <cstdint>
#include <string>

class Utf8Decoder {
  public:
    void FeedByte(uint8_t byte, std::u16string& out);
    // Closes a character left open: its bytes show as one U+FFFD.
    void Flush(std::u16string& out);
    void Reset() { *this = Utf8Decoder{}; }

    // Continuation bytes the open character still waits for, 0 when none is open.
    int Pending() const { return m_need; }
    bool AfterCr() const { return m_afterCr; }

    bool operator==(const Utf8Decoder&) const = default;

  private:
    void Start(uint8_t byte, std::u16string& out);

    char32_t m_code = 0;
    uint8_t m_need = 0;
    // The range the next continuation byte must fall in; narrower than 80..BF only right after a lead
    // byte whose forms would otherwise be overlong, surrogates or above U+10FFFF.
    uint8_t m_lower = 0x80;
    uint8_t m_upper = 0xBF;
    bool m_afterCr = false;
};
