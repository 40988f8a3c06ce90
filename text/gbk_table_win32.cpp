// The GBK table from code page 936, one pair at a time, once per process (Qt as shipped for Windows here
// has no GBK codec). Code page 936 maps GBK's user-defined areas to the private use area, which glibc's GBK
// leaves unmapped; those pairs are left out here too, so a byte sequence means the same on both systems.
#include <windows.h>

#include "text/gbk_table.h"

namespace {

constexpr UINT kGbk = 936;

bool IsPrivateUse(wchar_t c) {
    return c >= 0xE000 && c <= 0xF8FF;
}

}  // namespace

bool LoadGbkPairs(std::span<char16_t, kGbkPairSlots> codes) {
    CPINFO info{};
    if (!GetCPInfo(kGbk, &info)) {
        return false;
    }
    for (unsigned lead = kGbkLeadFirst; lead <= kGbkLeadLast; ++lead) {
        for (unsigned trail = kGbkTrailFirst; trail <= kGbkTrailLast; ++trail) {
            if (trail == 0x7F) {
                continue;
            }
            const char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
            wchar_t out[2] = {};
            if (MultiByteToWideChar(kGbk, MB_ERR_INVALID_CHARS, in, 2, out, 2) != 1 || IsPrivateUse(out[0])) {
                continue;
            }
            codes[GbkPairSlot(static_cast<uint8_t>(lead), static_cast<uint8_t>(trail))] =
                static_cast<char16_t>(out[0]);
        }
    }
    return true;
}
