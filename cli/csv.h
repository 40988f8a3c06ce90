// CSV as spreadsheets read and write it: fields separated by commas, quoted when they hold a comma, a
// quote or a line break, quotes doubled inside; rows end in CR LF or LF.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

using CsvRow = std::vector<std::string>;

// Rows of text; a UTF-8 byte order mark at the start is dropped, blank lines are skipped. nullopt with
// the line of the fault when a quoted field is not closed.
std::optional<std::vector<CsvRow>> ParseCsv(std::string_view text, std::string& error);

// One row ending in CR LF.
std::string CsvLine(const CsvRow& row);
