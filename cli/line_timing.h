// How long an exchange may take on a line: the bytes both ways at the line's speed, the device's own
// answer time (--timeout) and, as a margin, the quiet pause that ends a frame in the window. A slow line or
// a long answer never times out early, and a fast one does not wait for nothing.
#pragma once

#include <chrono>
#include <cstddef>

#include "serial/mode_text.h"

// Time to move count bytes over the line, rounded up to whole milliseconds.
std::chrono::milliseconds TransferTime(const LineSettings& line, std::size_t count);

// From handing a command of sent bytes to the port to the end of an answer of at most answer bytes.
std::chrono::milliseconds ExchangeDeadline(const LineSettings& line, std::size_t sent, std::size_t answer,
                                           std::chrono::milliseconds answerTime);

// The pause that ends a frame, as the window judges frames; quendal-cli judges answers by content and keeps
// it only as the deadline's margin.
inline constexpr std::chrono::milliseconds kFrameQuiet{100};
