// The operating-system calls of the serial engine, kept behind plain functions so the engine itself holds
// no system headers. Every call reports failure as an errno value (0 is success); descriptors are plain
// ints that the caller closes with the matching Close call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "serial/mode_text.h"

// Opens the file behind a device path text ("\\.\COM7") for reading and writing, non-blocking, as this
// program's alone: a port that another program holds is refused, and so is anything ResolvePort refuses
// or that is not a terminal once open. On success fd is the open port.
int OsOpenPort(std::string_view devicePath, int& fd);

// With discardOutput, drops output still pending first, so closing never waits for a stalled line. Without
// it the output stays to leave on its own (the engine only does that once the driver reports it sent); a
// pseudo-terminal would otherwise drop bytes the other side has not taken in yet.
void OsClosePort(int fd, bool discardOutput = true);

int OsGetSettings(int fd, TermiosValue& value);

// Applies value in one call and reads the result back into readBack.
int OsSetSettings(int fd, const TermiosValue& value, TermiosValue& readBack);

// Raises RTS. A port without modem lines (a pseudo-terminal) is not a failure.
int OsRaiseRts(int fd);

// Throws away both the input not yet read and the output not yet sent.
int OsPurge(int fd);

// Throws away the output not yet sent and nothing else.
int OsPurgeOutput(int fd);

// Bytes written but not yet sent by the driver (0 where the driver keeps no queue, as a pseudo-terminal).
int OsOutputCount(int fd, std::size_t& count);

// One read or write call on a non-blocking descriptor; done is the byte count (0 with result 0 on a read
// means end of file, as after a hang-up).
int OsRead(int fd, std::span<std::uint8_t> buffer, std::size_t& done);
int OsWrite(int fd, std::span<const std::uint8_t> bytes, std::size_t& done);

// A wake-up event: signalled stays signalled until reset.
int OsCreateEvent(int& fd);
void OsSignalEvent(int fd);
void OsResetEvent(int fd);
void OsCloseEvent(int fd);

struct OsWaitItem {
    int fd = -1;
    bool wantInput = false;
    bool wantOutput = false;
    // Results.
    bool ready = false;   // input or output as asked is possible
    bool hangup = false;  // the device is gone or in error
};

// Waits until one item is ready or hung up, or until timeoutMs passes (-1: no limit). Returns 0 with the
// items' results set (all clear after a time-out), or errno; an interrupted wait returns EINTR.
int OsWait(std::span<OsWaitItem> items, int timeoutMs);
