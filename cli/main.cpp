// quendal-cli: the device's parameters without the window, for many devices at once. Arguments come in
// here; everything is checked (ports, profile, units, --set) before any port is opened, so a bad run
// sends nothing to any device. Then every port runs on its own thread (batch.h) and the exit code is the
// largest of the ports' codes.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "cli/batch.h"
#include "cli/console.h"
#include "cli/operations.h"
#include "cli/owner_file.h"
#include "cli/port_target.h"
#include "cli/report.h"
#include "cli/units.h"
#include "protocol/profile.h"
#include "quendal_version.h"

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitPort = 3;

constexpr const char* kExitCodes =
    "Exit codes: 0 all done and verified; 1 a device refused or failed verification, or took a save that\n"
    "could not be read back (saved-unverified); 2 bad usage, bad profile or an output file that cannot be\n"
    "written (nothing was sent); 3 port missing or held by another program; 4 a device did not answer in\n"
    "time; 130 interrupted (Ctrl-C or SIGTERM: exchanges in flight end, every port gets its report row; a\n"
    "second Ctrl-C ends at once). With several ports the largest code of any port.";

struct Args {
    std::vector<std::string> positional;
    std::vector<std::string> ports;
    std::vector<std::string> sets;
    std::string units;
    std::string report;
    std::string output;
    bool raw = false;
    bool sameId = false;
    int baud = 9600;
    std::string parity = "N";
    int dataBits = 8;
    int stopBits = 1;
    int timeoutMs = 2000;
    int retries = 2;
    bool verbose = false;
};

int Usage(const std::string& text) {
    std::fprintf(stderr, "quendal-cli: %s\n", text.c_str());
    return kExitUsage;
}

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

// Ports from the arguments, in order, each device once however it is named (COM2, the port directory's
// link to it, its device path).
bool CollectTargets(const std::vector<std::string>& names, std::vector<PortTarget>& targets,
                    std::string& error) {
    std::set<std::string> seen;
    std::map<std::string, std::string> devices;
    for (const std::string& name : names) {
        auto target = ParsePortArgument(name, error);
        if (!target) {
            return false;
        }
        if (!seen.insert(target->label).second) {
            error = target->label + " is given twice";
            return false;
        }
        const std::string device = DeviceOf(*target);
        if (const auto [at, added] = devices.emplace(device, target->label); !added) {
            error = at->second + " and " + target->label + " are one device (" + device + "); give it once";
            return false;
        }
        targets.push_back(*std::move(target));
    }
    return true;
}

// Two units given one device ID by mistake are told apart by nothing afterwards; only --same-id allows it.
std::optional<std::string> SharedDeviceId(const std::vector<PortTarget>& targets,
                                          const std::map<std::string, Profile>& perPort) {
    const ProfileField* field = FindProfileField("device_id");
    const auto index = static_cast<std::size_t>(field - ProfileFields().data());
    std::map<std::string, std::string> owners;
    for (const PortTarget& target : targets) {
        const auto& value = perPort.at(target.label).Value(index);
        if (!value) {
            continue;
        }
        const std::string& id = std::get<std::string>(*value);
        if (const auto [at, added] = owners.emplace(id, target.label); !added) {
            return at->second + " and " + target.label + " would both get device_id \"" + id +
                   "\"; give each unit its ID in a units file (--units FILE, with a port column and a "
                   "device_id column), or pass --same-id if they are meant to share it";
        }
    }
    return std::nullopt;
}

std::string HexDump(const DeviceParams& record) {
    std::string text;
    const auto bytes = record.Bytes();
    for (std::size_t row = 0; row < bytes.size(); row += 16) {
        char line[80];
        int used = std::snprintf(line, sizeof line, "%04zx:", row);
        for (std::size_t i = row; i < std::min(row + 16, bytes.size()); ++i) {
            used +=
                std::snprintf(line + used, sizeof line - static_cast<std::size_t>(used), " %02x", bytes[i]);
        }
        text += line;
        text += '\n';
    }
    return text;
}

std::string FileForPort(const std::string& pattern, const PortTarget& target) {
    std::string name = target.label;
    std::replace(name.begin(), name.end(), '/', '_');
    std::string path = pattern;
    if (const auto at = path.find("{port}"); at != std::string::npos) {
        path.replace(at, 6, name);
    }
    return path;
}

int ListPorts() {
    std::vector<PortTarget> targets;
    std::string error;
    for (int n = 1; n <= 30; ++n) {
        targets.push_back(*ParsePortArgument("COM" + std::to_string(n), error));
    }
    CRunPortDirectory dir;
    if (!dir.Create(targets, error)) {
        std::fprintf(stderr, "quendal-cli: %s\n", error.c_str());
        return kExitPort;
    }
    for (const PortTarget& target : targets) {
        std::string shown = target.path;
        std::error_code ec;
        const auto real = std::filesystem::canonical(target.path, ec);
        if (!ec && real.string() != target.path) {
            shown += " -> " + real.string();
        }
        std::printf("%-6s %-9s %s\n", target.label.c_str(), PortProbeText(ProbePort(target)).c_str(),
                    VisibleText(shown).c_str());
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Reads, writes and checks the parameters of DTUs on serial ports, many at once.",
                 "quendal-cli"};
    app.footer(kExitCodes);
    app.set_version_flag("--version", std::string("quendal-cli ") + QUENDAL_VERSION);
    app.require_subcommand(1);
    app.fallthrough();
    Args a;
    app.add_option("--baud", a.baud, "line speed (9600)")->check(CLI::PositiveNumber);
    app.add_option("--parity", a.parity, "N, O or E, or NONE, ODD, EVEN (N)");
    app.add_option("--data-bits", a.dataBits, "5 to 8 (8)")->check(CLI::Range(5, 8));
    app.add_option("--stop-bits", a.stopBits, "1 or 2 (1)")->check(CLI::Range(1, 2));
    app.add_option("--timeout", a.timeoutMs,
                   "the device's answer time in ms, on top of the time the bytes take on the line (2000)")
        ->check(CLI::Range(1, 600000));
    app.add_option("--retries", a.retries, "how often a read is tried again (2); a save is never resent")
        ->check(CLI::Range(0, 10));
    app.add_flag("-v,--verbose", a.verbose, "say why a read is tried again (one progress line per step)");

    const auto withPorts = [&](CLI::App* sub, const char* positionalHelp) {
        sub->add_option("args", a.positional, positionalHelp);
        sub->add_option("-p,--port", a.ports, "a port: COMn or a device path; many times, or a list")
            ->delimiter(',');
        sub->add_option("--report", a.report, "append one CSV row per device to this file");
    };
    CLI::App* ports = app.add_subcommand("ports", "COM1-COM30: the device each names, present, held or free");
    CLI::App* read = app.add_subcommand("read", "read the record and print it as a profile");
    withPorts(read, "PORT ...");
    read->add_option("-o,--output", a.output,
                     "write the profile here, - for standard output (several ports: put {port} in the name)");
    read->add_flag("--raw", a.raw, "also print the 440 record bytes in hex");
    CLI::App* write =
        app.add_subcommand("write", "apply a profile on top of each device's record and verify");
    CLI::App* verify = app.add_subcommand("verify", "read each device and compare it with a profile");
    for (CLI::App* sub : {write, verify}) {
        withPorts(sub, "[PORT ...] PROFILE");
        sub->add_option("--set", a.sets, "FIELD=VALUE over the profile, for every port; many times");
        sub->add_option("--units", a.units, "CSV of per-unit values: a port column and one column per field");
    }
    write->add_flag("--same-id", a.sameId, "let several units get the same device_id");
    CLI::App* defaults = app.add_subcommand("default", "restore the factory settings");
    CLI::App* reboot = app.add_subcommand("reboot", "restart the device");
    CLI::App* signal = app.add_subcommand("signal", "the signal strength: CSQ and dBm");
    for (CLI::App* sub : {defaults, reboot, signal}) {
        withPorts(sub, "PORT ...");
    }

    // Parsed from UTF-8 texts on every platform, so profile values and file names keep their characters.
    std::vector<std::string> args = Utf8Arguments(argc, argv);
    std::vector<char*> argPointers;
    for (std::string& arg : args) {
        argPointers.push_back(arg.data());
    }
    try {
        app.parse(static_cast<int>(argPointers.size()), argPointers.data());
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? 0 : kExitUsage;
    }
    // From here on a run may hold temporary files, which an interrupt must not leave behind.
    InstallInterruptHandlers();
    if (ports->parsed()) {
        return ListPorts();
    }

    RunSettings settings;
    const auto parity = ParityLetter(a.parity);
    if (!parity) {
        return Usage("--parity takes N, O, E, NONE, ODD or EVEN, not \"" + a.parity + "\"");
    }
    settings.line = LineSettings{a.baud, *parity, a.dataBits, a.stopBits};
    settings.answerTime = std::chrono::milliseconds(a.timeoutMs);
    settings.retries = a.retries;
    settings.verbose = a.verbose;

    // Every check below happens before a port is opened.
    const bool takesProfile = write->parsed() || verify->parsed();
    std::string profilePath;
    std::vector<std::string> portNames = a.positional;
    if (takesProfile) {
        if (portNames.empty()) {
            return Usage("a profile file is needed");
        }
        profilePath = portNames.back();
        portNames.pop_back();
    }
    // A list works in either place: COM1,COM2 as an argument or after --port.
    std::vector<std::string> split;
    for (const std::string& names : portNames) {
        for (std::size_t start = 0; start <= names.size();) {
            const std::size_t comma = std::min(names.find(',', start), names.size());
            if (comma > start) {
                split.push_back(names.substr(start, comma - start));
            }
            start = comma + 1;
        }
    }
    portNames = std::move(split);
    portNames.insert(portNames.end(), a.ports.begin(), a.ports.end());

    std::map<std::string, Profile> units;
    std::string error;
    if (!a.units.empty()) {
        std::string text;
        if (!ReadWholeFile(a.units, text, error)) {
            return Usage(error);
        }
        auto parsed = ParseUnits(text, error);
        if (!parsed) {
            return Usage(a.units + ": " + error);
        }
        units = *std::move(parsed);
        if (portNames.empty()) {
            for (const auto& [label, unit] : units) {
                portNames.push_back(label);
            }
        }
    }
    std::vector<PortTarget> targets;
    if (!CollectTargets(portNames, targets, error)) {
        return Usage(error);
    }
    if (targets.empty()) {
        return Usage("no port given");
    }

    std::map<std::string, Profile> perPort;
    if (takesProfile) {
        std::string text;
        if (!ReadWholeFile(profilePath, text, error)) {
            return Usage(error);
        }
        Profile base;
        if (const auto refused = ParseProfile(text, base)) {
            return Usage(profilePath + ": " + refused->Text());
        }
        std::set<std::string> setNames;
        for (const std::string& set : a.sets) {
            const auto eq = set.find('=');
            if (eq == std::string::npos) {
                return Usage("--set takes FIELD=VALUE, not \"" + set + "\"");
            }
            if (!setNames.insert(set.substr(0, eq)).second) {
                return Usage("--set " + set.substr(0, eq) + " is given twice");
            }
            if (const auto refused = base.SetFromText(set.substr(0, eq), set.substr(eq + 1))) {
                return Usage("--set " + refused->Text());
            }
        }
        for (const PortTarget& target : targets) {
            Profile merged = base;
            if (!a.units.empty()) {
                const auto unit = units.find(target.label);
                if (unit == units.end()) {
                    return Usage(a.units + ": no row for " + target.label);
                }
                merged.Merge(unit->second);
            }
            // The form binding itself, over a record of zeros, before any device is touched.
            DeviceParams check;
            if (const auto refused = BuildRecord(DeviceParams{}, merged, check)) {
                return Usage(target.label + ": " + refused->Text());
            }
            perPort.emplace(target.label, std::move(merged));
        }
    }
    if (read->parsed() && targets.size() > 1 && !a.output.empty() &&
        a.output.find("{port}") == std::string::npos) {
        return Usage("with several ports, -o needs {port} in the file name");
    }
    if (read->parsed() && targets.size() > 1 && a.output.empty()) {
        return Usage("with several ports, read needs -o FILE with {port} in the name");
    }
    if (write->parsed() && targets.size() > 1 && !a.sameId) {
        if (const auto shared = SharedDeviceId(targets, perPort)) {
            return Usage(*shared);
        }
    }
    // Every file the run will write is checked now, so a run never writes devices and then loses its
    // record of them.
    const bool toFiles = read->parsed() && !a.output.empty() && a.output != "-";
    for (const PortTarget& target : targets) {
        if (toFiles && !CheckReplaceablePath(FileForPort(a.output, target), error)) {
            return Usage("-o: " + error + "; nothing was sent");
        }
    }
    if (!a.report.empty() && !CheckAppendablePath(a.report, error)) {
        return Usage("--report: " + error + "; nothing was sent");
    }

    CRunPortDirectory dir;
    if (!dir.Create(targets, error)) {
        std::fprintf(stderr, "quendal-cli: %s\n", error.c_str());
        return kExitPort;
    }
    // Verbose steps are kept, not redrawn over.
    CProgressLines progress(targets, stderr, IsRedrawTerminal(stderr) && !a.verbose);
    const auto operation = [&](const PortTarget& target) -> PortResult {
        if (read->parsed()) {
            return RunRead(target, settings, progress);
        }
        if (write->parsed()) {
            return RunWrite(target, settings, perPort.at(target.label), progress);
        }
        if (verify->parsed()) {
            return RunVerify(target, settings, perPort.at(target.label), progress);
        }
        if (defaults->parsed()) {
            return RunDefaults(target, settings, progress);
        }
        if (reboot->parsed()) {
            return RunReboot(target, settings, progress);
        }
        return RunSignal(target, settings, progress);
    };
    const std::vector<PortResult> results = RunOnEveryPort(targets, operation, progress);
    progress.Close(results);
    const auto finished = std::chrono::system_clock::now();

    int exitCode = 0;
    std::vector<CsvRow> rows;
    for (const PortResult& result : results) {
        exitCode = std::max(exitCode, ExitCodeOf(result.outcome));
        rows.push_back(ReportRow(result, finished));
        if (result.outcome != Outcome::Ok) {
            continue;
        }
        if (read->parsed()) {
            for (const ProfileError& problem : result.problems) {
                std::fprintf(stderr, "%s: left out of the profile: %s\n", result.target.label.c_str(),
                             VisibleText(problem.Text()).c_str());
            }
            const std::string json = ProfileToJson(result.profile);
            if (!toFiles) {
                std::fputs(json.c_str(), stdout);
            } else if (!WriteOwnerOnlyFile(FileForPort(a.output, result.target), json, error)) {
                std::fprintf(stderr, "quendal-cli: %s\n", error.c_str());
                exitCode = std::max(exitCode, 1);
            }
            if (a.raw && result.record) {
                std::fputs(HexDump(*result.record).c_str(), stdout);
            }
        } else if (signal->parsed() && result.signal) {
            std::printf("%s CSQ %d, %s\n", result.target.label.c_str(), result.signal->rssi,
                        CsqMeaning(*result.signal).c_str());
        }
    }
    if (!a.report.empty() && !AppendReport(a.report, rows, error)) {
        std::fprintf(stderr, "quendal-cli: %s\n", error.c_str());
        exitCode = std::max(exitCode, 1);
    }
    return exitCode;
}
