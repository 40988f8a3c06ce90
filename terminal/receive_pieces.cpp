#include "terminal/receive_pieces.h"

void ReceivePieces::Append(uint8_t byte, bool hex, std::u16string& out) {
    if (hex) {
        AppendHexPiece(byte, out);
    } else {
        m_decoder.FeedByte(byte, out);
    }
}

void ReceivePieces::EndText(std::u16string& out) {
    m_decoder.Flush(out);
    m_decoder.Reset();
}
