// Linux: what the engine tells apart in errno values, and their texts. Kept apart from the calls that
// produce them (serial_os_posix.cpp) so each file holds one concern.
#include <cerrno>
#include <string>
#include <system_error>

#include "serial/serial_os.h"

bool OsIsInterrupted(int error) {
    return error == EINTR;
}

bool OsIsWouldBlock(int error) {
    return error == EAGAIN || error == EWOULDBLOCK;
}

bool OsIsLost(int error) {
    // What reads and writes on a tty give after a hang-up or an unplug.
    return error == EIO || error == ENXIO || error == ENODEV;
}

bool OsIsNoModemLines(int error) {
    // A pseudo-terminal's driver has no modem-line calls.
    return error == ENOTTY || error == EINVAL;
}

int OsLostError() {
    return EIO;
}

std::string OsErrorText(int error) {
    return std::generic_category().message(error);
}

OsOpenFailure OsClassifyOpenError(int error) {
    switch (error) {
        case ENOENT:
        case ENXIO:
        case ENODEV:
            return OsOpenFailure::Missing;
        case EBUSY:
        case EWOULDBLOCK:
            return OsOpenFailure::Held;
        case EACCES:
        case EPERM:
            return OsOpenFailure::NoAccess;
        default:
            return OsOpenFailure::Other;
    }
}
