// How long bytes take on a serial line. The simulated DTU sends at the rate and framing its port was set
// to, so the window sees a real line's timing; the device model (dtu_device.h) schedules its bytes with
// these, and the program reads the framing from the pseudo-terminal (ReadLineFraming, sim_pty.h).
#pragma once

#include <chrono>
#include <cstddef>

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
