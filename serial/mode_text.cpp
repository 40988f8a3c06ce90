#include "serial/mode_text.h"

#include <charconv>
#include <cstdio>

std::string BuildModeText(int baud, char parity, int dataBits, int stopBits) {
    const int size =
        std::snprintf(nullptr, 0, "baud=%d parity=%c data=%d stop=%d", baud, parity, dataBits, stopBits);
    std::string text(static_cast<std::size_t>(size) + 1, '\0');
    std::snprintf(text.data(), text.size(), "baud=%d parity=%c data=%d stop=%d", baud, parity, dataBits,
                  stopBits);
    text.resize(static_cast<std::size_t>(size));
    return text;
}

namespace {

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Upper(a[i]) != Upper(b[i])) {
            return false;
        }
    }
    return true;
}

std::optional<int> ParseDecimal(std::string_view text) {
    int value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || text.front() == '-' || text.front() == '+') {
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::optional<LineSettings> ParseModeText(std::string_view text) {
    LineSettings settings;
    bool haveBaud = false;
    bool haveParity = false;
    bool haveData = false;
    bool haveStop = false;

    std::size_t pos = 0;
    while (pos < text.size()) {
        if (text[pos] == ' ') {
            ++pos;
            continue;
        }
        std::size_t end = text.find(' ', pos);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        const std::string_view token = text.substr(pos, end - pos);
        pos = end;

        const std::size_t eq = token.find('=');
        if (eq == std::string_view::npos) {
            return std::nullopt;
        }
        const std::string_view key = token.substr(0, eq);
        const std::string_view value = token.substr(eq + 1);

        if (EqualsNoCase(key, "baud")) {
            const auto baud = ParseDecimal(value);
            if (haveBaud || !baud || *baud <= 0) {
                return std::nullopt;
            }
            settings.baud = *baud;
            haveBaud = true;
        } else if (EqualsNoCase(key, "parity")) {
            if (haveParity || value.size() != 1) {
                return std::nullopt;
            }
            const char parity = Upper(value[0]);
            if (parity != 'N' && parity != 'O' && parity != 'E' && parity != 'M' && parity != 'S') {
                return std::nullopt;
            }
            settings.parity = parity;
            haveParity = true;
        } else if (EqualsNoCase(key, "data")) {
            const auto data = ParseDecimal(value);
            if (haveData || !data || *data < 5 || *data > 8) {
                return std::nullopt;
            }
            settings.dataBits = *data;
            haveData = true;
        } else if (EqualsNoCase(key, "stop")) {
            // 1.5 stop bits have no terminal setting, so they are refused like any other bad value.
            const auto stop = ParseDecimal(value);
            if (haveStop || !stop || (*stop != 1 && *stop != 2)) {
                return std::nullopt;
            }
            settings.stopBits = *stop;
            haveStop = true;
        } else {
            return std::nullopt;
        }
    }
    if (!haveBaud || !haveParity || !haveData || !haveStop) {
        return std::nullopt;
    }
    return settings;
}

bool SpeedWithinTolerance(int requested, std::uint32_t actual) {
    if (requested <= 0) {
        return false;
    }
    const long long want = requested;
    const long long got = actual;
    const long long diff = got > want ? got - want : want - got;
    return diff * 100 <= want * 3;
}
