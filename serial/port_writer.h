// The engine's outgoing side. The owner's thread stores one request at a time (a later one replaces one not
// yet taken); the worker takes its own copy, purges output a write the line did not take in time left over,
// writes the copy by its deadline (the line's time at the worst rate plus a constant) and then waits until
// the driver has carried it, for as long as the line needs plus a margin. A later request therefore never
// drops output an earlier request handed over. When the port stops, what is left drains within the same
// bound, never longer than kDrainLimit. Failures are returned for the engine to report; nothing here talks to
// the owner.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "serial/line_pacing.h"

struct OsEvent;
struct OsPort;

class CPortWriter {
  public:
    // The longest a stop waits for accepted output to leave before it discards the rest.
    static constexpr std::chrono::milliseconds kDrainLimit{1000};

    enum class Outcome {
        Done,     // written and carried, given up quietly on a line that did not take it, or nothing to do
        Stopped,  // the shutdown event came; what is left stays for the drain
        Failed,   // a call failed with error; the request is lost
        Lost,     // the device went away (error, or 0 for a hang-up without a code)
    };
    struct Result {
        Outcome outcome = Outcome::Done;
        int error = 0;
    };

    // Owner's thread, while no worker runs: drops a request not yet taken and anything left of the last.
    void Reset(std::size_t bufferSize);
    // Owner's thread: copies copyLength bytes (a text with its NUL) and marks writeLength of them pending.
    void Store(const void* bytes, std::size_t copyLength, std::size_t writeLength);

    // Worker: writes the pending request, if any, over a line with the given framing.
    Result WriteRequest(OsPort* port, OsEvent* shutdown, const LineFraming& line);
    // Worker, once stopped: lets what is left and a request not yet taken leave within the bound. True when
    // all of it went; false when the rest must be discarded.
    bool Drain(OsPort* port, const LineFraming& line);

  private:
    using Clock = std::chrono::steady_clock;
    enum class Wait { Carried, TimedOut, Stopped };

    bool TakeRequest(bool append);
    void DropOutgoing();
    Result WriteOutgoing(OsPort* port, OsEvent* shutdown, Clock::time_point deadline, bool duringDrain);
    Wait WaitCarried(OsPort* port, OsEvent* shutdown, const LineFraming& line, Clock::time_point deadline);

    // The pending request, shared with the owner's thread.
    std::mutex m_requestLock;
    std::vector<std::uint8_t> m_writeBuffer;
    std::size_t m_writeLength = 0;
    bool m_writePending = false;

    // The worker's own copy of the request being written.
    std::vector<std::uint8_t> m_outgoing;
    std::size_t m_outgoingSent = 0;
};
