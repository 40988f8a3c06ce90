#include "cli/run_plan.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <set>

#include "cli/owner_file.h"
#include "cli/results.h"
#include "cli/units.h"

namespace {

std::optional<char> ParityLetter(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (text == "N" || text == "NONE") {
        return 'N';
    }
    if (text == "O" || text == "ODD") {
        return 'O';
    }
    if (text == "E" || text == "EVEN") {
        return 'E';
    }
    return std::nullopt;
}

// COM1,COM2 given before a profile: CLI11 leaves these whole (see arguments.cpp).
std::vector<std::string> SplitLists(const std::vector<std::string>& texts) {
    std::vector<std::string> names;
    for (const std::string& text : texts) {
        for (std::size_t start = 0; start <= text.size();) {
            const std::size_t comma = std::min(text.find(',', start), text.size());
            if (comma > start) {
                names.push_back(text.substr(start, comma - start));
            }
            start = comma + 1;
        }
    }
    return names;
}

// Ports from the arguments, in order, each device once however it is named (COM2, the port directory's
// link to it, its device path).
std::optional<PlanError> CollectTargets(const std::vector<std::string>& names,
                                        std::vector<PortTarget>& targets) {
    std::set<std::string> seen;
    std::map<std::string, std::string> devices;
    std::string error;
    for (const std::string& name : names) {
        auto target = ParsePortArgument(name, error);
        if (!target) {
            return PlanError{error};
        }
        if (!seen.insert(target->label).second) {
            return PlanError{target->label + " is given twice"};
        }
        const std::string device = DeviceOf(*target);
        if (const auto [at, added] = devices.emplace(device, target->label); !added) {
            return PlanError{at->second + " and " + target->label + " are one device (" + device +
                             "); give it once"};
        }
        targets.push_back(*std::move(target));
    }
    return std::nullopt;
}

// The profile, --set over it and each port's units row over that, each checked through the form binding
// over a record of zeros.
std::optional<PlanError> ProfilesPerPort(const CliArgs& args, const std::string& profilePath,
                                         const std::map<std::string, Profile>& units, RunPlan& plan) {
    std::string text;
    std::string error;
    if (!ReadWholeFile(profilePath, text, error)) {
        return PlanError{error};
    }
    Profile base;
    if (const auto refused = ParseProfile(text, base)) {
        return PlanError{profilePath + ": " + refused->Text()};
    }
    std::set<std::string> setNames;
    for (const std::string& set : args.sets) {
        const auto eq = set.find('=');
        if (eq == std::string::npos) {
            return PlanError{"--set takes FIELD=VALUE, not \"" + set + "\""};
        }
        if (!setNames.insert(set.substr(0, eq)).second) {
            return PlanError{"--set " + set.substr(0, eq) + " is given twice"};
        }
        if (const auto refused = base.SetFromText(set.substr(0, eq), set.substr(eq + 1))) {
            return PlanError{"--set " + refused->Text()};
        }
    }
    for (const PortTarget& target : plan.targets) {
        Profile merged = base;
        if (!args.units.empty()) {
            const auto unit = units.find(target.label);
            if (unit == units.end()) {
                return PlanError{args.units + ": no row for " + target.label};
            }
            merged.Merge(unit->second);
        }
        DeviceParams check;
        if (const auto refused = BuildRecord(DeviceParams{}, merged, check)) {
            return PlanError{target.label + ": " + refused->Text()};
        }
        plan.profiles.emplace(target.label, std::move(merged));
    }
    return std::nullopt;
}

// Two units given one device ID by mistake are told apart by nothing afterwards; only --same-id allows it.
std::optional<PlanError> SharedDeviceId(const RunPlan& plan) {
    const ProfileField* field = FindProfileField("device_id");
    const auto index = static_cast<std::size_t>(field - ProfileFields().data());
    std::map<std::string, std::string> owners;
    for (const PortTarget& target : plan.targets) {
        const auto& value = plan.profiles.at(target.label).Value(index);
        if (!value) {
            continue;
        }
        const std::string& id = std::get<std::string>(*value);
        if (const auto [at, added] = owners.emplace(id, target.label); !added) {
            return PlanError{
                at->second + " and " + target.label + " would both get device_id \"" + id +
                "\"; give each unit its ID in a units file (--units FILE, with a port column and "
                "a device_id column), or pass --same-id if they are meant to share it"};
        }
    }
    return std::nullopt;
}

// Every file the run will write is checked now, so a run never writes devices and then loses its record
// of them.
std::optional<PlanError> OutputsWritable(const RunPlan& plan) {
    std::string error;
    for (const PortTarget& target : plan.targets) {
        if (plan.ToFiles() && !CheckReplaceablePath(plan.OutputFor(target), error)) {
            return PlanError{"-o: " + error + "; nothing was sent"};
        }
    }
    if (!plan.report.empty() && !CheckAppendablePath(plan.report, error)) {
        return PlanError{"--report: " + error + "; nothing was sent"};
    }
    if (!plan.log.empty() && !CheckAppendablePath(plan.log, error)) {
        return PlanError{"--log: " + error + "; nothing was sent"};
    }
    return std::nullopt;
}

}  // namespace

std::string RunPlan::OutputFor(const PortTarget& target) const {
    std::string name = target.label;
    std::replace(name.begin(), name.end(), '/', '_');
    std::string path = output;
    if (const auto at = path.find("{port}"); at != std::string::npos) {
        path.replace(at, 6, name);
    }
    return path;
}

std::variant<RunPlan, PlanError> BuildRunPlan(const CliArgs& args) {
    RunPlan plan;
    plan.command = args.command;
    plan.output = args.output;
    plan.raw = args.raw;
    plan.dryRun = args.dryRun;
    plan.report = args.report;
    plan.json = args.json;
    plan.watch = std::chrono::seconds(args.watchSeconds);
    plan.count = args.count;
    plan.log = args.log;
    plan.monitor = {args.log, args.timestamps, args.hex, args.append};
    if (args.command == Command::Signal && args.watchSeconds == 0 && (args.count != 0 || !args.log.empty())) {
        return PlanError{std::string(args.count != 0 ? "--count" : "--log") + " needs --watch SECONDS"};
    }
    const auto parity = ParityLetter(args.parity);
    if (!parity) {
        return PlanError{"--parity takes N, O, E, NONE, ODD or EVEN, not \"" + args.parity + "\""};
    }
    plan.settings.line = LineSettings{args.baud, *parity, args.dataBits, args.stopBits};
    plan.settings.answerTime = std::chrono::milliseconds(args.timeoutMs);
    plan.settings.retries = args.retries;
    plan.settings.verbose = args.verbose;

    const bool takesProfile = args.command == Command::Write || args.command == Command::Verify;
    std::string profilePath;
    std::vector<std::string> portNames = args.positional;
    if (takesProfile) {
        if (portNames.empty()) {
            return PlanError{"a profile file is needed"};
        }
        profilePath = portNames.back();
        portNames.pop_back();
        portNames = SplitLists(portNames);
    }
    portNames.insert(portNames.end(), args.ports.begin(), args.ports.end());

    std::map<std::string, Profile> units;
    if (!args.units.empty()) {
        std::string text;
        std::string error;
        if (!ReadWholeFile(args.units, text, error)) {
            return PlanError{error};
        }
        auto parsed = ParseUnits(text, error);
        if (!parsed) {
            return PlanError{args.units + ": " + error};
        }
        units = *std::move(parsed);
        if (portNames.empty()) {
            for (const auto& [label, unit] : units) {
                portNames.push_back(label);
            }
        }
    }
    if (auto refused = CollectTargets(portNames, plan.targets)) {
        return *std::move(refused);
    }
    if (plan.targets.empty()) {
        return PlanError{"no port given"};
    }
    if (takesProfile) {
        if (auto refused = ProfilesPerPort(args, profilePath, units, plan)) {
            return *std::move(refused);
        }
    }
    const bool several = plan.targets.size() > 1;
    if (args.command == Command::Read && several && !args.output.empty() &&
        args.output.find("{port}") == std::string::npos) {
        return PlanError{"with several ports, -o needs {port} in the file name"};
    }
    if (args.command == Command::Read && several && args.output.empty()) {
        return PlanError{"with several ports, read needs -o FILE with {port} in the name"};
    }
    if (args.command == Command::Signal && several && args.watchSeconds != 0) {
        return PlanError{"signal --watch surveys one port at a time"};
    }
    if (args.command == Command::Signal && !args.report.empty() && args.watchSeconds != 0) {
        return PlanError{"signal --watch writes its samples with --log, not --report"};
    }
    if (args.command == Command::Monitor && several) {
        return PlanError{"monitor watches one port at a time"};
    }
    if (args.command == Command::Monitor && args.append && args.log.empty()) {
        return PlanError{"--append needs --log FILE"};
    }
    if (args.command == Command::Write && several && !args.sameId) {
        if (auto shared = SharedDeviceId(plan)) {
            return *std::move(shared);
        }
    }
    if (auto refused = OutputsWritable(plan)) {
        return *std::move(refused);
    }
    return plan;
}

PortResult RunOnPort(const RunPlan& plan, const PortTarget& target, IProgress& progress) {
    switch (plan.command) {
        case Command::Read:
            return RunRead(target, plan.settings, progress);
        case Command::Write:
            return plan.dryRun ? RunDryRun(target, plan.settings, plan.profiles.at(target.label), progress)
                               : RunWrite(target, plan.settings, plan.profiles.at(target.label), progress);
        case Command::Verify:
            return RunVerify(target, plan.settings, plan.profiles.at(target.label), progress);
        case Command::Defaults:
            return RunDefaults(target, plan.settings, progress);
        case Command::Reboot:
            return RunReboot(target, plan.settings, progress);
        case Command::Signal:
            if (plan.watch.count() != 0) {
                return RunSignalWatch(target, plan.settings, plan.watch, plan.count, SurveySink(plan, stdout),
                                      progress);
            }
            return RunSignal(target, plan.settings, progress);
        case Command::Diagnose:
            return RunDiagnose(target, plan.settings, progress);
        case Command::Monitor:
            return RunMonitor(target, plan.settings, plan.monitor, stdout, progress);
        case Command::Ports:
            break;
    }
    // The port list is no run over ports; main() never gets here with it.
    PortResult none;
    none.target = target;
    none.outcome = Outcome::PortError;
    none.message = "nothing to do on a port";
    return none;
}
