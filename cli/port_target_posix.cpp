// Linux: ports named by device path reach the engine, which opens ports by number only, through a port
// directory of the run's own.
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <system_error>

#include "cli/port_target.h"

namespace {

// Numbers above the window's COM1-COM30 for the links of ports named by path.
constexpr int kFirstPathNumber = 31;

}  // namespace

CRunPortDirectory::~CRunPortDirectory() {
    if (!m_path.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
}

bool CRunPortDirectory::Create(std::vector<PortTarget>& targets, std::string& error) {
    std::string pattern = (std::filesystem::temp_directory_path() / "quendal-cli-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        error = "cannot make a port directory in " + std::filesystem::temp_directory_path().string();
        return false;
    }
    m_path = pattern;
    std::set<int> used;
    for (const PortTarget& target : targets) {
        if (target.engineNumber > 0) {
            used.insert(target.engineNumber);
        }
    }
    int next = kFirstPathNumber;
    for (PortTarget& target : targets) {
        if (target.engineNumber == 0) {
            while (used.contains(next)) {
                ++next;
            }
            target.engineNumber = next;
            used.insert(next);
        }
        std::error_code ec;
        if (target.refusal || !std::filesystem::exists(target.path, ec)) {
            continue;  // no link: the engine finds nothing to open, and says so
        }
        const std::string link = m_path + "/COM" + std::to_string(target.engineNumber);
        if (symlink(target.path.c_str(), link.c_str()) != 0) {
            error = "cannot link " + link + " to " + target.path;
            return false;
        }
    }
    setenv("QUENDAL_PORT_DIR", m_path.c_str(), 1);
    return true;
}
