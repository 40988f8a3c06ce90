// The per-device report: one CSV row per device and run, appended to the file, which a spreadsheet opens
// as it is (UTF-8 with a byte order mark, CR LF).
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "cli/csv.h"
#include "cli/operations.h"

CsvRow ReportHeader();
CsvRow ReportRow(const PortResult& result, std::chrono::system_clock::time_point when);

// Appends the rows, with the byte order mark and header when the file is new.
bool AppendReport(const std::string& path, const std::vector<CsvRow>& rows, std::string& error);

// "2024-05-01T10:02:03+08:00", local time.
std::string IsoTime(std::chrono::system_clock::time_point when);
