#include "serial/port_names.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace {

constexpr std::string_view kDevicePrefix = "\\\\.\\";

std::string EnvOrEmpty(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

}  // namespace

std::string PortDirectory() {
    if (std::string dir = EnvOrEmpty("QUENDAL_PORT_DIR"); !dir.empty()) {
        return dir;
    }
    if (std::string runtime = EnvOrEmpty("XDG_RUNTIME_DIR"); !runtime.empty()) {
        return runtime + "/quendal/ports";
    }
    return "/tmp/quendal-" + std::to_string(getuid()) + "/ports";
}

std::string ResolvePortPath(int n) {
    const std::string linked = PortDirectory() + "/COM" + std::to_string(n);
    struct stat st {};
    if (lstat(linked.c_str(), &st) == 0 || n < 1 || n > 30) {
        return linked;
    }
    if (n <= 10) {
        return "/dev/ttyUSB" + std::to_string(n - 1);
    }
    if (n <= 20) {
        return "/dev/ttyACM" + std::to_string(n - 11);
    }
    return "/dev/ttyS" + std::to_string(n - 21);
}

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

std::string ResolveDevicePath(std::string_view path) {
    const auto n = PortNumberFromDevicePath(path);
    return n ? ResolvePortPath(*n) : std::string();
}
