#include "cli/line_timing.h"

#include "serial/line_pacing.h"

std::chrono::milliseconds TransferTime(const LineSettings& line, std::size_t count) {
    return std::chrono::ceil<std::chrono::milliseconds>(LineTime(count, FramingOf(line)));
}

std::chrono::milliseconds ExchangeDeadline(const LineSettings& line, std::size_t sent, std::size_t answer,
                                           std::chrono::milliseconds answerTime) {
    return TransferTime(line, sent) + TransferTime(line, answer) + answerTime + kFrameQuiet;
}
