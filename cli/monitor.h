// quendal-cli monitor: one port watched without the window until Ctrl-C or SIGTERM. Received bytes go to
// a log file through the capture writer (raw, or as lines with their time with --timestamps, or as hex
// lines with --hex), or, without a log, to standard output: the device's text with its control characters
// made visible (a device must not drive the terminal), or hex. A stop by signal is the normal end: what
// came is written and the file closed, and the run ends with 0.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "cli/operations.h"
#include "cli/port_target.h"

struct MonitorSettings {
    std::string log;  // empty: standard output
    bool timestamps = false;
    bool hex = false;
    bool append = false;
};

PortResult RunMonitor(const PortTarget& target, const RunSettings& settings, const MonitorSettings& monitor,
                      std::FILE* out, IProgress& progress);

// Device text made safe for a terminal as it streams: line ends kept (CR LF shown as one), every other
// control character and byte that is no UTF-8 escaped as VisibleText does. A character or a CR LF cut
// between two pieces waits for the next piece.
class CScreenText {
  public:
    void Add(std::string_view text, std::string& out);
    // Shows what is still waiting.
    void End(std::string& out);

  private:
    std::string m_waiting;
};
