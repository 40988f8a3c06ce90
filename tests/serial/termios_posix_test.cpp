// Terminal settings as pure functions: a pseudo-terminal forces 8 data bits and no parity, so these
// combinations can only be checked here.
#include "serial/termios_posix.h"

#include <asm/termbits.h>
#include <gtest/gtest.h>

#include <utility>

namespace {

// What a fresh terminal looks like: line editing, echo, signals, CR/LF mapping, flow control, 38400 baud,
// plus line bits that must all be replaced.
TermiosValue CookedTerminal() {
    TermiosValue v;
    v.iflag = BRKINT | ICRNL | IXON | IXOFF | INLCR | IGNCR | ISTRIP | PARMRK | INPCK | IMAXBEL | IUTF8;
    v.oflag = OPOST | ONLCR;
    v.lflag = ISIG | ICANON | ECHO | ECHOE | ECHOK | ECHOCTL | ECHOKE | IEXTEN;
    v.cflag = B38400 | (B38400 << IBSHIFT) | CS6 | PARENB | PARODD | CMSPAR | CSTOPB | HUPCL | CRTSCTS;
    v.cc[VMIN] = 0;
    v.cc[VTIME] = 10;
    v.cc[VINTR] = 3;
    v.ispeed = 38400;
    v.ospeed = 38400;
    return v;
}

TEST(TermiosTest, SettingsEditTheTerminalForEveryCombination) {
    // Expected bits written out per choice, independently of the code under test.
    const std::pair<int, std::uint32_t> sizes[] = {{5, CS5}, {6, CS6}, {7, CS7}, {8, CS8}};
    const std::pair<char, std::uint32_t> parities[] = {{'N', 0},
                                                       {'O', PARENB | PARODD},
                                                       {'E', PARENB},
                                                       {'M', PARENB | PARODD | CMSPAR},
                                                       {'S', PARENB | CMSPAR}};
    const std::pair<int, std::uint32_t> stops[] = {{1, 0}, {2, CSTOPB}};

    for (const TermiosValue& start : {CookedTerminal(), TermiosValue{}}) {
        for (const auto& [data, sizeBits] : sizes) {
            for (const auto& [parity, parityBits] : parities) {
                for (const auto& [stop, stopBits] : stops) {
                    SCOPED_TRACE(BuildModeText(43000, parity, data, stop));
                    TermiosValue v = start;
                    ApplyLineSettings({43000, parity, data, stop}, v);

                    EXPECT_EQ(v.cflag & CSIZE, sizeBits);
                    EXPECT_EQ(v.cflag & (PARENB | PARODD | CMSPAR), parityBits);
                    EXPECT_EQ(v.cflag & CSTOPB, stopBits);
                    EXPECT_EQ(v.cflag & CBAUD, static_cast<std::uint32_t>(BOTHER));
                    EXPECT_EQ(v.cflag & CIBAUD, static_cast<std::uint32_t>(BOTHER << IBSHIFT));
                    EXPECT_EQ(v.ospeed, 43000u);
                    EXPECT_EQ(v.ispeed, 43000u);
                    EXPECT_EQ(v.cflag & (CLOCAL | CREAD), static_cast<std::uint32_t>(CLOCAL | CREAD));
                    EXPECT_EQ(v.cflag & CRTSCTS, 0u);
                    // Bits the line settings do not concern stay as they were.
                    EXPECT_EQ(v.cflag & HUPCL, start.cflag & HUPCL);
                    EXPECT_EQ(v.iflag & IUTF8, start.iflag & IUTF8);
                    EXPECT_EQ(v.cc[VINTR], start.cc[VINTR]);

                    EXPECT_EQ(
                        v.iflag & (BRKINT | ICRNL | IXON | IXOFF | INLCR | IGNCR | ISTRIP | PARMRK | INPCK),
                        0u);
                    EXPECT_EQ(v.oflag & OPOST, 0u);
                    EXPECT_EQ(v.lflag & (ISIG | ICANON | ECHO | ECHONL | IEXTEN), 0u);
                    EXPECT_EQ(v.cc[VMIN], 1);
                    EXPECT_EQ(v.cc[VTIME], 0);
                }
            }
        }
    }
}

}  // namespace
