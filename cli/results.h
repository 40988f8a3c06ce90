// What a run leaves when its ports are done: profiles read (to standard output or a file per port), the
// signal, a dry run's would-be changes, the report rows, and the exit code. Device text is made visible
// before it reaches a terminal.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "cli/operations.h"
#include "cli/run_plan.h"

// Prints and writes what the plan's results hold, and closes with the summary line on err; returns the
// exit code, the largest of the ports' codes, or 1 when a file could not be written.
int PrintResults(const RunPlan& plan, const std::vector<PortResult>& results, std::FILE* out, std::FILE* err);

// The closing line of a run: how many ports ended how, by outcome text ("4 ok, 1 differs, 1 no-answer").
std::string SummaryLine(const std::vector<PortResult>& results);

// The lines a dry run prints for one port: `COM1 apn: "CMNET" -> "cmiot"`, one per field it would change.
std::string DryRunLines(const PortResult& result);

// The 440 record bytes, 16 to a line: "0000: 01 01 ...".
std::string HexDump(const DeviceParams& record);

// quendal-cli ports: COM1-COM30, each with the device it names and whether it is present, held or free.
int ListPorts(std::FILE* out, std::FILE* err);
