// Many ports at once: one thread per port, each with its own session, so a slow, silent or missing device
// costs only its own port. Progress is one line per port: on a terminal the lines are redrawn in place,
// elsewhere (a log, a line controller reading stderr) every step is a line of its own, prefixed by the port.
#pragma once

#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "cli/operations.h"
#include "cli/port_target.h"

class CProgressLines final : public IProgress {
  public:
    CProgressLines(const std::vector<PortTarget>& targets, std::FILE* out, bool redraw);

    void Step(const PortTarget& target, const std::string& text) override;
    // Once the first Ctrl-C or SIGTERM came.
    bool Stopping() const override;
    void Done(const PortResult& result);
    // On a terminal the block's lines may have been cut to its width: failures are told again in full.
    void Close(const std::vector<PortResult>& results);

  private:
    void Show(const PortTarget& target, const std::string& text);

    std::mutex m_lock;
    std::FILE* m_out;
    bool m_redraw;
    std::vector<std::string> m_labels;
    std::vector<std::string> m_lines;
    std::size_t m_width = 0;
};

// Runs operation for every target, each on a thread of its own, and returns the results in the order of
// targets once all are done.
std::vector<PortResult> RunOnEveryPort(const std::vector<PortTarget>& targets,
                                       const std::function<PortResult(const PortTarget&)>& operation,
                                       CProgressLines& progress);

// What the end of a run says about one port: "ok: written and verified (DTU0001, signal 22)".
std::string ResultLine(const PortResult& result);
