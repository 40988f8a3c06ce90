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
    bool timestamps = false;  // the receive area's time stamps
    std::uint64_t bytes = 0;
    std::string name;
    std::string log;  // raw or text: a capture to a file runs beside the display; empty: none
};
int RunWindow(int argc, char** argv, const WindowRunOptions& options);

// The capture beside a throughput run (capture_bench.cpp): started as the menu starts it, and afterwards
// how many bytes of the fed stream the file lacks or holds wrongly.
class CQuendalDlg;
bool StartBenchCapture(CQuendalDlg& dlg, const std::string& format, const std::string& path);
std::uint64_t CaptureShortfall(const std::string& format, const std::string& path, StreamKind kind,
                               std::uint64_t total);
int RunIdle(int argc, char** argv, const BenchArgs& args);
int RunStartup(const BenchArgs& args);
int RunStartupChild(int argc, char** argv);

// The module dialogs: the network diagnosis against the simulated DTU program ("diagnosis", --sim PATH),
// and an hour's signal survey on a simulated clock ("survey", --seconds S, --lte).
int RunModemBench(int argc, char** argv, const std::string& command, const BenchArgs& args);

// Draws results.csv (the script's medians) as a PNG bar chart.
int RunChart(int argc, char** argv, const BenchArgs& args);
