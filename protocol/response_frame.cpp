#include "protocol/response_frame.h"

#include <algorithm>
#include <string_view>

namespace {

constexpr uint32_t kShortFrameMin = 10;
constexpr uint32_t kShortFrameMax = 99;
constexpr uint32_t kRecordFrameMin = 448;

constexpr std::string_view kAnswerRecord = "+CONFIG=";
constexpr std::string_view kAnswerCsq = "+CSQ:";

struct ShortAnswer {
    std::string_view marker;
    ResponseKind kind;
    const GbkText* paneText;
};

// Checked in this order; the first one the text holds decides.
constexpr ShortAnswer kShortAnswers[] = {
    {"+CONFIG OK", ResponseKind::ConfigOk, &kTextConfigOk},
    {"+CONFIG ERROR", ResponseKind::ConfigError, &kTextConfigFailed},
    {"+CONFIG DEFAULT OK", ResponseKind::DefaultsOk, &kTextDefaultsDone},
    {"+CONFIG RESET OK", ResponseKind::ResetOk, &kTextRebooted},
    {"+CONFIG CMD:", ResponseKind::Signal, nullptr},
};

// The comma is searched from the start of the text, not from "+CSQ:": a comma before it means no value.
std::optional<std::string> SignalValue(std::string_view text) {
    const std::size_t p = text.find(kAnswerCsq);
    const std::size_t q = text.find(',');
    if (p == std::string_view::npos || q == std::string_view::npos) {
        return std::nullopt;
    }
    const std::size_t start = p + kAnswerCsq.size();
    if (q <= start) {
        return std::nullopt;
    }
    return std::string(text.substr(start, q - start));
}

}  // namespace

bool CollectResponseByte(ResponseFrame& frame, uint8_t byte) {
    if (frame.count < kFrameCapacity) {
        frame.bytes[frame.count] = byte;
        ++frame.count;
    }
    return frame.count >= kFrameCapacity;
}

std::size_t CollectResponseBytes(ResponseFrame& frame, std::span<const uint8_t> bytes) {
    if (bytes.empty()) {
        return 0;
    }
    if (frame.count >= kFrameCapacity) {
        return 1;
    }
    const std::size_t take = std::min<std::size_t>(bytes.size(), kFrameCapacity - frame.count);
    std::copy_n(bytes.begin(), take, frame.bytes.begin() + frame.count);
    frame.count += static_cast<uint32_t>(take);
    return take;
}

DispatchResult DispatchResponseFrame(ResponseFrame& frame) {
    const uint32_t count = std::min(frame.count, kFrameCapacity);
    frame.bytes[count] = 0;
    frame.count = 0;

    const auto* data = reinterpret_cast<const char*>(frame.bytes.data());
    const auto* firstZero = std::find(frame.bytes.begin(), frame.bytes.begin() + count, uint8_t{0});
    const std::string_view text(data, static_cast<std::size_t>(firstZero - frame.bytes.begin()));

    DispatchResult result;
    if (count >= kShortFrameMin && count <= kShortFrameMax) {
        for (const ShortAnswer& answer : kShortAnswers) {
            if (text.find(answer.marker) == std::string_view::npos) {
                continue;
            }
            result.kind = answer.kind;
            result.paneText = answer.paneText;
            if (answer.kind == ResponseKind::Signal) {
                result.signal = SignalValue(text);
            }
            break;
        }
    } else if (count >= kRecordFrameMin) {
        const std::size_t m = text.find(kAnswerRecord);
        // A record that does not lie wholly inside the frame is ignored rather than read past it.
        if (m != std::string_view::npos && m + kAnswerRecord.size() + kDeviceParamsSize <= count) {
            const auto from = frame.bytes.begin() + static_cast<std::ptrdiff_t>(m + kAnswerRecord.size());
            std::copy(from, from + kDeviceParamsSize, result.record.begin());
            result.kind = ResponseKind::Record;
            result.paneText = &kTextReadDone;
        }
    }
    return result;
}
