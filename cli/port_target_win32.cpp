// Windows: COMn is the device itself and the engine opens it by that number, so a run needs no port
// directory; only COM names (or "\\.\COMn") name ports there.
#include "cli/port_target.h"
#include "cli/port_target_os.h"

CRunPortDirectory::~CRunPortDirectory() = default;

bool CRunPortDirectory::Create(std::vector<PortTarget>& targets, std::string& error) {
    for (const PortTarget& target : targets) {
        if (target.engineNumber == 0) {
            error = "\"" + target.label + "\": ports are named COMn on Windows";
            return false;
        }
    }
    return true;
}

// COMn names the device itself; the engine's own error already is the system's.
std::optional<PortProbe> PathState(const std::string&) {
    return std::nullopt;
}

int DirectOpenError(const std::string&, int engineError) {
    return engineError;
}
