// What a run leaves when its ports are done: profiles read (to standard output or a file per port), the
// signal, a dry run's would-be changes, the report rows, and the exit code. Device text is made visible
// before it reaches a terminal.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "cli/csv.h"
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

// diagnose: the table of one port's diagnosis (item, value, meaning or grade, the module's answer) and its
// verdict line, device text made visible.
std::string DiagnosisTable(const PortResult& result);
// diagnose --json: one line, one object for the port, whatever its outcome.
std::string DiagnosisJson(const PortResult& result);

// signal --watch: "2024-05-01T10:02:03+08:00 COM1 CSQ 22 -69 dBm good", RSRP and RSRQ added where known.
std::string SurveyLine(const PortTarget& target, const SignalSample& sample);
CsvRow SurveyHeader();
CsvRow SurveyRow(const PortTarget& target, const SignalSample& sample);
// Prints each sample to out as it comes, flushed, and appends it to the plan's log.
SampleSink SurveySink(const RunPlan& plan, std::FILE* out);

// quendal-cli ports: COM1-COM30, each with the device it names and whether it is present, held or free.
int ListPorts(std::FILE* out, std::FILE* err);
