// Windows seam of the serial engine: "\\.\COMn" opened for overlapped input and output, the line set by
// BuildCommDCB and SetCommState from the mode text, and every wait one WaitForMultipleObjects over events,
// a port being waited on through its outstanding WaitCommEvent (input) or its write in flight (output).
// Windows' own sharing rule keeps the port this program's alone: a second open fails with access denied.
#include <windows.h>

#include <algorithm>
#include <array>
#include <memory>
#include <utility>
#include <vector>

#include "serial/mode_text.h"
#include "serial/modem_lines.h"
#include "serial/port_names.h"
#include "serial/serial_os.h"

#include "serial/os_port_win32.h"

namespace {

// Reads return at once with what the queue holds; a write gives up after 1000 ms per byte
// plus 1000 ms (the engine's own deadline only covers handing the bytes over).
constexpr COMMTIMEOUTS kTimeouts = {MAXDWORD, 0, 0, 1000, 1000};

// A comm-event wait that completes at once with nothing queued (an event left over from before the last
// read) is started again this often before the queue is just looked at again shortly.
constexpr int kStaleWaitRestarts = 3;

// A driver whose comm-event wait cannot wait ends every one at once without an event (Wine's, on a
// pseudo-terminal, which has no modem lines to read); after this many such ends in a row its input
// queue is looked at every kInputPollMs instead, so an idle port does not keep a core busy.
constexpr int kEndedWaitsBeforePolling = 3;
constexpr DWORD kInputPollMs = 5;

int LastError() {
    return static_cast<int>(GetLastError());
}

HANDLE NewEvent() {
    return CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

// Waits for an overlapped call that may have been aborted; its outcome no longer matters.
void Reap(OsPort& port, OVERLAPPED& overlapped, bool& pending) {
    if (pending) {
        DWORD ignored = 0;
        GetOverlappedResult(port.handle, &overlapped, &ignored, TRUE);
        pending = false;
    }
}

// The write in flight, if it has completed: its failure is kept for the next write.
void CollectWrite(OsPort& port) {
    if (!port.writePending || !HasOverlappedIoCompleted(&port.writeOverlapped)) {
        return;
    }
    DWORD written = 0;
    if (!GetOverlappedResult(port.handle, &port.writeOverlapped, &written, FALSE)) {
        const DWORD error = GetLastError();
        if (error != ERROR_OPERATION_ABORTED) {
            port.writeError = error;
        }
    }
    port.writePending = false;
}

bool WriteDone(OsPort& port) {
    CollectWrite(port);
    return !port.writePending;
}

unsigned OutputsOf(const DCB& dcb) {
    return (dcb.fDtrControl != DTR_CONTROL_DISABLE ? kLineDtr : 0u) |
           (dcb.fRtsControl != RTS_CONTROL_DISABLE ? kLineRts : 0u);
}

int InputQueue(OsPort& port, DWORD& queued) {
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(port.handle, &errors, &status)) {
        return LastError();
    }
    queued = status.cbInQue;
    return 0;
}

enum class Input { Ready, Lost, Waiting, Polling, Failed };

// Input already queued, a lost device, a comm-event wait outstanding for the caller to wait on, or a port
// whose queue the caller is to look at again shortly. The wait is started before the queue is looked at,
// so a byte arriving in between completes it.
Input WatchInput(OsPort& port, int& error) {
    for (int restart = 0;; ++restart) {
        if (!port.pollInput && !port.waitPending) {
            port.waitEvents = 0;
            if (!WaitCommEvent(port.handle, &port.waitEvents, &port.waitOverlapped)) {
                error = LastError();
                if (error == ERROR_IO_PENDING) {
                    port.waitPending = true;
                } else if (OsIsLost(error)) {
                    return Input::Lost;
                } else {
                    return Input::Failed;
                }
            }
        }
        DWORD queued = 0;
        if ((error = InputQueue(port, queued)) != 0) {
            return OsIsLost(error) ? Input::Lost : Input::Failed;
        }
        if (queued > 0) {
            return Input::Ready;
        }
        if (port.waitPending) {
            return Input::Waiting;
        }
        if (port.pollInput || restart == kStaleWaitRestarts) {
            return Input::Polling;
        }
    }
}

// After a wake-up: the comm-event wait, if it has completed, is collected so the next watch starts another,
// and the queue is looked at.
Input CheckInput(OsPort& port, int& error) {
    if (port.waitPending) {
        if (!HasOverlappedIoCompleted(&port.waitOverlapped)) {
            return Input::Waiting;
        }
        DWORD ignored = 0;
        port.waitPending = false;
        if (GetOverlappedResult(port.handle, &port.waitOverlapped, &ignored, FALSE)) {
            port.endedWaits = 0;
        } else {
            error = LastError();
            if (OsIsLost(error)) {
                return Input::Lost;
            }
            if (error != ERROR_OPERATION_ABORTED) {
                return Input::Failed;
            }
            // Nothing here ends the wait while it is watched: the driver did, without an event.
            if (++port.endedWaits == kEndedWaitsBeforePolling) {
                port.pollInput = true;
            }
        }
    }
    DWORD queued = 0;
    if ((error = InputQueue(port, queued)) != 0) {
        return OsIsLost(error) ? Input::Lost : Input::Failed;
    }
    return queued > 0 ? Input::Ready : Input::Waiting;
}

}  // namespace

int OsOpenPort(std::string_view devicePath, OsPort*& port) {
    const auto n = PortNumberFromDevicePath(devicePath);
    if (!n || *n < 1) {
        return ERROR_FILE_NOT_FOUND;
    }
    const std::string path = DevicePathText(*n);
    const HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return LastError();
    }
    auto opened = std::make_unique<OsPort>();
    opened->handle = handle;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (GetCommState(handle, &dcb)) {
        opened->outputs = OutputsOf(dcb);
    }
    for (OVERLAPPED* overlapped :
         {&opened->waitOverlapped, &opened->readOverlapped, &opened->writeOverlapped}) {
        overlapped->hEvent = NewEvent();
        if (!overlapped->hEvent) {
            const int error = LastError();
            OsClosePort(opened.release());
            return error;
        }
    }
    port = opened.release();
    return 0;
}

void OsClosePort(OsPort* port, bool discardOutput) {
    if (port->handle != INVALID_HANDLE_VALUE) {
        if (discardOutput) {
            PurgeComm(port->handle, PURGE_TXABORT | PURGE_TXCLEAR);
        }
        // Every overlapped call ends before its record goes: a new mask ends the comm-event wait.
        SetCommMask(port->handle, 0);
        CancelIoEx(port->handle, nullptr);
        Reap(*port, port->waitOverlapped, port->waitPending);
        Reap(*port, port->writeOverlapped, port->writePending);
        CloseHandle(port->handle);
    }
    for (OVERLAPPED* overlapped : {&port->waitOverlapped, &port->readOverlapped, &port->writeOverlapped}) {
        if (overlapped->hEvent) {
            CloseHandle(overlapped->hEvent);
        }
    }
    delete port;
}

std::optional<OsCallFailure> OsConfigurePort(OsPort* port, std::string_view modeText, unsigned eventMask) {
    const HANDLE handle = port->handle;
    COMMTIMEOUTS timeouts = kTimeouts;
    if (!SetCommTimeouts(handle, &timeouts)) {
        return OsCallFailure{"SetCommTimeouts()", LastError()};
    }
    if (!SetCommMask(handle, eventMask)) {
        return OsCallFailure{"SetCommMask()", LastError()};
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handle, &dcb)) {
        return OsCallFailure{"GetCommState()", LastError()};
    }
    dcb.EvtChar = 'q';
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    // Raw bytes, whatever the last program left: zero bytes kept (the record is full of them), nothing
    // replaced on a parity error, reads not stopped by a line error. BuildCommDCB turns flow control off.
    dcb.fBinary = TRUE;
    dcb.fNull = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fAbortOnError = FALSE;
    dcb.fDsrSensitivity = FALSE;
    const std::string mode(modeText);
    if (!BuildCommDCBA(mode.c_str(), &dcb)) {
        return OsCallFailure{"BuildCommDCB()", LastError()};
    }
    if (!SetCommState(handle, &dcb)) {
        return OsCallFailure{"SetCommState()", LastError()};
    }
    port->outputs = OutputsOf(dcb);
    // A driver may take a rate it cannot make without saying so; what it reports back must match.
    DCB readBack{};
    readBack.DCBlength = sizeof readBack;
    if (GetCommState(handle, &readBack) &&
        !SpeedWithinTolerance(static_cast<int>(dcb.BaudRate), readBack.BaudRate)) {
        return OsCallFailure{"SetCommState()", ERROR_INVALID_PARAMETER};
    }
    return std::nullopt;
}

int OsPurge(OsPort* port) {
    const bool purged =
        PurgeComm(port->handle, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR) != 0;
    const int error = purged ? 0 : LastError();
    Reap(*port, port->writeOverlapped, port->writePending);
    port->writeError = 0;
    return error;
}

int OsPurgeOutput(OsPort* port) {
    // Where the driver holds nothing (Wine's, on a pseudo-terminal, counts nothing), its purge could only
    // drop what the other side has not read yet.
    std::size_t queued = 0;
    int error = 0;
    if (OsOutputCount(port, queued) != 0 || queued > 0) {
        error = PurgeComm(port->handle, PURGE_TXABORT | PURGE_TXCLEAR) != 0 ? 0 : LastError();
        Reap(*port, port->writeOverlapped, port->writePending);
    }
    port->writeError = 0;
    return error;
}

int OsOutputCount(OsPort* port, std::size_t& count) {
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(port->handle, &errors, &status)) {
        return LastError();
    }
    // The driver's count takes in pending writes where it keeps one; where it does not (Wine's pty), the
    // write still in flight is what is left.
    count = status.cbOutQue;
    if (!WriteDone(*port)) {
        count = std::max(count, port->writeBytes.size());
    }
    return 0;
}

int OsRead(OsPort* port, std::span<std::uint8_t> buffer, std::size_t& done) {
    done = 0;
    port->readWaitFailed = false;
    DWORD queued = 0;
    if (const int error = InputQueue(*port, queued); error != 0) {
        return error;
    }
    // Nothing queued after a wake-up: reported as an empty read, which the engine takes for a spurious
    // one (Windows has no end of file on a port).
    if (queued == 0 || buffer.empty()) {
        return 0;
    }
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(queued, buffer.size()));
    DWORD got = 0;
    if (!ReadFile(port->handle, buffer.data(), want, nullptr, &port->readOverlapped)) {
        const DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING) {
            return static_cast<int>(error);
        }
    }
    if (!GetOverlappedResult(port->handle, &port->readOverlapped, &got, TRUE)) {
        port->readWaitFailed = true;
        return LastError();
    }
    done = got;
    return 0;
}

const char* OsReadCallName(const OsPort* port) {
    return port->readWaitFailed ? "GetOverlappedResults() in ReadFile()" : "ReadFile()";
}

int OsWrite(OsPort* port, std::span<const std::uint8_t> bytes, std::size_t& done) {
    done = 0;
    if (!WriteDone(*port)) {
        return ERROR_IO_PENDING;
    }
    if (port->writeError != 0) {
        return static_cast<int>(std::exchange(port->writeError, 0));
    }
    if (bytes.empty()) {
        return 0;
    }
    const DWORD size = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), MAXDWORD));
    port->writeBytes.assign(bytes.begin(), bytes.begin() + size);
    if (!WriteFile(port->handle, port->writeBytes.data(), size, nullptr, &port->writeOverlapped)) {
        const DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING) {
            return static_cast<int>(error);
        }
    }
    port->writePending = true;
    done = size;
    return 0;
}

int OsCreateEvent(OsEvent*& event) {
    const HANDLE handle = NewEvent();
    if (!handle) {
        return LastError();
    }
    event = new OsEvent{handle};
    return 0;
}

void OsSignalEvent(OsEvent* event) {
    SetEvent(event->handle);
}

void OsResetEvent(OsEvent* event) {
    ResetEvent(event->handle);
}

void OsCloseEvent(OsEvent* event) {
    CloseHandle(event->handle);
    delete event;
}

int OsWait(std::span<OsWaitItem> items, int timeoutMs) {
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        std::array<HANDLE, MAXIMUM_WAIT_OBJECTS> handles{};
        DWORD count = 0;
        bool now = false;
        bool poll = false;
        for (OsWaitItem& item : items) {
            item.ready = false;
            item.hangup = false;
            if (count + 2 > handles.size()) {
                return ERROR_INVALID_PARAMETER;
            }
            if (item.event) {
                handles[count++] = item.event->handle;
                continue;
            }
            if (!item.port) {
                continue;
            }
            if (item.wantInput) {
                int error = 0;
                switch (WatchInput(*item.port, error)) {
                    case Input::Ready:
                        item.ready = now = true;
                        break;
                    case Input::Lost:
                        item.hangup = now = true;
                        break;
                    case Input::Waiting:
                        handles[count++] = item.port->waitOverlapped.hEvent;
                        break;
                    case Input::Polling:
                        poll = true;
                        break;
                    case Input::Failed:
                        return error;
                }
            }
            if (item.wantOutput) {
                if (WriteDone(*item.port)) {
                    item.ready = now = true;
                } else {
                    handles[count++] = item.port->writeOverlapped.hEvent;
                }
            }
        }

        DWORD wait = 0;
        if (!now) {
            if (timeoutMs < 0) {
                wait = INFINITE;
            } else {
                const ULONGLONG elapsed = GetTickCount64() - start;
                const auto limit = static_cast<ULONGLONG>(timeoutMs);
                wait = elapsed >= limit ? 0 : static_cast<DWORD>(limit - elapsed);
            }
            if (poll) {
                wait = std::min(wait, kInputPollMs);
            }
        }
        if (count == 0) {
            Sleep(wait);
        } else if (WaitForMultipleObjects(count, handles.data(), FALSE, wait) == WAIT_FAILED) {
            return LastError();
        }

        // Every item as it stands now, as poll would report them all.
        bool any = now;
        for (OsWaitItem& item : items) {
            if (item.event) {
                item.ready = WaitForSingleObject(item.event->handle, 0) == WAIT_OBJECT_0;
            } else if (item.port) {
                if (item.wantInput && !item.ready && !item.hangup) {
                    int error = 0;
                    switch (CheckInput(*item.port, error)) {
                        case Input::Ready:
                            item.ready = true;
                            break;
                        case Input::Lost:
                            item.hangup = true;
                            break;
                        case Input::Waiting:
                        case Input::Polling:
                            break;
                        case Input::Failed:
                            return error;
                    }
                }
                if (item.wantOutput && !item.ready) {
                    item.ready = WriteDone(*item.port);
                }
            }
            any = any || item.ready || item.hangup;
        }
        if (any) {
            return 0;
        }
        if (timeoutMs >= 0 && GetTickCount64() - start >= static_cast<ULONGLONG>(timeoutMs)) {
            return 0;
        }
        // A comm event with nothing queued behind it: wait again.
    }
}
