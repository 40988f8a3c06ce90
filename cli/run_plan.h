// What a run of the command line will do, decided before any port is opened: the ports (each device
// once), the line settings, the profile each port gets and the files the run will write. BuildRunPlan
// reads the profile and units files and looks at the output paths, but opens no port and writes nothing.
// Every refusal that ends the program with 2 is a PlanError from here, but for CLI11's own (an option
// that is none, a number out of its range), which end ParseArgs even sooner; either way a bad run sends
// nothing to any device. main() then runs the plan on every port (RunOnPort, batch.h) and prints the
// results (results.h).
#pragma once

#include <chrono>
#include <map>
#include <string>
#include <variant>
#include <vector>

#include "cli/arguments.h"
#include "cli/monitor.h"
#include "cli/operations.h"
#include "cli/port_target.h"
#include "protocol/profile.h"

struct RunPlan {
    Command command = Command::Read;
    RunSettings settings;
    std::vector<PortTarget> targets;          // in the order given, each device once
    std::map<std::string, Profile> profiles;  // write and verify: what each port gets, by label
    std::string output;                       // read's -o as given: empty or "-" for standard output
    bool raw = false;
    bool dryRun = false;
    std::string report;  // empty: none
    bool json = false;
    std::chrono::seconds watch{0};  // signal: 0 for one reading
    int count = 0;
    std::string log;  // signal --watch: the survey's CSV file; empty: none
    MonitorSettings monitor;

    // read -o FILE: a profile file per port.
    bool ToFiles() const { return command == Command::Read && !output.empty() && output != "-"; }
    // The -o name with {port} replaced by the port's label ('/' as '_').
    std::string OutputFor(const PortTarget& target) const;
};

// Why the command line makes no run; printed as it is, and the program ends with kExitUsage.
struct PlanError {
    std::string message;
};

std::variant<RunPlan, PlanError> BuildRunPlan(const CliArgs& args);

// The plan's operation on one port, on that port's thread.
PortResult RunOnPort(const RunPlan& plan, const PortTarget& target, IProgress& progress);
