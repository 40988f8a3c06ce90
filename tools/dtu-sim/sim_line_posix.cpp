// The line settings of the simulator's pseudo-terminal, read with the kernel's termios2: the only form that
// carries a rate outside the B-constants (43000 from the port panel). libc's <termios.h> must stay out of
// this file, its struct termios clashes with the one in <asm/termbits.h>. Asked on the master, Linux
// answers with the slave's settings, i.e. whatever the side that opened the port set last. The pty driver
// keeps the rate and CSTOPB as set but forces CS8 and clears PARENB, so a pty line always reads as 8 data
// bits without parity.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <climits>

#include "tools/dtu-sim/sim_pty.h"

std::optional<LineFraming> ReadLineFraming(int fd) {
    termios2 t{};
    if (ioctl(fd, TCGETS2, &t) != 0 || t.c_ospeed == 0 || t.c_ospeed > INT_MAX) {
        return std::nullopt;
    }
    LineFraming line;
    line.baud = static_cast<int>(t.c_ospeed);
    switch (t.c_cflag & CSIZE) {
        case CS5:
            line.dataBits = 5;
            break;
        case CS6:
            line.dataBits = 6;
            break;
        case CS7:
            line.dataBits = 7;
            break;
        default:
            line.dataBits = 8;
            break;
    }
    line.parity = (t.c_cflag & PARENB) != 0;
    line.stopBits = (t.c_cflag & CSTOPB) != 0 ? 2 : 1;
    return line;
}
