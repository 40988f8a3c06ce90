// The port map's parser fed arbitrary text, as a hand-edited or damaged ports.conf would be. Every entry
// it keeps names COM1 to COM255 once with an absolute path of one line; every line gives at most one entry
// or problem; and the map written back from the entries reads back as the same entries, without problems.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "serial/port_map.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const PortMap map = ParsePortMap(text);
    std::set<int> numbers;
    for (const PortMapEntry& entry : map.entries) {
        FUZZ_CHECK(entry.number >= 1 && entry.number <= kLastMappedPort);
        FUZZ_CHECK(numbers.insert(entry.number).second);
        FUZZ_CHECK(entry.path.starts_with('/'));
        FUZZ_CHECK(entry.path.find('\n') == std::string::npos);
        FUZZ_CHECK(entry.path.find('\r') == std::string::npos || entry.path.back() != '\r');
    }
    const auto lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
    FUZZ_CHECK(map.entries.size() + map.problems.size() <= lines);
    for (const PortMapProblem& problem : map.problems) {
        FUZZ_CHECK(problem.line >= 1 && static_cast<std::size_t>(problem.line) <= lines);
        FUZZ_CHECK(!problem.number || (*problem.number >= 1 && *problem.number <= kLastMappedPort));
    }

    std::vector<PortMapEntry> sorted = map.entries;
    std::sort(sorted.begin(), sorted.end(),
              [](const PortMapEntry& a, const PortMapEntry& b) { return a.number < b.number; });
    const PortMap back = ParsePortMap(FormatPortMap(map.entries));
    FUZZ_CHECK(back.problems.empty());
    FUZZ_CHECK(back.entries == sorted);
    return 0;
}
