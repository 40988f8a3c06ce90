// A simulated system layer behind serial/serial_os.h, linked in place of the real one. Its ports are serial
// lines as a real driver has them: a write lands in an output queue of kFakeQueueSize bytes, which empties
// onto the line one byte per byte time at the rate the port was set to, and a purge of output drops what
// the queue still holds. A pseudo-terminal has no such queue, so what a purge cuts off cannot be seen there.
// Every COMn opens; nothing is ever received.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

inline constexpr std::size_t kFakeQueueSize = 4096;

// What COMn's line has carried so far, in order, across every open.
std::vector<std::uint8_t> FakeLineBytes(int n);
// Bytes writes handed to COMn's driver, and bytes a purge dropped from its queue before the line took them.
std::size_t FakeAcceptedCount(int n);
std::size_t FakeDroppedCount(int n);
