#include "cli/line_timing.h"

int BitsPerByte(const LineSettings& line) {
    return 1 + line.dataBits + (line.parity == 'N' ? 0 : 1) + line.stopBits;
}

std::chrono::milliseconds TransferTime(const LineSettings& line, std::size_t count) {
    const auto bits = static_cast<long long>(count) * BitsPerByte(line) * 1000;
    const long long baud = line.baud > 0 ? line.baud : 1;
    return std::chrono::milliseconds((bits + baud - 1) / baud);
}

std::chrono::milliseconds ExchangeDeadline(const LineSettings& line, std::size_t sent, std::size_t answer,
                                           std::chrono::milliseconds answerTime) {
    return TransferTime(line, sent) + TransferTime(line, answer) + answerTime + kFrameQuiet;
}
