#include "cli/report.h"

#include <ctime>

#include "cli/owner_file.h"
#include "protocol/memory_form.h"
#include "res/control_ids.h"
#include "text/gbk.h"

CsvRow ReportHeader() {
    return {"time",        "port",     "device",    "command", "result",      "module",
            "device_type", "firmware", "device_id", "signal",  "differences", "message"};
}

CsvRow ReportRow(const PortResult& result, std::chrono::system_clock::time_point when) {
    std::string module, deviceType, firmware, deviceId;
    if (result.record) {
        // The texts the window's form shows for the same record.
        CMemoryForm form;
        ShowDeviceParams(*result.record, form);
        module = GbkToUtf8Lossy(form.Text(IDC_MODULE_TYPE));
        deviceType = GbkToUtf8Lossy(form.Text(IDC_DEVICE_TYPE));
        firmware = GbkToUtf8Lossy(form.Text(IDC_FIRMWARE_VERSION));
        deviceId = GbkToUtf8Lossy(form.Text(IDC_DEVICE_ID));
    }
    std::string signal = result.signal.value_or("");
    while (!signal.empty() && signal.front() == ' ') {
        signal.erase(signal.begin());
    }
    std::string differences;
    for (const FieldDifference& d : result.differences) {
        differences += (differences.empty() ? "" : "; ") + std::string(d.field) + " \"" + d.expected +
                       "\" -> \"" + d.actual + "\"";
    }
    return {IsoTime(when),
            result.target.label,
            result.target.path,
            result.command,
            std::string(OutcomeText(result.outcome)),
            module,
            deviceType,
            firmware,
            deviceId,
            signal,
            differences,
            result.message};
}

bool AppendReport(const std::string& path, const std::vector<CsvRow>& rows, std::string& error) {
    std::string content;
    for (const CsvRow& row : rows) {
        content += CsvLine(row);
    }
    return AppendOwnerOnlyFile(path, "\xEF\xBB\xBF" + CsvLine(ReportHeader()), content, error);
}

std::string IsoTime(std::chrono::system_clock::time_point when) {
    const std::time_t t = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    localtime_r(&t, &local);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local);
    std::string iso(text);
    // strftime gives +0800; ISO 8601 as spreadsheets read it wants +08:00.
    if (iso.size() >= 5) {
        const std::string minutes = iso.substr(iso.size() - 2);
        iso.resize(iso.size() - 2);
        iso += ':';
        iso += minutes;
    }
    return iso;
}
