// Linux: where the port map lives, whether it can be trusted, and the serial devices present, found by
// their names under /dev without opening any of them.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <system_error>

#include "serial/port_map.h"

namespace {

// A hand-written map is a few lines; far more is not a map.
constexpr std::size_t kLargestMap = 64 * 1024;

std::string EnvOrEmpty(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

PortMap Unusable(const std::string& text) {
    PortMap map;
    map.problems.push_back({0, std::nullopt, text});
    return map;
}

bool IsTtyName(const std::string& name) {
    for (const char* prefix : {"ttyUSB", "ttyACM"}) {
        const std::string_view p(prefix);
        if (name.size() > p.size() && name.starts_with(p) &&
            name.find_first_not_of("0123456789", p.size()) == std::string::npos) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::optional<std::string> PortMapPath() {
    // A relative XDG_CONFIG_HOME is invalid and ignored, as the XDG base directory rules say.
    if (std::string config = EnvOrEmpty("XDG_CONFIG_HOME"); config.starts_with('/')) {
        return config + "/quendal/ports.conf";
    }
    if (std::string home = EnvOrEmpty("HOME"); !home.empty()) {
        return home + "/.config/quendal/ports.conf";
    }
    return std::nullopt;
}

PortMap LoadPortMap() {
    const std::optional<std::string> path = PortMapPath();
    if (!path) {
        return {};
    }
    // Non-blocking, so that a FIFO put in its place cannot hang the open.
    const int fd = open(path->c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return errno == ENOENT ? PortMap{} : Unusable(*path + ": " + std::strerror(errno));
    }
    struct stat st {};
    std::string refusal;
    if (fstat(fd, &st) != 0) {
        refusal = *path + ": " + std::strerror(errno);
    } else if (!S_ISREG(st.st_mode)) {
        refusal = *path + " is not a regular file";
    } else if (st.st_uid != geteuid() && st.st_uid != 0) {
        refusal = *path + " belongs to uid " + std::to_string(st.st_uid) + ", not to you (uid " +
                  std::to_string(geteuid()) + ") or root";
    } else if ((st.st_mode & S_IWOTH) != 0 || ((st.st_mode & S_IWGRP) != 0 && st.st_gid != getegid())) {
        refusal = *path + " is writable by other users";
    } else if (static_cast<std::size_t>(st.st_size) > kLargestMap) {
        refusal = *path + " is too large for a port map";
    }
    std::string text;
    if (refusal.empty()) {
        text.resize(kLargestMap);
        std::size_t used = 0;
        while (used < text.size()) {
            const ssize_t n = read(fd, text.data() + used, text.size() - used);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                refusal = *path + ": " + std::strerror(errno);
            }
            if (n <= 0) {
                break;
            }
            used += static_cast<std::size_t>(n);
        }
        text.resize(used);
    }
    close(fd);
    return refusal.empty() ? ParsePortMap(text) : Unusable(refusal);
}

std::vector<SerialDevice> ListSerialDevices(const std::string& devRoot) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path root = fs::canonical(devRoot, ec);
    if (ec) {
        return {};
    }
    std::map<std::string, SerialDevice> byDevice;
    for (const auto& entry : fs::directory_iterator(root, ec)) {
        const std::string name = entry.path().filename().string();
        if (IsTtyName(name)) {
            byDevice[entry.path().string()].device = entry.path().string();
        }
    }
    for (const auto& entry : fs::directory_iterator(root / "serial" / "by-id", ec)) {
        std::error_code linkError;
        const fs::path device = fs::canonical(entry.path(), linkError);
        if (linkError) {
            continue;  // a link whose device has gone
        }
        SerialDevice& shown = byDevice[device.string()];
        shown.device = device.string();
        // The first name in order, so a device with several shows the same one every time.
        if (shown.byId.empty() || entry.path().string() < shown.byId) {
            shown.byId = entry.path().string();
        }
    }
    std::vector<SerialDevice> devices;
    for (auto& [device, shown] : byDevice) {
        devices.push_back(std::move(shown));
    }
    return devices;
}
