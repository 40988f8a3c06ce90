// Answers from the device, as the window sees them. Every received byte is collected into one
// ResponseFrame (CollectResponseByte); when the line has been quiet for 100 ms, or at once when the frame
// is full, the window calls DispatchResponseFrame, which judges the frame by its size class and content
// and empties it. The result says what the window should do: take a parameter record, show a status
// text, or show a signal value. Nothing here remembers which command was sent: every frame is judged
// on its own, whoever caused it, and a record is taken whatever its checksum.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "protocol/device_params.h"
#include "res/texts.h"

// Received bytes a frame holds before it is dispatched at once; one more byte of the buffer keeps the
// terminating zero written at dispatch.
inline constexpr uint32_t kFrameCapacity = 1023;

struct ResponseFrame {
    std::array<uint8_t, kFrameCapacity + 1> bytes{};
    // Only the count is reset between frames; stale bytes past it are hidden by the zero written at
    // dispatch.
    uint32_t count = 0;
};

enum class ResponseKind { None, Record, ConfigOk, ConfigError, DefaultsOk, ResetOk, Signal };

struct DispatchResult {
    ResponseKind kind = ResponseKind::None;
    // Text for status pane 2, or nullptr when the pane keeps what it shows.
    const GbkText* paneText = nullptr;
    // Signal: the bytes between "+CSQ:" and the first comma, as received (a leading blank stays);
    // nullopt when the answer held no usable value, and the signal field keeps its text.
    std::optional<std::string> signal;
    // Record: the 440 bytes that followed "+CONFIG=".
    std::array<uint8_t, kDeviceParamsSize> record{};
};

// Appends one received byte. Returns true when the frame is full and must be dispatched before the
// next byte; a byte offered to a full frame is dropped.
bool CollectResponseByte(ResponseFrame& frame, uint8_t byte);

// Appends bytes from the start of a run up to and including the one that fills the frame (one byte, dropped,
// when the frame is full already). Returns how many it took: at least one of a run that is not empty.
std::size_t CollectResponseBytes(ResponseFrame& frame, std::span<const uint8_t> bytes);

// A whole run, with onFull() called wherever byte-by-byte collection would have found the frame full; the
// bytes are copied in blocks, as a fast line delivers thousands a run.
template <class OnFull>
void CollectResponseRun(ResponseFrame& frame, std::span<const uint8_t> bytes, OnFull&& onFull) {
    while (!bytes.empty()) {
        bytes = bytes.subspan(CollectResponseBytes(frame, bytes));
        if (frame.count >= kFrameCapacity) {
            onFull();
        }
    }
}

// Judges the frame and empties it (count := 0), whatever it held.
DispatchResult DispatchResponseFrame(ResponseFrame& frame);
