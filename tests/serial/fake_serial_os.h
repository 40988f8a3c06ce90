// A simulated system layer behind serial/serial_os.h, linked in place of the real one. Its ports are serial
// lines as a real driver has them: a write lands in an output queue of kFakeQueueSize bytes, which empties
// onto the line one byte per byte time at the rate the port was set to, and a purge of output drops what
// the queue still holds. A pseudo-terminal has no such queue, so what a purge cuts off cannot be seen there.
// Every COMn opens; nothing is ever received. Its modem lines start with DTR and RTS raised and the device's
// four down; a test sets those, or takes the lines away as a pseudo-terminal has none.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

inline constexpr std::size_t kFakeQueueSize = 4096;

// What COMn's line has carried so far, in order, across every open.
std::vector<std::uint8_t> FakeLineBytes(int n);
// Bytes writes handed to COMn's driver, and bytes a purge dropped from its queue before the line took them.
std::size_t FakeAcceptedCount(int n);
std::size_t FakeDroppedCount(int n);

// COMn's device lines (CTS, DSR, DCD, RI as modem_lines.h bits), and whether it has modem lines at all.
void FakeSetDeviceLines(int n, unsigned lines);
void FakeSetHasModemLines(int n, bool has);
// Every state of COMn's DTR and RTS so far (modem_lines.h bits), the first being the state at its first
// open, each with the time it was set.
struct FakeOutputChange {
    unsigned outputs;
    std::chrono::steady_clock::time_point at;
};
std::vector<FakeOutputChange> FakeOutputHistory(int n);
