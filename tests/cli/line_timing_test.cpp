#include "cli/line_timing.h"

#include <gtest/gtest.h>

namespace {

using std::chrono::milliseconds;

TEST(LineTiming, TimeFollowsTheBytesAndTheLineSpeed) {
    const struct {
        LineSettings line;
        std::size_t bytes;
        milliseconds time;
    } cases[] = {
        {{9600, 'N', 8, 1}, 448, milliseconds(467)},  // 4480 bits
        {{9600, 'E', 7, 2}, 448, milliseconds(514)},  // 11 bits a byte: 4928 bits, rounded up
        {{115200, 'N', 8, 1}, 451, milliseconds(40)}, {{300, 'N', 8, 1}, 11, milliseconds(367)},
        {{9600, 'N', 8, 1}, 0, milliseconds(0)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TransferTime(c.line, c.bytes), c.time) << c.line.baud << " " << c.bytes;
    }
    // The read: 11 bytes out, 448 back, the answer time, then the quiet pause that ends the frame.
    EXPECT_EQ(ExchangeDeadline({9600, 'N', 8, 1}, 11, 448, milliseconds(2000)),
              milliseconds(12 + 467 + 2000 + 100));
}

}  // namespace
