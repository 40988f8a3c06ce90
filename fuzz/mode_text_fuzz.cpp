// The mode-text parser fed arbitrary text. It must agree with a reading of the rules written here on its
// own (blank-separated key=value pairs, the four keys each once in any order and case, values the line can
// take); a text it accepts comes back the same through BuildModeText; and the texts built from every valid
// choice, at a rate taken from the input, parse back, also with the keys in another order, in other case
// and with other spacing.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "serial/mode_text.h"
#include "serial/termios_posix.h"

namespace {

bool SameSettings(const LineSettings& a, const LineSettings& b) {
    return a.baud == b.baud && a.parity == b.parity && a.dataBits == b.dataBits && a.stopBits == b.stopBits;
}

void CheckAccepted(const LineSettings& settings) {
    FUZZ_CHECK(settings.baud > 0);
    FUZZ_CHECK(std::string_view("NOEMS").find(settings.parity) != std::string_view::npos);
    FUZZ_CHECK(settings.dataBits >= 5 && settings.dataBits <= 8);
    FUZZ_CHECK(settings.stopBits == 1 || settings.stopBits == 2);

    const auto again =
        ParseModeText(BuildModeText(settings.baud, settings.parity, settings.dataBits, settings.stopBits));
    FUZZ_CHECK(again.has_value() && SameSettings(*again, settings));

    TermiosValue value;
    value.cflag = 0xFFFFFFFFu;
    ApplyLineSettings(settings, value);
    FUZZ_CHECK(value.ispeed == static_cast<uint32_t>(settings.baud));
    FUZZ_CHECK(value.ospeed == static_cast<uint32_t>(settings.baud));
}

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string UpperText(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), Upper);
    return out;
}

// Plain decimal digits whose value fits an int.
std::optional<int> DigitsByRules(std::string_view text) {
    if (text.empty()) {
        return std::nullopt;
    }
    long long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
        if (value > std::numeric_limits<int>::max()) {
            return std::nullopt;
        }
    }
    return static_cast<int>(value);
}

std::optional<LineSettings> ParseByRules(std::string_view text) {
    std::map<std::string, std::string_view> values;
    std::size_t from = 0;
    while (from <= text.size()) {
        const std::size_t blank = std::min(text.find(' ', from), text.size());
        const std::string_view token = text.substr(from, blank - from);
        from = blank + 1;
        if (token.empty()) {
            continue;
        }
        const std::size_t eq = token.find('=');
        if (eq == std::string_view::npos ||
            !values.emplace(UpperText(token.substr(0, eq)), token.substr(eq + 1)).second) {
            return std::nullopt;
        }
    }
    if (values.size() != 4 || !values.contains("BAUD") || !values.contains("PARITY") ||
        !values.contains("DATA") || !values.contains("STOP")) {
        return std::nullopt;
    }
    const auto baud = DigitsByRules(values["BAUD"]);
    const std::string parity = UpperText(values["PARITY"]);
    const auto dataBits = DigitsByRules(values["DATA"]);
    const auto stopBits = DigitsByRules(values["STOP"]);
    if (!baud || *baud == 0 || parity.size() != 1 ||
        std::string_view("NOEMS").find(parity[0]) == std::string_view::npos || !dataBits || *dataBits < 5 ||
        *dataBits > 8 || !stopBits || (*stopBits != 1 && *stopBits != 2)) {
        return std::nullopt;
    }
    return LineSettings{*baud, parity[0], *dataBits, *stopBits};
}

// The four "key=value" pairs of text in the order, key case and spacing that shape's bits choose.
std::string Reshaped(std::string_view text, uint32_t shape) {
    std::array<std::string, 4> tokens;
    std::size_t from = 0;
    for (std::string& token : tokens) {
        const std::size_t blank = text.find(' ', from);
        token = std::string(text.substr(from, blank - from));
        from = blank == std::string_view::npos ? text.size() : blank + 1;
    }
    std::sort(tokens.begin(), tokens.end());
    for (uint32_t turns = shape % 24; turns > 0; --turns) {
        std::next_permutation(tokens.begin(), tokens.end());
    }
    std::string out;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        out.append((shape >> (5 + 2 * i)) & 3, ' ');
        std::string token = tokens[i];
        if ((shape >> (13 + i)) & 1) {
            const std::size_t eq = token.find('=');
            std::transform(token.begin(), token.begin() + static_cast<std::ptrdiff_t>(eq), token.begin(),
                           Upper);
        }
        out += token;
        out += ' ';
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto parsed = ParseModeText(text);
    const auto byRules = ParseByRules(text);
    FUZZ_CHECK(parsed.has_value() == byRules.has_value());
    if (parsed) {
        FUZZ_CHECK(SameSettings(*parsed, *byRules));
        CheckAccepted(*parsed);
    }

    // A positive rate and a shape from the input's first bytes.
    uint32_t word = 0;
    uint32_t shape = 0;
    for (std::size_t i = 0; i < std::min<std::size_t>(size, 4); ++i) {
        word |= static_cast<uint32_t>(data[i]) << (8 * i);
    }
    for (std::size_t i = 4; i < std::min<std::size_t>(size, 8); ++i) {
        shape |= static_cast<uint32_t>(data[i]) << (8 * (i - 4));
    }
    const int validBaud = std::max(1, static_cast<int>(word & 0x7FFFFFFFu));

    // Every valid choice as BuildModeText writes it; one of them, picked by the shape, also reshaped.
    const std::string_view parities = "NOEMSnoems";
    const std::size_t reshapedChoice = shape % (parities.size() * 4 * 2);
    std::size_t choice = 0;
    for (const char parity : parities) {
        for (int dataBits = 5; dataBits <= 8; ++dataBits) {
            for (int stopBits = 1; stopBits <= 2; ++stopBits, ++choice) {
                const std::string built = BuildModeText(validBaud, parity, dataBits, stopBits);
                const LineSettings expected{validBaud, Upper(parity), dataBits, stopBits};
                const auto back = ParseModeText(built);
                FUZZ_CHECK(back.has_value() && SameSettings(*back, expected));
                if (choice == reshapedChoice) {
                    const auto reshaped = ParseModeText(Reshaped(built, shape >> 8));
                    FUZZ_CHECK(reshaped.has_value() && SameSettings(*reshaped, expected));
                }
            }
        }
    }
    // One step outside the line's choices is refused at any rate.
    FUZZ_CHECK(!ParseModeText(BuildModeText(validBaud, 'X', 8, 1)).has_value());
    FUZZ_CHECK(!ParseModeText(BuildModeText(validBaud, 'N', 4, 1)).has_value());
    FUZZ_CHECK(!ParseModeText(BuildModeText(validBaud, 'N', 9, 1)).has_value());
    FUZZ_CHECK(!ParseModeText(BuildModeText(validBaud, 'N', 8, 0)).has_value());
    FUZZ_CHECK(!ParseModeText(BuildModeText(validBaud, 'N', 8, 3)).has_value());
    FUZZ_CHECK(!ParseModeText(BuildModeText(0, 'N', 8, 1)).has_value());
    return 0;
}
