// The GBK table from glibc's iconv, one pair at a time, once per process.
#include <iconv.h>

#include "text/gbk_table.h"

bool LoadGbkPairs(std::span<char16_t, kGbkPairSlots> codes) {
    iconv_t cd = iconv_open("UTF-16LE", "GBK");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return false;
    }
    for (unsigned lead = kGbkLeadFirst; lead <= kGbkLeadLast; ++lead) {
        for (unsigned trail = kGbkTrailFirst; trail <= kGbkTrailLast; ++trail) {
            if (trail == 0x7F) {
                continue;
            }
            char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
            unsigned char out[4] = {};
            char* inPtr = in;
            auto* outPtr = reinterpret_cast<char*>(out);
            std::size_t inLeft = sizeof in;
            std::size_t outLeft = sizeof out;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            const std::size_t done = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
            if (done == static_cast<std::size_t>(-1) || inLeft != 0 || outLeft != 2) {
                continue;
            }
            codes[GbkPairSlot(static_cast<uint8_t>(lead), static_cast<uint8_t>(trail))] =
                static_cast<char16_t>(out[0] | (out[1] << 8));
        }
    }
    iconv_close(cd);
    return true;
}
