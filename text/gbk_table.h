// The system's side of the GBK table, one file per system chosen by the build: gbk_table_posix.cpp asks
// iconv, gbk_table_win32.cpp code page 936. Nothing else in the program calls a system converter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

inline constexpr uint8_t kGbkLeadFirst = 0x81;
inline constexpr uint8_t kGbkLeadLast = 0xFE;
inline constexpr uint8_t kGbkTrailFirst = 0x40;
inline constexpr uint8_t kGbkTrailLast = 0xFE;
inline constexpr std::size_t kGbkTrailSpan = kGbkTrailLast - kGbkTrailFirst + 1;
inline constexpr std::size_t kGbkPairSlots = (kGbkLeadLast - kGbkLeadFirst + 1) * kGbkTrailSpan;

inline std::size_t GbkPairSlot(uint8_t lead, uint8_t trail) {
    return static_cast<std::size_t>(lead - kGbkLeadFirst) * kGbkTrailSpan +
           static_cast<std::size_t>(trail - kGbkTrailFirst);
}

// Fills codes[GbkPairSlot(lead, trail)] with the character of every pair the system knows (all in the
// Basic Multilingual Plane) and leaves the others 0. False when the system has no GBK converter.
bool LoadGbkPairs(std::span<char16_t, kGbkPairSlots> codes);
