// Line settings as text. The engine builds the mode text from the port panel's choices; on Linux it is
// parsed back into LineSettings (a failed parse is the engine's "BuildCommDCB()" error) to edit the port's
// terminal settings, on Windows BuildCommDCB reads it. Everything here is pure, so every combination can be
// tested without a device.
#pragma once

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

// "baud=%d parity=%c data=%d stop=%d".
std::string BuildModeText(int baud, char parity, int dataBits, int stopBits);

// Reads the text BuildModeText makes: the four keys, each once, in any order, separated by blanks; keys and
// the parity letter in either case. Anything else, or a value the line cannot take, gives nullopt.
std::optional<LineSettings> ParseModeText(std::string_view text);

// Whether a rate the driver reports back is within 3% of the rate asked for.
bool SpeedWithinTolerance(int requested, std::uint32_t actual);
