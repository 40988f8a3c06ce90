// Terminal settings of a Linux descriptor through the kernel's termios2 (the only form that carries any
// rate, 43000 included): the engine's seam applies them, and the simulator and the tests read them back.
#pragma once

#include <array>
#include <cstdint>

#include "serial/mode_text.h"

// The fields of the kernel's struct termios2 in a type of our own, so that users of this header see neither
// libc's <termios.h> nor the kernel's <asm/termbits.h>, which cannot both be included in one file.
struct TermiosValue {
    std::uint32_t iflag = 0;
    std::uint32_t oflag = 0;
    std::uint32_t cflag = 0;
    std::uint32_t lflag = 0;
    std::uint8_t line = 0;
    std::array<std::uint8_t, 19> cc{};
    std::uint32_t ispeed = 0;
    std::uint32_t ospeed = 0;
};

// Edits value for settings: raw bytes both ways (no line editing, echo, signals, CR/LF mapping, flow
// control or output processing), receiver on, modem control lines ignored, the rate as an arbitrary speed.
// Bits the line settings do not concern are kept.
void ApplyLineSettings(const LineSettings& settings, TermiosValue& value);

int OsGetSettings(int fd, TermiosValue& value);

// Applies value in one call and reads the result back into readBack.
int OsSetSettings(int fd, const TermiosValue& value, TermiosValue& readBack);
