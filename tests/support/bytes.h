// Byte-vector helpers shared by the tests that build frames and answers by hand.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

inline Bytes ToBytes(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

inline std::string ToText(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

// The record checksum computed the tests' own way, so a shared bug in the record code cannot pass both sides.
inline std::uint8_t SumOf439(const std::uint8_t* record) {
    unsigned sum = 0;
    for (int i = 0; i < 439; ++i) {
        sum += record[i];
    }
    return static_cast<std::uint8_t>(sum % 256);
}
