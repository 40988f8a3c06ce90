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

#include "cli/csv.h"
#include "cli/operations.h"

CsvRow ReportHeader();
CsvRow ReportRow(const PortResult& result, std::chrono::system_clock::time_point when);

// A cell as the report writes it.
std::string DefusedCell(std::string_view text);
// The CSQ number of a signal answer's value, nullopt when it is no CSQ value (0-31, 99).
std::optional<int> CsqNumber(const std::optional<std::string>& csq);
// "22 (-69 dBm)", "99 (not known)", "not a CSQ value", or empty when no answer came.
std::string SignalText(const std::optional<std::string>& csq);

// Appends the rows, with the byte order mark and header when the file is empty; each row is one write.
bool AppendReport(const std::string& path, const std::vector<CsvRow>& rows, std::string& error);

// "2024-05-01T10:02:03+08:00", local time.
std::string IsoTime(std::chrono::system_clock::time_point when);
