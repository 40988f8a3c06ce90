#include "cli/port_target.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>
#include <utility>

#include "cli/port_target_os.h"
#include "serial/port_names.h"
#include "serial/serial_os.h"

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
    if (*n > kLastComNumber) {
        error = std::string(text) + ": ports are COM1 to COM" + std::to_string(kLastComNumber);
        return std::nullopt;
    }
    // The one place a COM name is resolved; the link made below fixes the answer for the whole run.
    std::string label = "COM";
    label += std::to_string(*n);
    PortResolution resolved = ResolvePort(*n);
    return PortTarget{label, std::move(resolved.path), *n, std::move(resolved.refusal)};
}

std::string DeviceOf(const PortTarget& target) {
    std::error_code ec;
    const auto device = std::filesystem::canonical(std::filesystem::path(target.path), ec);
    return ec ? target.path : device.string();
}

PortProbe ProbePort(const PortTarget& target) {
    // A name that leads nowhere is missing, whether or not its resolution also refused it.
    if (const auto state = PathState(target.path)) {
        return *state;
    }
    if (target.refusal) {
        return {PortState::Refused, 0, *target.refusal};
    }
    OsPort* port = nullptr;
    int error = OsOpenPort(DevicePathText(target.engineNumber), port);
    if (error == 0) {
        OsClosePort(port);
        return {PortState::Free, 0, {}};
    }
    if (OsClassifyOpenError(error) == OsOpenFailure::NoAccess) {
        // The engine says "no access" for any name it would not follow, even when the cause was the
        // system's; the device's own answer tells which it was.
        error = DirectOpenError(target.path, error);
    }
    switch (OsClassifyOpenError(error)) {
        case OsOpenFailure::Missing:
            return {PortState::Missing, error, {}};
        case OsOpenFailure::Held:
            return {PortState::Held, error, {}};
        case OsOpenFailure::NoAccess:
            return {PortState::NoAccess, error, {}};
        case OsOpenFailure::Other:
            break;
    }
    return {PortState::Failed, error, {}};
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
            return "cannot be opened: " + OsErrorText(probe.error);
        case PortState::Free:
            return "free";
    }
    return {};
}
