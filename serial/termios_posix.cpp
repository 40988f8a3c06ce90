// Linux only: termios2 through the kernel's own headers. libc's <termios.h> must stay out of this file, its
// struct termios clashes with the one in <asm/termbits.h>.
#include "serial/termios_posix.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>

static_assert(sizeof(TermiosValue::cc) == NCCS, "TermiosValue must mirror struct termios2");

namespace {

termios2 ToKernel(const TermiosValue& value) {
    termios2 t{};
    t.c_iflag = value.iflag;
    t.c_oflag = value.oflag;
    t.c_cflag = value.cflag;
    t.c_lflag = value.lflag;
    t.c_line = value.line;
    std::copy(value.cc.begin(), value.cc.end(), t.c_cc);
    t.c_ispeed = value.ispeed;
    t.c_ospeed = value.ospeed;
    return t;
}

TermiosValue FromKernel(const termios2& t) {
    TermiosValue value;
    value.iflag = t.c_iflag;
    value.oflag = t.c_oflag;
    value.cflag = t.c_cflag;
    value.lflag = t.c_lflag;
    value.line = t.c_line;
    std::copy(t.c_cc, t.c_cc + NCCS, value.cc.begin());
    value.ispeed = t.c_ispeed;
    value.ospeed = t.c_ospeed;
    return value;
}

}  // namespace

void ApplyLineSettings(const LineSettings& settings, TermiosValue& value) {
    value.iflag &= ~static_cast<std::uint32_t>(IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP | INLCR |
                                               IGNCR | ICRNL | IUCLC | IXON | IXANY | IXOFF | IMAXBEL);
    value.oflag &= ~static_cast<std::uint32_t>(OPOST);
    value.lflag &= ~static_cast<std::uint32_t>(ISIG | ICANON | ECHO | ECHOE | ECHOK | ECHONL | ECHOCTL |
                                               ECHOPRT | ECHOKE | IEXTEN | NOFLSH | TOSTOP);

    value.cflag &=
        ~static_cast<std::uint32_t>(CBAUD | CIBAUD | CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS);
    value.cflag |= static_cast<std::uint32_t>(CLOCAL | CREAD | BOTHER | (BOTHER << IBSHIFT));
    switch (settings.dataBits) {
        case 5:
            value.cflag |= CS5;
            break;
        case 6:
            value.cflag |= CS6;
            break;
        case 7:
            value.cflag |= CS7;
            break;
        default:
            value.cflag |= CS8;
            break;
    }
    if (settings.stopBits == 2) {
        value.cflag |= CSTOPB;
    }
    switch (settings.parity) {
        case 'O':
            value.cflag |= PARENB | PARODD;
            break;
        case 'E':
            value.cflag |= PARENB;
            break;
        case 'M':
            value.cflag |= static_cast<std::uint32_t>(PARENB | PARODD | CMSPAR);
            break;
        case 'S':
            value.cflag |= static_cast<std::uint32_t>(PARENB | CMSPAR);
            break;
        default:
            break;
    }

    // Reads never block (the port is non-blocking); VMIN 1 makes poll report input as soon as a byte is in.
    value.cc[VMIN] = 1;
    value.cc[VTIME] = 0;
    value.ispeed = static_cast<std::uint32_t>(settings.baud);
    value.ospeed = static_cast<std::uint32_t>(settings.baud);
}

int OsGetSettings(int fd, TermiosValue& value) {
    termios2 t{};
    if (ioctl(fd, TCGETS2, &t) != 0) {
        return errno;
    }
    value = FromKernel(t);
    return 0;
}

int OsSetSettings(int fd, const TermiosValue& value, TermiosValue& readBack) {
    const termios2 t = ToKernel(value);
    if (ioctl(fd, TCSETS2, &t) != 0) {
        return errno;
    }
    return OsGetSettings(fd, readBack);
}
