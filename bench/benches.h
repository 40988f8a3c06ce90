// The subcommands of quendal-bench. Each runs one measurement in this process and prints one CSV row
// (bench_support.h); the ./bench script runs them in fresh processes, takes medians and draws the chart.
#pragma once

#include <cstdint>
#include <string>

#include "bench/bench_support.h"

// Baselines without the window: `cat` draining a pty, and the serial engine handing runs to a bare owner.
int RunCat(const BenchArgs& args);
int RunEngine(const BenchArgs& args);

// Through the whole window (Qt, on a real X server or offscreen): receive throughput and stalls, memory after
// a long run, idle CPU with the port open, and the time from process start to the first paint.
struct WindowRunOptions {
    std::string mode = "text";   // text, hex, or stopped (text with the display stopped)
    std::string lines = "text";  // the lines of text mode (TextStreamNamed)
    bool autoClear = true;
    std::uint64_t bytes = 0;
    std::string name;
};
int RunWindow(int argc, char** argv, const WindowRunOptions& options);
int RunIdle(int argc, char** argv, const BenchArgs& args);
int RunStartup(const BenchArgs& args);
int RunStartupChild(int argc, char** argv);

// Draws results.csv (the script's medians) as a PNG bar chart.
int RunChart(int argc, char** argv, const BenchArgs& args);
