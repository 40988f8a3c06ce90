#include "serial/port_names.h"

namespace {
constexpr std::string_view kDevicePrefix = "\\\\.\\";
}  // namespace

std::string DevicePathText(int n) {
    return std::string(kDevicePrefix) + "COM" + std::to_string(n);
}

std::optional<int> PortNumberFromDevicePath(std::string_view path) {
    if (path.starts_with(kDevicePrefix)) {
        path.remove_prefix(kDevicePrefix.size());
    }
    if (!path.starts_with("COM") || path.size() == 3 || path.size() > 13) {
        return std::nullopt;
    }
    path.remove_prefix(3);
    long long n = 0;
    for (char c : path) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        n = n * 10 + (c - '0');
    }
    if (n > 0x7fffffff) {
        return std::nullopt;
    }
    return static_cast<int>(n);
}

PortResolution ResolveDevicePath(std::string_view path) {
    const auto n = PortNumberFromDevicePath(path);
    return n ? ResolvePort(*n) : PortResolution{};
}
