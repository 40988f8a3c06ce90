#include "cli/units.h"

#include <set>
#include <vector>

#include "cli/csv.h"
#include "cli/port_target.h"

std::optional<std::map<std::string, Profile>> ParseUnits(std::string_view csv, std::string& error) {
    const auto rows = ParseCsv(csv, error);
    if (!rows) {
        return std::nullopt;
    }
    if (rows->empty()) {
        error = "no header line";
        return std::nullopt;
    }
    const CsvRow& header = rows->front();
    std::size_t portColumn = header.size();
    std::set<std::string> seen;
    for (std::size_t i = 0; i < header.size(); ++i) {
        // Two columns for one field would leave it to chance which one a unit gets.
        if (!seen.insert(header[i]).second) {
            error = "line 1: column \"" + header[i] + "\" is given twice";
            return std::nullopt;
        }
        if (header[i] == "port") {
            portColumn = i;
        } else if (!FindProfileField(header[i])) {
            error = "line 1: column \"" + header[i] + "\" is not a profile field";
            return std::nullopt;
        }
    }
    if (portColumn == header.size()) {
        error = "line 1: no \"port\" column";
        return std::nullopt;
    }
    std::map<std::string, Profile> units;
    for (std::size_t r = 1; r < rows->size(); ++r) {
        const CsvRow& row = (*rows)[r];
        const std::string where = "row " + std::to_string(r + 1) + ": ";
        if (row.size() != header.size()) {
            error = where + std::to_string(row.size()) + " cells, the header has " +
                    std::to_string(header.size());
            return std::nullopt;
        }
        std::string portError;
        const auto target = ParsePortArgument(row[portColumn], portError);
        if (!target) {
            error = where + portError;
            return std::nullopt;
        }
        Profile profile;
        for (std::size_t i = 0; i < row.size(); ++i) {
            if (i == portColumn || row[i].empty()) {
                continue;
            }
            if (const auto refused = profile.SetFromText(header[i], row[i])) {
                error = where + refused->Text();
                return std::nullopt;
            }
        }
        if (!units.emplace(target->label, std::move(profile)).second) {
            error = where + target->label + " has a row already";
            return std::nullopt;
        }
    }
    return units;
}
