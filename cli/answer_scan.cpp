#include "cli/answer_scan.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "cli/console.h"
#include "modem/module_answer.h"

namespace {

using View = std::string_view;
constexpr auto npos = View::npos;

constexpr View kRecordMarker = "+CONFIG=";
constexpr std::size_t kRecordAnswerSize = kRecordMarker.size() + kDeviceParamsSize;
constexpr View kRefused = "+CONFIG ERROR";
constexpr View kSignalMarker = "+CONFIG CMD:";
constexpr View kCsqMarker = "+CSQ:";

struct Range {
    std::size_t begin = 0;
    std::size_t end = 0;
};

View AsText(std::span<const uint8_t> bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// The markers that start the wanted answer; the first of them is the device's yes.
std::vector<View> MarkersOf(AnswerKind kind) {
    switch (kind) {
        case AnswerKind::Record:
            return {kRecordMarker};
        case AnswerKind::SaveResult:
            return {"+CONFIG OK", kRefused};
        case AnswerKind::DefaultsOk:
            return {"+CONFIG DEFAULT OK", kRefused};
        case AnswerKind::ResetOk:
            return {"+CONFIG RESET OK", kRefused};
        case AnswerKind::Signal:
        case AnswerKind::Module:
            return {kSignalMarker};
    }
    return {};
}

std::size_t FirstMarker(View text, const std::vector<View>& markers) {
    std::size_t first = npos;
    for (View marker : markers) {
        first = std::min(first, text.find(marker));
    }
    return first;
}

// A whole copy of sent, or the end of received when it begins sent (an echo still arriving).
std::optional<Range> EchoOf(View received, View sent) {
    if (sent.empty()) {
        return std::nullopt;
    }
    if (const std::size_t at = received.find(sent); at != npos) {
        return Range{at, at + sent.size()};
    }
    for (std::size_t length = std::min(received.size(), sent.size() - 1); length > 0; --length) {
        if (sent.starts_with(received.substr(received.size() - length))) {
            return Range{received.size() - length, received.size()};
        }
    }
    return std::nullopt;
}

std::string Hex8(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02x", value & 0xFFu);
    return text;
}

// What came when it held no answer.
std::string NothingText(std::size_t received, std::size_t echoed) {
    if (received == 0) {
        return "nothing came";
    }
    if (received == echoed) {
        return "only the echo of the command came";
    }
    return std::to_string(received - echoed) + " bytes came" +
           (echoed ? " besides the echo of the command" : "") + ", none of them the answer";
}

void ScanRecord(View text, ScannedAnswer& answer) {
    bool damaged = false;
    for (std::size_t m = text.find(kRecordMarker); m != npos; m = text.find(kRecordMarker, m + 1)) {
        if (text.size() - m < kRecordAnswerSize) {
            answer.state = ScannedAnswer::State::Pending;
            answer.note = "the record began, but only " + std::to_string(text.size() - m) + " of its " +
                          std::to_string(kRecordAnswerSize) + " bytes came";
            return;
        }
        std::array<uint8_t, kDeviceParamsSize> bytes;
        std::copy_n(text.begin() + static_cast<std::ptrdiff_t>(m + kRecordMarker.size()), bytes.size(),
                    reinterpret_cast<char*>(bytes.data()));
        const DeviceParams params = DeviceParams::FromBytes(bytes);
        if (RecordIntact(params)) {
            answer.state = ScannedAnswer::State::Whole;
            answer.record = bytes;
            answer.note = "a whole record, checksum right";
            return;
        }
        // Another "+CONFIG=" may follow (the first was a unit's log text); the first damaged one is kept.
        if (!damaged) {
            damaged = true;
            answer.record = bytes;
            answer.note = "the record arrived damaged: its checksum is " + Hex8(params.checksum) +
                          " but its bytes sum to " + Hex8(RecordChecksum(params));
        }
    }
    answer.state = damaged ? ScannedAnswer::State::Damaged : ScannedAnswer::State::Pending;
}

void ScanSignal(View text, ScannedAnswer& answer) {
    const std::size_t start = text.find(kSignalMarker);
    if (start == npos) {
        return;
    }
    const View rest = text.substr(start + kSignalMarker.size());
    if (const std::size_t p = rest.find(kCsqMarker); p != npos) {
        const std::size_t from = p + kCsqMarker.size();
        const std::size_t end = rest.find_first_of("\r\n", from);
        if (end == npos) {
            answer.note = "the signal line began but has not ended";
            return;
        }
        answer.state = ScannedAnswer::State::Whole;
        const View value = rest.substr(from, end - from);
        answer.csq = ParseCsqField(value);
        // Only for the message: a line that holds no value is shown without the blanks before it.
        const View shown = value.substr(std::min(value.find_first_not_of(' '), value.size()));
        answer.note = answer.csq
                          ? "a CSQ value"
                          : "the module's +CSQ: line holds no CSQ value: \"" + VisibleText(shown) + "\"";
        return;
    }
    // No signal line: the module's final result ends its answer.
    for (std::size_t at = 0; at < rest.size();) {
        const std::size_t end = rest.find_first_of("\r\n", at);
        if (end == npos) {
            break;
        }
        const View line = rest.substr(at, end - at);
        if (line == "OK" || line == "ERROR" || line.starts_with("+CME ERROR")) {
            answer.state = ScannedAnswer::State::Whole;
            answer.note = "the module answered \"" + VisibleText(line) + "\" with no +CSQ: line";
            return;
        }
        at = end + 1;
    }
    answer.note = "the signal answer began but has not ended";
}

void ScanModule(View text, ScannedAnswer& answer) {
    const std::size_t start = text.find(kSignalMarker);
    if (start == npos) {
        return;
    }
    const View rest = text.substr(start);
    if (!ModuleAnswerComplete(rest)) {
        answer.note = "the module's answer began but has no final result yet";
        return;
    }
    answer.state = ScannedAnswer::State::Whole;
    answer.moduleText = std::string(rest);
    answer.note = "the module's answer";
}

}  // namespace

std::optional<CsqValue> ParseCsqField(std::string_view value) {
    std::size_t i = value.find_first_not_of(' ');
    if (i == npos) {
        return std::nullopt;
    }
    const std::size_t digitsEnd = std::min(value.find_first_not_of("0123456789", i), value.size());
    const std::size_t digits = digitsEnd - i;
    if (digits == 0 || digits > 2) {
        return std::nullopt;
    }
    int rssi = 0;
    for (; i < digitsEnd; ++i) {
        rssi = rssi * 10 + (value[i] - '0');
    }
    i = value.find_first_not_of(' ', digitsEnd);
    if (i == npos || value[i] != ',' || (rssi > 31 && rssi != 99)) {
        return std::nullopt;
    }
    return CsqValue{rssi};
}

std::string CsqMeaning(CsqValue csq) {
    if (!csq.Known()) {
        return "not known";
    }
    if (csq.rssi == 0) {
        return "-113 dBm or less";
    }
    if (csq.rssi == 31) {
        return "-51 dBm or more";
    }
    return std::to_string(csq.Dbm()) + " dBm";
}

ScannedAnswer ScanAnswer(std::span<const uint8_t> received, std::span<const uint8_t> sent,
                         AnswerKind wanted) {
    const View original = AsText(received);
    const std::vector<View> markers = MarkersOf(wanted);

    // The echo is blanked out (zero bytes match no marker), unless the answer began before it: then what
    // looks like an echo is part of the answer or came after it.
    std::string text(original);
    std::size_t echoed = 0;
    if (const auto echo = EchoOf(original, AsText(sent));
        echo && echo->begin <= FirstMarker(original, markers)) {
        std::fill(text.begin() + static_cast<std::ptrdiff_t>(echo->begin),
                  text.begin() + static_cast<std::ptrdiff_t>(echo->end), '\0');
        echoed = echo->end - echo->begin;
    }

    ScannedAnswer answer;
    switch (wanted) {
        case AnswerKind::Record:
            ScanRecord(text, answer);
            break;
        case AnswerKind::Signal:
            ScanSignal(text, answer);
            break;
        case AnswerKind::Module:
            ScanModule(text, answer);
            break;
        case AnswerKind::SaveResult:
        case AnswerKind::DefaultsOk:
        case AnswerKind::ResetOk: {
            const std::size_t yes = text.find(markers[0]);
            const std::size_t no = text.find(kRefused);
            if (yes != npos || no != npos) {
                answer.state = ScannedAnswer::State::Whole;
                answer.accepted = yes < no;
                answer.note = std::string(answer.accepted ? markers[0] : kRefused);
            }
            break;
        }
    }
    if (answer.state == ScannedAnswer::State::Pending && answer.note.empty()) {
        answer.note = NothingText(received.size(), echoed);
    }
    return answer;
}
