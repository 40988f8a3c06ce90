#include "serial/line_pacing.h"

#include <algorithm>
#include <cstdint>

int BitsPerByte(const LineFraming& line) {
    return 1 + std::clamp(line.dataBits, 5, 8) + (line.parity ? 1 : 0) + (line.stopBits == 2 ? 2 : 1);
}

std::chrono::nanoseconds LineTime(std::size_t count, const LineFraming& line) {
    if (line.baud <= 0) {
        return std::chrono::nanoseconds(0);
    }
    // Exact to the nanosecond, so a long run's bytes keep to the rate instead of drifting by rounding.
    const std::uint64_t bits =
        static_cast<std::uint64_t>(count) * static_cast<std::uint64_t>(BitsPerByte(line));
    const auto baud = static_cast<std::uint64_t>(line.baud);
    const std::uint64_t ns = (bits * 1'000'000'000u + baud - 1) / baud;
    return std::chrono::nanoseconds(static_cast<std::chrono::nanoseconds::rep>(ns));
}

LineFraming FramingOf(const LineSettings& settings) {
    return {settings.baud, settings.dataBits, settings.parity != 'N', settings.stopBits};
}
