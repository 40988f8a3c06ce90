#include "terminal/receive_pieces.h"

void ReceivePieces::Append(uint8_t byte, bool hex, std::u16string& out) {
    if (m_stampsOn) {
        m_stamps.BeforePiece(byte, hex, out);
    }
    if (hex) {
        AppendHexPiece(byte, out);
    } else if (m_encoding == ReceiveEncoding::Gbk) {
        m_decoder.FeedByte(byte, out);
    } else {
        m_utf8.FeedByte(byte, out);
    }
}

void ReceivePieces::SetStamps(bool on, bool screenAtLineStart) {
    if (on && !m_stampsOn) {
        const bool afterCr = m_encoding == ReceiveEncoding::Gbk ? m_decoder.AfterCr() : m_utf8.AfterCr();
        m_stamps.Start(screenAtLineStart, afterCr);
    }
    m_stampsOn = on;
}

void ReceivePieces::EndText(std::u16string& out) {
    CloseCharacter(out);
    m_stamps.Interrupt();
}

void ReceivePieces::SetEncoding(ReceiveEncoding encoding, std::u16string& out) {
    if (encoding == m_encoding) {
        return;
    }
    CloseCharacter(out);
    m_stamps.ForgetCr();
    m_encoding = encoding;
}

void ReceivePieces::CloseCharacter(std::u16string& out) {
    if (m_encoding == ReceiveEncoding::Gbk) {
        m_decoder.Flush(out);
    } else {
        m_utf8.Flush(out);
    }
    m_decoder.Reset();
    m_utf8.Reset();
}
