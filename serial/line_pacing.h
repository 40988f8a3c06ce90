// How long bytes take on a serial line. The engine bounds the drain at close with it; the simulated DTU
// sends at the rate and framing its port was set to, so the window sees a real line's timing.
#pragma once

#include <chrono>
#include <cstddef>

#include "serial/mode_text.h"

struct LineFraming {
    int baud = 9600;
    int dataBits = 8;     // 5 to 8
    bool parity = false;  // odd, even, mark or space: one bit all the same
    int stopBits = 1;     // 1 or 2
    bool operator==(const LineFraming&) const = default;
};

// Start bit, data bits, the parity bit if any, stop bits: 10 at 8N1, 12 at 8E2.
int BitsPerByte(const LineFraming& line);

// From the first bit of a run of count bytes to the last bit of its last byte, rounded up to whole
// nanoseconds; zero for a line with no rate.
std::chrono::nanoseconds LineTime(std::size_t count, const LineFraming& line);

// The framing of the port panel's (or the command line's) line settings.
LineFraming FramingOf(const LineSettings& settings);
