#include "cli/results.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>

#include "cli/console.h"
#include "cli/owner_file.h"
#include "cli/report.h"

namespace {

// read: problems to err, the profile to out or its file; false when the file could not be written.
bool PrintProfile(const RunPlan& plan, const PortResult& result, std::FILE* out, std::FILE* err) {
    for (const ProfileError& problem : result.problems) {
        std::fprintf(err, "%s: left out of the profile: %s\n", result.target.label.c_str(),
                     VisibleText(problem.Text()).c_str());
    }
    const std::string json = ProfileToJson(result.profile);
    bool written = true;
    std::string error;
    if (!plan.ToFiles()) {
        std::fputs(json.c_str(), out);
    } else if (!WriteOwnerOnlyFile(plan.OutputFor(result.target), json, error)) {
        std::fprintf(err, "quendal-cli: %s\n", error.c_str());
        written = false;
    }
    if (plan.raw && result.record) {
        std::fputs(HexDump(*result.record).c_str(), out);
    }
    return written;
}

}  // namespace

int PrintResults(const RunPlan& plan, const std::vector<PortResult>& results, std::FILE* out,
                 std::FILE* err) {
    const auto finished = std::chrono::system_clock::now();
    int exitCode = 0;
    std::vector<CsvRow> rows;
    for (const PortResult& result : results) {
        exitCode = std::max(exitCode, ExitCodeOf(result.outcome));
        rows.push_back(ReportRow(result, finished));
        if (result.outcome == Outcome::DryRun) {
            std::fputs(DryRunLines(result).c_str(), out);
        }
        if (result.outcome != Outcome::Ok) {
            continue;
        }
        if (plan.command == Command::Read && !PrintProfile(plan, result, out, err)) {
            exitCode = std::max(exitCode, 1);
        }
        if (plan.command == Command::Signal && result.signal) {
            std::fprintf(out, "%s CSQ %d, %s\n", result.target.label.c_str(), result.signal->rssi,
                         CsqMeaning(*result.signal).c_str());
        }
    }
    std::string error;
    if (!plan.report.empty() && !AppendReport(plan.report, rows, error)) {
        std::fprintf(err, "quendal-cli: %s\n", error.c_str());
        exitCode = std::max(exitCode, 1);
    }
    std::fprintf(err, "%s\n", SummaryLine(results).c_str());
    return exitCode;
}

std::string SummaryLine(const std::vector<PortResult>& results) {
    // In the order of the outcomes, so the same run always reads the same.
    std::map<Outcome, int> counts;
    for (const PortResult& result : results) {
        ++counts[result.outcome];
    }
    std::string line;
    for (const auto& [outcome, count] : counts) {
        line += (line.empty() ? "" : ", ") + std::to_string(count) + " " + std::string(OutcomeText(outcome));
    }
    return line;
}

std::string DryRunLines(const PortResult& result) {
    std::string lines;
    for (const FieldDifference& d : result.differences) {
        lines += result.target.label + " " + std::string(d.field) + ": \"" + VisibleText(d.expected) +
                 "\" -> \"" + VisibleText(d.actual) + "\"\n";
    }
    return lines;
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

int ListPorts(std::FILE* out, std::FILE* err) {
    std::vector<PortTarget> targets;
    std::string error;
    for (int n = 1; n <= 30; ++n) {
        targets.push_back(*ParsePortArgument("COM" + std::to_string(n), error));
    }
    CRunPortDirectory dir;
    if (!dir.Create(targets, error)) {
        std::fprintf(err, "quendal-cli: %s\n", error.c_str());
        return kExitPort;
    }
    for (const PortTarget& target : targets) {
        std::string shown = target.path;
        std::error_code ec;
        const auto real = std::filesystem::canonical(target.path, ec);
        if (!ec && real.string() != target.path) {
            shown += " -> " + real.string();
        }
        std::fprintf(out, "%-6s %-9s %s\n", target.label.c_str(), PortProbeText(ProbePort(target)).c_str(),
                     VisibleText(shown).c_str());
    }
    return 0;
}
