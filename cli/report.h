// The per-device report: one CSV row per device and run, appended to the file, which a spreadsheet opens
// as it is (UTF-8 with a byte order mark, CR LF). Cells are data, never formulas: control characters are
// made visible, and a cell that starts with = + - @, a tab or a CR gets a leading ' so a spreadsheet shows
// it as text. The signal column holds the CSQ number read from the answer and its dBm, never the answer.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/answer_scan.h"
#include "cli/csv.h"
#include "cli/operations.h"

CsvRow ReportHeader();
CsvRow ReportRow(const PortResult& result, std::chrono::system_clock::time_point when);

// A cell as the report writes it.
std::string DefusedCell(std::string_view text);
// "22 (-69 dBm)", "99 (not known)", or empty when no CSQ value came.
std::string SignalText(const std::optional<CsqValue>& csq);

// Appends the rows, with the byte order mark and header when the file is empty; each row is one write.
bool AppendReport(const std::string& path, const std::vector<CsvRow>& rows, std::string& error);

// "2024-05-01T10:02:03+08:00", local time.
std::string IsoTime(std::chrono::system_clock::time_point when);
