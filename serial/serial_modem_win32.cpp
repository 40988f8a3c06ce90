// DTR and RTS through EscapeCommFunction, the device's lines through GetCommModemStatus.
#include <windows.h>

#include "serial/modem_lines.h"
#include "serial/os_port_win32.h"
#include "serial/serial_os.h"

namespace {

int LastError() {
    return static_cast<int>(GetLastError());
}

}  // namespace

int OsSetModemLines(OsPort* port, unsigned lines, bool on) {
    constexpr struct {
        unsigned line;
        DWORD raise;
        DWORD drop;
    } kFunctions[] = {{kLineDtr, SETDTR, CLRDTR}, {kLineRts, SETRTS, CLRRTS}};
    for (const auto& f : kFunctions) {
        if ((lines & f.line) == 0) {
            continue;
        }
        if (!EscapeCommFunction(port->handle, on ? f.raise : f.drop)) {
            return LastError();
        }
        port->outputs = on ? (port->outputs | f.line) : (port->outputs & ~f.line);
    }
    return 0;
}

int OsGetModemLines(OsPort* port, unsigned& lines) {
    DWORD status = 0;
    if (!GetCommModemStatus(port->handle, &status)) {
        return LastError();
    }
    lines = port->outputs | ((status & MS_CTS_ON) ? kLineCts : 0u) | ((status & MS_DSR_ON) ? kLineDsr : 0u) |
            ((status & MS_RLSD_ON) ? kLineDcd : 0u) | ((status & MS_RING_ON) ? kLineRi : 0u);
    return 0;
}
