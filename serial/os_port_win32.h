// What the Windows seam's files share of a port and an event: the handle and the overlapped calls in flight.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

struct OsPort {
    HANDLE handle = INVALID_HANDLE_VALUE;
    // The comm-event wait stays outstanding across waits until it completes.
    OVERLAPPED waitOverlapped{};
    DWORD waitEvents = 0;
    bool waitPending = false;
    int endedWaits = 0;
    bool pollInput = false;
    OVERLAPPED readOverlapped{};
    bool readWaitFailed = false;
    // The one write in flight, from a copy of its own, so the caller's buffer may change meanwhile; a
    // failure of it is told by the next write.
    OVERLAPPED writeOverlapped{};
    std::vector<std::uint8_t> writeBytes;
    bool writePending = false;
    DWORD writeError = 0;
    // DTR and RTS as last set: the system reports only the device's lines back.
    unsigned outputs = 0;
};

struct OsEvent {
    HANDLE handle = nullptr;
};
