#include "cli/report.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>

#include "cli/console.h"
#include "cli/owner_file.h"
#include "protocol/record_view.h"
#include "text/gbk.h"

CsvRow ReportHeader() {
    return {"time",        "port",      "device", "command", "result", "module", "device_type",
            "firmware",    "device_id", "signal", "imei",    "iccid",  "imsi",   "module_firmware",
            "differences", "message"};
}

CsvRow ReportRow(const PortResult& result, std::chrono::system_clock::time_point when) {
    std::string module, deviceType, firmware, deviceId;
    if (result.record) {
        // The texts the window's form shows for the same record.
        const RecordDescription described = DescribeRecord(*result.record);
        module = described.module;
        deviceType = described.Value("device_type");
        firmware = described.firmware;
        deviceId = described.Value("device_id");
    }
    std::string differences;
    for (const FieldDifference& d : result.differences) {
        differences += (differences.empty() ? "" : "; ") + std::string(d.field) + " \"" + d.expected +
                       "\" -> \"" + d.actual + "\"";
    }
    CsvRow row = {IsoTime(when),
                  result.target.label,
                  result.target.path,
                  result.command,
                  std::string(OutcomeText(result.outcome)),
                  module,
                  deviceType,
                  firmware,
                  deviceId,
                  SignalText(result.signal),
                  result.identity.imei,
                  result.identity.iccid,
                  result.identity.imsi,
                  result.identity.firmware,
                  differences,
                  result.message};
    for (std::string& cell : row) {
        cell = DefusedCell(cell);
    }
    return row;
}

std::string DefusedCell(std::string_view text) {
    std::string cell = VisibleText(text);
    if (!cell.empty() && std::string_view("=+-@\t\r").find(cell.front()) != std::string_view::npos) {
        cell.insert(cell.begin(), '\'');
    }
    return cell;
}

std::string SignalText(const std::optional<CsqValue>& csq) {
    return csq ? std::to_string(csq->rssi) + " (" + CsqMeaning(*csq) + ")" : std::string();
}

bool AppendReport(const std::string& path, const std::vector<CsvRow>& rows, std::string& error) {
    std::vector<std::string> lines;
    for (const CsvRow& row : rows) {
        lines.push_back(CsvLine(row));
    }
    return AppendOwnerOnlyFile(path, "\xEF\xBB\xBF" + CsvLine(ReportHeader()), lines, error);
}

std::string IsoTime(std::chrono::system_clock::time_point when) {
    using namespace std::chrono;
    const std::time_t t = system_clock::to_time_t(when);
    std::tm local{};
    std::tm utc{};
    {
        // std::localtime and std::gmtime share one static result; the copies are taken under a lock.
        static std::mutex lock;
        std::lock_guard guard(lock);
        local = *std::localtime(&t);
        utc = *std::gmtime(&t);
    }
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    // The offset from UTC as ISO 8601 writes it (+08:00); strftime's %z differs between C libraries.
    const auto seconds = [](const std::tm& tm) {
        const sys_days date = year(tm.tm_year + 1900) / month(static_cast<unsigned>(tm.tm_mon + 1)) /
                              day(static_cast<unsigned>(tm.tm_mday));
        return date.time_since_epoch() + hours(tm.tm_hour) + minutes(tm.tm_min) +
               std::chrono::seconds(tm.tm_sec);
    };
    const auto offset = duration_cast<minutes>(seconds(local) - seconds(utc)).count();
    const int magnitude = static_cast<int>(offset < 0 ? -offset : offset) % (24 * 60);
    char zone[16];
    std::snprintf(zone, sizeof zone, "%c%02d:%02d", offset < 0 ? '-' : '+', magnitude / 60, magnitude % 60);
    return std::string(text) + zone;
}
