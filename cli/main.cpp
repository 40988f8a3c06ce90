// quendal-cli: the device's parameters without the window, for many devices at once. The command line is
// parsed (arguments.h), then planned: every check (ports, profile, units, --set, output files) happens
// before any port is opened, so a bad run sends nothing to any device (run_plan.h). Then every port runs
// on its own thread (batch.h), the results are printed (results.h), and the exit code is the largest of
// the ports' codes.
#include <cstdio>
#include <string>
#include <variant>
#include <vector>

#include "cli/arguments.h"
#include "cli/batch.h"
#include "cli/console.h"
#include "cli/results.h"
#include "cli/run_plan.h"

int main(int argc, char** argv) {
    // Parsed from UTF-8 texts on every platform, so profile values and file names keep their characters.
    const ParsedArgs parsed = ParseArgs(Utf8Arguments(argc, argv));
    if (!parsed.args) {
        return parsed.exitCode;
    }
    // From here on a run may hold temporary files, which an interrupt must not leave behind.
    InstallInterruptHandlers();
    if (parsed.args->command == Command::Ports) {
        return ListPorts(stdout, stderr);
    }
    auto planned = BuildRunPlan(*parsed.args);
    if (const PlanError* refused = std::get_if<PlanError>(&planned)) {
        std::fprintf(stderr, "quendal-cli: %s\n", refused->message.c_str());
        return kExitUsage;
    }
    RunPlan& plan = std::get<RunPlan>(planned);

    CRunPortDirectory dir;
    std::string error;
    if (!dir.Create(plan.targets, error)) {
        std::fprintf(stderr, "quendal-cli: %s\n", error.c_str());
        return kExitPort;
    }
    // Verbose steps are kept, not redrawn over; so are a monitor's, which share the terminal with its output.
    CProgressLines progress(
        plan.targets, stderr,
        IsRedrawTerminal(stderr) && !plan.settings.verbose && plan.command != Command::Monitor);
    const std::vector<PortResult> results = RunOnEveryPort(
        plan.targets, [&](const PortTarget& target) { return RunOnPort(plan, target, progress); }, progress);
    progress.Close(results);
    return PrintResults(plan, results, stdout, stderr);
}
