// How long bytes take on a serial line, worked out by hand for each framing.
#include "serial/line_pacing.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>
#include <string>

namespace {

using namespace std::chrono_literals;

TEST(LinePacingTest, BitsPerByteAndRunTimesForEachFraming) {
    struct Case {
        LineFraming line;
        int bits;
        std::size_t count;
        std::chrono::nanoseconds time;  // worked out by hand, rounded up
    };
    const Case cases[] = {
        {{9600, 8, false, 1}, 10, 448, 466'666'667ns},   // 4480 / 9600 s
        {{9600, 8, false, 1}, 10, 1, 1'041'667ns},       // 10 / 9600 s
        {{9600, 8, true, 1}, 11, 96, 110'000'000ns},     // 8E1
        {{9600, 8, false, 2}, 11, 96, 110'000'000ns},    // 8N2
        {{9600, 8, true, 2}, 12, 448, 560'000'000ns},    // 8E2
        {{9600, 7, true, 1}, 10, 448, 466'666'667ns},    // 7E1
        {{300, 5, false, 1}, 7, 1, 23'333'334ns},        // 5N1
        {{43000, 8, false, 1}, 10, 448, 104'186'047ns},  // 4480 / 43000 s
        {{115200, 8, false, 1}, 10, 448, 38'888'889ns},
        {{9600, 8, false, 1}, 10, 0, 0ns},
        {{0, 8, false, 1}, 10, 448, 0ns},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.line.baud) + " " + std::to_string(c.line.dataBits) +
                     (c.line.parity ? "P" : "N") + std::to_string(c.line.stopBits) + " x" +
                     std::to_string(c.count));
        EXPECT_EQ(BitsPerByte(c.line), c.bits);
        EXPECT_EQ(LineTime(c.count, c.line), c.time);
    }
}

}  // namespace
