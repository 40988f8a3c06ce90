#include "serial/port_map.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace {

std::string_view Trim(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    return text;
}

// "COM4", "com 4": the number, or nullopt.
std::optional<int> PortNumberOf(std::string_view name) {
    std::string compact;
    for (char c : name) {
        if (!std::isspace(static_cast<unsigned char>(c))) {
            compact.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
        }
    }
    if (!compact.starts_with("COM") || compact.size() == 3 || compact.size() > 6) {
        return std::nullopt;
    }
    int n = 0;
    for (char c : std::string_view(compact).substr(3)) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        n = n * 10 + (c - '0');
    }
    if (n < 1 || n > kLastMappedPort) {
        return std::nullopt;
    }
    return n;
}

// Bytes of a hand-edited file, shown without control characters.
std::string Shown(std::string_view text) {
    std::string shown;
    for (char c : text.substr(0, 80)) {
        const auto u = static_cast<unsigned char>(c);
        shown.push_back(u < 0x20 || u == 0x7f ? '?' : c);
    }
    return text.size() > 80 ? shown + "..." : shown;
}

}  // namespace

PortMap ParsePortMap(std::string_view text) {
    PortMap map;
    std::map<int, int> firstLine;
    int lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const std::size_t end = std::min(text.find('\n'), text.size());
        const std::string_view line = Trim(text.substr(0, end));
        text.remove_prefix(std::min(end + 1, text.size()));
        if (line.empty() || line.front() == '#' || line.front() == ';') {
            continue;
        }
        const std::string at = "line " + std::to_string(lineNumber) + ": ";
        const std::size_t equals = line.find('=');
        const auto n = PortNumberOf(line.substr(0, std::min(equals, line.size())));
        if (!n) {
            map.problems.push_back({lineNumber, std::nullopt,
                                    at + "\"" + Shown(line) +
                                        "\" is not \"COMn = device path\" with n from 1 to " +
                                        std::to_string(kLastMappedPort)});
            continue;
        }
        const std::string name = "COM" + std::to_string(*n);
        const std::string_view path = equals == std::string_view::npos ? "" : Trim(line.substr(equals + 1));
        if (path.empty()) {
            map.problems.push_back({lineNumber, n, at + name + " has no device path"});
        } else if (path.front() != '/') {
            map.problems.push_back(
                {lineNumber, n, at + name + ": \"" + Shown(path) + "\" is not an absolute path"});
        } else if (const auto [first, added] = firstLine.emplace(*n, lineNumber); !added) {
            map.problems.push_back(
                {lineNumber, n,
                 at + name + " is named again (first on line " + std::to_string(first->second) + ")"});
        } else {
            map.entries.push_back({*n, std::string(path)});
        }
    }
    return map;
}

std::string FormatPortMap(std::vector<PortMapEntry> entries) {
    std::sort(entries.begin(), entries.end(),
              [](const PortMapEntry& a, const PortMapEntry& b) { return a.number < b.number; });
    std::string text =
        "# Quendal's port names: COMn = device path, one a line. Names here come after the COMn links of "
        "the\n"
        "# port directory and before the fixed table of /dev/ttyUSB0... devices.\n";
    for (const PortMapEntry& entry : entries) {
        text += "COM" + std::to_string(entry.number) + " = " + entry.path + "\n";
    }
    return text;
}

std::optional<MappedPort> FindMappedPort(const PortMap& map, int n, const std::string& fileName) {
    // A problem on any line meant for n refuses it, even beside a good line: which one was meant is not
    // ours to guess. A file that cannot be used at all might have named any port.
    for (const PortMapProblem& problem : map.problems) {
        if (problem.line == 0) {
            return MappedPort{fileName, problem.text};
        }
        if (problem.number == n) {
            return MappedPort{fileName, fileName + " " + problem.text};
        }
    }
    for (const PortMapEntry& entry : map.entries) {
        if (entry.number == n) {
            return MappedPort{entry.path, std::nullopt};
        }
    }
    return std::nullopt;
}
