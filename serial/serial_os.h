// The operating-system calls of the serial engine, kept behind plain functions so the engine itself holds
// no system headers: serial_os_posix.cpp (termios2, poll, eventfd) or serial_os_win32.cpp (overlapped
// Win32 calls). Every call reports failure as the platform's own error code (errno, or GetLastError's),
// 0 being success; what the engine must tell apart in those codes it asks of the seam. Ports and events
// are objects of the seam, freed by the matching Close call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

struct OsPort;
struct OsEvent;

// Opens the port behind a device path text ("\\.\COM7") for reading and writing, without blocking, as
// this program's alone: a port that another program holds is refused for as long as that program lives,
// and so is anything the platform's port naming refuses. On success port is the open port.
int OsOpenPort(std::string_view devicePath, OsPort*& port);

// With discardOutput, drops output still pending first, so closing never waits for a stalled line. Without
// it the output stays to leave on its own (the engine only does that once the driver reports it sent); a
// pseudo-terminal would otherwise drop bytes the other side has not taken in yet.
void OsClosePort(OsPort* port, bool discardOutput = true);

// A configuration call that failed, named as the engine's error box names it ("SetCommState()").
struct OsCallFailure {
    const char* call;
    int error;
};

// Sets the line from a mode text ("baud=9600 parity=N data=8 stop=1", as BuildModeText makes it) with
// the port's fixed settings: raw bytes, reads and writes that never block the worker, the event mask,
// RTS raised. Stops at the first call that fails and returns it; the port stays open either way.
std::optional<OsCallFailure> OsConfigurePort(OsPort* port, std::string_view modeText, unsigned eventMask);

// Throws away both the input not yet read and the output not yet sent.
int OsPurge(OsPort* port);

// Throws away the output the driver still holds and nothing else. Where it holds none by its own count (a
// pseudo-terminal, whose purge would drop what the other side has not read yet), nothing is touched.
int OsPurgeOutput(OsPort* port);

// Bytes written but not yet sent by the driver (0 where the driver keeps no queue, as a pseudo-terminal).
int OsOutputCount(OsPort* port, std::size_t& count);

// One read or write call that does not block; done is the byte count. A read that finds nothing gives
// OsIsWouldBlock, or, on a device that has hung up, 0 with done 0. A write takes what the driver can
// queue at once (all of it, on Windows, into the port's one write in flight) and otherwise gives
// OsIsWouldBlock until a wait reports room.
int OsRead(OsPort* port, std::span<std::uint8_t> buffer, std::size_t& done);
int OsWrite(OsPort* port, std::span<const std::uint8_t> bytes, std::size_t& done);
// The call the last failed OsRead stands for in the error box: "ReadFile()", or on Windows
// "GetOverlappedResults() in ReadFile()" when the read started but waiting for its end failed.
const char* OsReadCallName(const OsPort* port);

// Raises (on) or drops the output lines named in lines (kLineDtr, kLineRts; modem_lines.h).
int OsSetModemLines(OsPort* port, unsigned lines, bool on);
// The modem lines as they stand: the device's four and the two outputs.
int OsGetModemLines(OsPort* port, unsigned& lines);

// A wake-up event: signalled stays signalled until reset.
int OsCreateEvent(OsEvent*& event);
void OsSignalEvent(OsEvent* event);
void OsResetEvent(OsEvent* event);
void OsCloseEvent(OsEvent* event);

// An event (signalled), or a port: input waiting to be read (wantInput), room for output (wantOutput),
// and a device that went away, which a port reports whatever it was asked. Items with neither an event
// nor a port are left out.
struct OsWaitItem {
    OsEvent* event = nullptr;
    OsPort* port = nullptr;
    bool wantInput = false;
    bool wantOutput = false;
    // Results.
    bool ready = false;   // signalled, or input or output as asked is possible
    bool hangup = false;  // the device is gone or in error
};

// Waits until one item is ready or hung up, or until timeoutMs passes (-1: no limit). Returns 0 with every
// item's results set (all clear after a time-out), or an error; an interrupted wait gives OsIsInterrupted.
int OsWait(std::span<OsWaitItem> items, int timeoutMs);

// What the engine tells apart in the error codes above.
bool OsIsInterrupted(int error);   // the call was interrupted: make it again
bool OsIsWouldBlock(int error);    // nothing to read, or no room to write, yet
bool OsIsLost(int error);          // the device went away (unplugged, hung up)
bool OsIsNoModemLines(int error);  // the port has no modem lines (a pseudo-terminal)
// The code for a device lost without a code of its own (a hang-up seen by a wait).
int OsLostError();
// The system's text for an error code, without a line end.
std::string OsErrorText(int error);

// Why an open failed, as a user is told it.
enum class OsOpenFailure { Missing, Held, NoAccess, Other };
OsOpenFailure OsClassifyOpenError(int error);
