// Linux: ports named by device path reach the engine, which opens ports by number only, through a port
// directory of the run's own.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <filesystem>
#include <set>
#include <string>
#include <system_error>

#include "cli/console.h"
#include "cli/port_target.h"
#include "cli/port_target_os.h"

namespace {

// Numbers above the window's COM1-COM30 for the links of ports named by path.
constexpr int kFirstPathNumber = 31;

}  // namespace

CRunPortDirectory::~CRunPortDirectory() {
    if (!m_path.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    for (const int slot : m_held) {
        ReleaseTemporaryPath(slot);
    }
}

bool CRunPortDirectory::Create(std::vector<PortTarget>& targets, std::string& error) {
    std::string pattern = (std::filesystem::temp_directory_path() / "quendal-cli-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        error = "cannot make a port directory in " + std::filesystem::temp_directory_path().string();
        return false;
    }
    m_path = pattern;
    m_held.push_back(HoldTemporaryPath(m_path.c_str()));
    m_links.reserve(targets.size());
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
        const std::string& link = m_links.emplace_back(m_path + "/COM" + std::to_string(target.engineNumber));
        if (symlink(target.path.c_str(), link.c_str()) != 0) {
            error = "cannot link " + link + " to " + target.path;
            return false;
        }
        m_held.push_back(HoldTemporaryPath(link.c_str()));
    }
    setenv("QUENDAL_PORT_DIR", m_path.c_str(), 1);
    return true;
}

std::optional<PortProbe> PathState(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR)) {
        return PortProbe{PortState::Missing, errno, {}};
    }
    return std::nullopt;
}

int DirectOpenError(const std::string& path, int engineError) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    close(fd);
    return engineError;
}
