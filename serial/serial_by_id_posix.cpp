#include <dirent.h>
#include <sys/stat.h>

#include <string>

#include "serial/serial_by_id.h"

std::optional<std::string> SerialByIdName(const std::string& path, std::string_view byIdDir) {
    struct stat device {};
    if (stat(path.c_str(), &device) != 0 || !S_ISCHR(device.st_mode)) {
        return std::nullopt;
    }
    const std::string dir(byIdDir);
    DIR* listing = opendir(dir.c_str());
    if (!listing) {
        return std::nullopt;
    }
    std::optional<std::string> found;
    // Compared by device number: the names are links to ../../ttyUSBn, made and removed by udev.
    while (const dirent* entry = readdir(listing)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        const std::string candidate = dir + "/" + name;
        struct stat st {};
        if (stat(candidate.c_str(), &st) == 0 && S_ISCHR(st.st_mode) && st.st_rdev == device.st_rdev) {
            // The first in name order, so the choice does not depend on the listing's order.
            if (!found || candidate < *found) {
                found = candidate;
            }
        }
    }
    closedir(listing);
    return found;
}

bool IsSerialByIdPath(std::string_view path) {
    if (!path.starts_with(kSerialByIdDir) || path.size() <= kSerialByIdDir.size() + 1 ||
        path[kSerialByIdDir.size()] != '/') {
        return false;
    }
    const std::string_view name = path.substr(kSerialByIdDir.size() + 1);
    return name.find('/') == std::string_view::npos && name != "." && name != "..";
}
