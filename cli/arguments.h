// The command line as it was typed, parsed by CLI11 and nothing more: which subcommand, its ports, files
// and settings, as texts and numbers. Whether they make a run is decided by the plan (run_plan.h).
#pragma once

#include <optional>
#include <string>
#include <vector>

// The exit codes decided outside the ports' own results (ExitCodeOf): a command line that makes no run,
// and a run whose ports could not be set up.
constexpr int kExitUsage = 2;
constexpr int kExitPort = 3;

enum class Command { Ports, Read, Write, Verify, Defaults, Reboot, Signal, Diagnose, Monitor };

struct CliArgs {
    Command command = Command::Ports;
    // read, default, reboot, signal: the ports given as arguments, lists split. write and verify:
    // [PORT ...] PROFILE as given, since the profile's file name may hold a comma.
    std::vector<std::string> positional;
    std::vector<std::string> ports;  // --port, lists split
    std::vector<std::string> sets;
    std::string units;
    std::string report;
    std::string output;
    bool raw = false;
    bool sameId = false;
    bool dryRun = false;
    int baud = 9600;
    std::string parity = "N";
    int dataBits = 8;
    int stopBits = 1;
    int timeoutMs = 2000;
    int retries = 2;
    bool verbose = false;
    bool json = false;        // diagnose
    int watchSeconds = 0;     // signal --watch; 0: one reading
    int count = 0;            // signal --count
    std::string log;          // signal --log, monitor --log
    bool timestamps = false;  // monitor
    bool hex = false;         // monitor
    bool append = false;      // monitor --log
};

// The arguments (UTF-8, the program's name first), or how the program ends at once: --help and --version
// print and end with 0, an argument CLI11 refuses prints its message and ends with 2.
struct ParsedArgs {
    std::optional<CliArgs> args;
    int exitCode = 0;
};
ParsedArgs ParseArgs(std::vector<std::string> args);
