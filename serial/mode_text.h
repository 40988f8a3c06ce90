// Line settings as text and as terminal settings. The engine builds the mode text from the port panel's
// choices, parses it back into LineSettings (a failed parse is the engine's "BuildCommDCB()" error) and edits
// the port's current terminal settings from them before applying them in one call. Everything here is pure,
// so every combination can be tested without a device.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct LineSettings {
    int baud = 9600;
    char parity = 'N';  // 'N', 'O', 'E', 'M' (mark) or 'S' (space)
    int dataBits = 8;   // 5 to 8
    int stopBits = 1;   // 1 or 2
};

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

// "baud=%d parity=%c data=%d stop=%d".
std::string BuildModeText(int baud, char parity, int dataBits, int stopBits);

// Reads the text BuildModeText makes: the four keys, each once, in any order, separated by blanks; keys and
// the parity letter in either case. Anything else, or a value the line cannot take, gives nullopt.
std::optional<LineSettings> ParseModeText(std::string_view text);

// Edits value for settings: raw bytes both ways (no line editing, echo, signals, CR/LF mapping, flow
// control or output processing), receiver on, modem control lines ignored, the rate as an arbitrary speed.
// Bits the line settings do not concern are kept.
void ApplyLineSettings(const LineSettings& settings, TermiosValue& value);

// Whether a rate the driver reports back is within 3% of the rate asked for.
bool SpeedWithinTolerance(int requested, std::uint32_t actual);
