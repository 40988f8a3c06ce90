#include "cli/port_target.h"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>
#include <utility>

#include "serial/port_names.h"
#include "serial/serial_os.h"

namespace {

// Numbers above the window's COM1-COM30 for the links of ports named by path.
constexpr int kFirstPathNumber = 31;

}  // namespace

std::optional<PortTarget> ParsePortArgument(std::string_view text, std::string& error) {
    if (text.starts_with('/')) {
        return PortTarget{std::string(text), std::string(text), 0, std::nullopt};
    }
    std::string upper(text);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    const auto n = PortNumberFromDevicePath(upper);
    if (!n || *n < 1) {
        error = std::string(1, '"').append(text).append("\" is neither COMn nor a device path");
        return std::nullopt;
    }
    // The one place a COM name is resolved; the link made below fixes the answer for the whole run.
    std::string label = "COM";
    label += std::to_string(*n);
    PortResolution resolved = ResolvePort(*n);
    return PortTarget{label, std::move(resolved.path), *n, std::move(resolved.refusal)};
}

PortProbe ProbePort(const PortTarget& target) {
    if (target.refusal) {
        return {PortState::Refused, 0, *target.refusal};
    }
    int fd = -1;
    const int error = OsOpenPort(DevicePathText(target.engineNumber), fd);
    if (error == 0) {
        OsClosePort(fd);
        return {PortState::Free, 0, {}};
    }
    switch (error) {
        case ENOENT:
        case ENXIO:
        case ENODEV:
            return {PortState::Missing, error, {}};
        case EBUSY:
        case EWOULDBLOCK:
            return {PortState::Held, error, {}};
        case EACCES:
        case EPERM:
            return {PortState::NoAccess, error, {}};
        default:
            return {PortState::Failed, error, {}};
    }
}

std::string PortProbeText(const PortProbe& probe) {
    switch (probe.state) {
        case PortState::Missing:
            return "missing";
        case PortState::Held:
            return "held by another program";
        case PortState::NoAccess:
            return "no permission to open it";
        case PortState::Refused:
            return "refused: " + probe.reason;
        case PortState::Failed:
            return std::string("cannot be opened: ") + std::strerror(probe.error);
        case PortState::Free:
            return "free";
    }
    return {};
}

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
