// Text mode of the receive area: received bytes are GBK, the area shows Unicode. The decoder is fed the
// bytes in arrival order, in runs of any size, and returns the text each run adds, in UTF-8 or in UTF-16
// (what the window's text area holds). A GBK lead byte waits for its trail byte, across runs too, so a
// character split between two reads shows whole. Bytes that form no character show as U+FFFD and never
// swallow a neighbour. A zero byte shows nothing. CR, LF and CR LF each break the line once ("\n"); a
// lone CR breaks it at once, and an LF right after it then adds nothing. Other control bytes pass through
// as they are. The characters are those of the program's one GBK table (text/gbk.h).
//
// The decoder's whole state is the two values below; it is a plain copyable value, so the window keeps
// it across a rewrite of the receive area and a pending lead byte or CR survives it.
#pragma once

#include <cstdint>
#include <span>
#include <string>

class GbkDecoder {
  public:
    std::string Feed(std::span<const uint8_t> bytes);
    void FeedByte(uint8_t byte, std::string& out);
    void FeedByte(uint8_t byte, std::u16string& out);
    // Closes a character left open: a waiting lead byte shows as U+FFFD.
    void Flush(std::string& out);
    void Flush(std::u16string& out);
    void Reset() { *this = GbkDecoder{}; }

    // The lead byte waiting for its trail byte, 0 when none (no lead byte is 0).
    uint8_t PendingLead() const { return m_lead; }
    // Whether the last byte fed was a CR, so that an LF now adds nothing.
    bool AfterCr() const { return m_afterCr; }

    bool operator==(const GbkDecoder&) const = default;

  private:
    // The character the byte completes, 0 for none; a second one (the byte after a bad lead) in *then.
    char16_t Step(uint8_t byte, char16_t* then);
    char16_t Single(uint8_t byte);

    uint8_t m_lead = 0;
    bool m_afterCr = false;
};
