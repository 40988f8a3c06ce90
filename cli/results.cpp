#include "cli/results.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <set>

#include <nlohmann/json.hpp>

#include "cli/console.h"
#include "cli/owner_file.h"
#include "cli/report.h"
#include "serial/port_map.h"

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

std::string_view StatusName(ItemStatus status) {
    switch (status) {
        case ItemStatus::Ok:
            return "ok";
        case ItemStatus::ModuleError:
            return "module-error";
        case ItemStatus::Unreadable:
            return "unreadable";
        case ItemStatus::NoAnswer:
            return "no-answer";
        case ItemStatus::NotAsked:
            return "not-asked";
    }
    return "";
}

// The meaning column: a signal item's meaning is its grade.
std::string MeaningOf(const DiagnosisItem& item) {
    return item.meaning.empty() && item.grade != SignalGrade::Unknown ? std::string(GradeName(item.grade))
                                                                      : item.meaning;
}

// A level as a plain number for a spreadsheet ("-89", "-10.5"); the CSQ column keeps an end's "or less".
std::string LevelNumber(const SignalLevel& level) {
    if (!level.known) {
        return {};
    }
    const int whole = level.tenths / 10;
    const int tenth = (level.tenths < 0 ? -level.tenths : level.tenths) % 10;
    std::string text = (level.tenths < 0 && whole == 0 ? "-" : "") + std::to_string(whole);
    return tenth == 0 ? text : text + "." + std::to_string(tenth);
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
        if (plan.command == Command::Diagnose && plan.json && result.outcome != Outcome::Ok) {
            std::fputs(DiagnosisJson(result).c_str(), out);
        }
        if (result.outcome != Outcome::Ok) {
            continue;
        }
        if (plan.command == Command::Read && !PrintProfile(plan, result, out, err)) {
            exitCode = std::max(exitCode, 1);
        }
        if (plan.command == Command::Diagnose) {
            std::fputs((plan.json ? DiagnosisJson(result) : DiagnosisTable(result)).c_str(), out);
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

std::string DiagnosisTable(const PortResult& result) {
    if (!result.diagnosis) {
        return {};
    }
    const std::vector<std::string> head = {"item", "value", "meaning", "module's answer"};
    std::vector<std::vector<std::string>> rows;
    for (const DiagnosisItem& item : result.diagnosis->items) {
        rows.push_back({VisibleText(item.name), VisibleText(item.value), VisibleText(MeaningOf(item)),
                        VisibleText(item.raw)});
    }
    // Widths in bytes: the columns line up for ASCII, which is what modules answer in.
    std::vector<std::size_t> widths(head.size());
    for (std::size_t c = 0; c + 1 < head.size(); ++c) {
        widths[c] = head[c].size();
        for (const auto& row : rows) {
            widths[c] = std::max(widths[c], row[c].size());
        }
    }
    const auto line = [&](const std::vector<std::string>& cells) {
        std::string text = "  ";
        for (std::size_t c = 0; c < cells.size(); ++c) {
            text += cells[c];
            if (c + 1 < cells.size()) {
                text += std::string(widths[c] - cells[c].size() + 2, ' ');
            }
        }
        while (!text.empty() && text.back() == ' ') {
            text.pop_back();
        }
        return text + "\n";
    };
    std::string text = result.target.label + " (" + VisibleText(result.target.path) + ")\n" + line(head);
    for (const auto& row : rows) {
        text += line(row);
    }
    return text + result.target.label + " verdict: " + VisibleText(result.diagnosis->verdictLine) + "\n";
}

std::string DiagnosisJson(const PortResult& result) {
    nlohmann::ordered_json j;
    j["port"] = result.target.label;
    j["device"] = result.target.path;
    j["result"] = OutcomeText(result.outcome);
    j["message"] = result.message;
    if (const auto& d = result.diagnosis) {
        j["verdict"] = VerdictText(d->verdict);
        j["verdict_line"] = d->verdictLine;
        j["identity"] = {{"imei", d->identity.imei},
                         {"iccid", d->identity.iccid},
                         {"imsi", d->identity.imsi},
                         {"module_firmware", d->identity.firmware}};
        nlohmann::ordered_json items = nlohmann::ordered_json::array();
        for (const DiagnosisItem& item : d->items) {
            items.push_back({{"item", item.name},
                             {"command", item.command},
                             {"status", StatusName(item.status)},
                             {"value", item.value},
                             {"meaning", item.meaning},
                             {"grade", GradeName(item.grade)},
                             {"raw", item.raw}});
        }
        j["items"] = std::move(items);
    }
    // Device text is escaped already; a byte that is still no UTF-8 must not end the program.
    return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

std::string SurveyLine(const PortTarget& target, const SignalSample& sample) {
    std::string line = IsoTime(sample.when) + " " + target.label + " CSQ " +
                       (sample.csq ? std::to_string(*sample.csq) + " (" + LevelText(sample.dbm) + ")"
                                   : std::string("- (no answer)")) +
                       " " + std::string(GradeName(sample.grade));
    if (sample.rsrp.known || sample.rsrq.known) {
        line += " RSRP " + LevelText(sample.rsrp) + " RSRQ " + LevelText(sample.rsrq);
    }
    return line + "\n";
}

CsvRow SurveyHeader() {
    return {"time", "port", "csq", "dbm", "grade", "rsrp_dbm", "rsrq_db"};
}

CsvRow SurveyRow(const PortTarget& target, const SignalSample& sample) {
    // Only the port's name is text; the numbers are ours, and a spreadsheet is to read them as numbers.
    return {IsoTime(sample.when),
            DefusedCell(target.label),
            sample.csq ? std::to_string(*sample.csq) : std::string(),
            LevelNumber(sample.dbm),
            std::string(GradeName(sample.grade)),
            LevelNumber(sample.rsrp),
            LevelNumber(sample.rsrq)};
}

SampleSink SurveySink(const RunPlan& plan, std::FILE* out) {
    return [log = plan.log, out](const PortTarget& target, const SignalSample& sample) {
        std::fputs(SurveyLine(target, sample).c_str(), out);
        std::fflush(out);
        std::string error;
        // Each sample is appended as it comes: a survey cut short keeps what it took.
        if (!log.empty() && !AppendOwnerOnlyFile(log, "\xEF\xBB\xBF" + CsvLine(SurveyHeader()),
                                                 {CsvLine(SurveyRow(target, sample))}, error)) {
            return error;
        }
        return std::string();
    };
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
    // The port map's wrong lines first: the names they were meant for are refused below.
    const PortMap map = LoadPortMap();
    std::set<int> numbers;
    for (int n = 1; n <= 30; ++n) {
        numbers.insert(n);
    }
    for (const PortMapEntry& entry : map.entries) {
        numbers.insert(entry.number);
    }
    for (const PortMapProblem& problem : map.problems) {
        const std::string where = problem.line == 0 ? "" : PortMapPath().value_or("") + " ";
        std::fprintf(err, "quendal-cli: %s\n", VisibleText(where + problem.text).c_str());
        if (problem.number) {
            numbers.insert(*problem.number);
        }
    }
    std::vector<PortTarget> targets;
    std::string error;
    for (int n : numbers) {
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
