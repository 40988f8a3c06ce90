// The file-system side of port naming: where the port directory is, whether it and its entries can be
// trusted, and whether a device is a terminal, told without opening it.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "serial/port_directory.h"
#include "serial/port_map.h"
#include "serial/port_names.h"

namespace {

// Unix98 pseudo-terminal slaves use majors 136-143 and have no entry in sysfs.
constexpr unsigned kPtySlaveMajorFirst = 136;
constexpr unsigned kPtySlaveMajorLast = 143;

std::string EnvOrEmpty(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::string Errno(const std::string& path, int error) {
    return path + ": " + std::strerror(error);
}

std::string NotYours(const std::string& path, uid_t owner, bool rootToo) {
    return path + " belongs to uid " + std::to_string(owner) + ", not to you (uid " +
           std::to_string(geteuid()) + (rootToo ? ") or root" : ")");
}

std::optional<std::string> DirectoryRefusal(const std::string& dir, const struct stat& st) {
    if (S_ISLNK(st.st_mode)) {
        return dir + " is a symbolic link, not a directory";
    }
    if (!S_ISDIR(st.st_mode)) {
        return dir + " is not a directory";
    }
    if (st.st_uid != geteuid()) {
        return NotYours(dir, st.st_uid, false);
    }
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
        return dir + " is writable by its group or others (mode " + mode + ")";
    }
    return std::nullopt;
}

struct DirectoryCheck {
    bool missing = false;
    int fd = -1;
    std::optional<std::string> refusal;
};

// The last step is opened without following a link and what was opened is judged, so the directory
// checked is the directory used.
DirectoryCheck OpenOwnDirectory(const std::string& dir) {
    DirectoryCheck check;
    const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st {};
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT) {
            check.missing = true;
        } else if ((error == ENOTDIR || error == ELOOP) && lstat(dir.c_str(), &st) == 0) {
            check.refusal = DirectoryRefusal(dir, st);
        }
        if (!check.missing && !check.refusal) {
            check.refusal = Errno(dir, error);
        }
        return check;
    }
    if (fstat(fd, &st) != 0) {
        check.refusal = Errno(dir, errno);
    } else {
        check.refusal = DirectoryRefusal(dir, st);
    }
    if (check.refusal) {
        close(fd);
    } else {
        check.fd = fd;
    }
    return check;
}

// Tells a terminal from other character devices without opening it: opening a modem line raises its
// control lines, and some devices act on being opened. Every terminal driver but the pseudo-terminals'
// registers its devices in sysfs's tty class. Without sysfs nothing can be told here, and the engine's
// check of the opened device decides.
bool IsTerminalDevice(dev_t device) {
    const unsigned major = ::major(device);
    if (major >= kPtySlaveMajorFirst && major <= kPtySlaveMajorLast) {
        return true;
    }
    const std::string subsystem =
        "/sys/dev/char/" + std::to_string(major) + ":" + std::to_string(::minor(device)) + "/subsystem";
    char target[PATH_MAX];
    const ssize_t n = readlink(subsystem.c_str(), target, sizeof target);
    if (n < 0) {
        return access("/sys/dev/char", F_OK) != 0;
    }
    return std::string_view(target, static_cast<std::size_t>(n)).ends_with("/tty");
}

const char* KindOf(mode_t mode) {
    if (S_ISREG(mode)) {
        return "a regular file";
    }
    if (S_ISDIR(mode)) {
        return "a directory";
    }
    if (S_ISFIFO(mode)) {
        return "a FIFO";
    }
    if (S_ISSOCK(mode)) {
        return "a socket";
    }
    if (S_ISBLK(mode)) {
        return "a block device";
    }
    return "a character device";
}

std::optional<std::string> DeviceRefusal(const std::string& shown, const struct stat& st) {
    if (!S_ISCHR(st.st_mode)) {
        return shown + " is " + KindOf(st.st_mode) + ", not a terminal";
    }
    if (!IsTerminalDevice(st.st_rdev)) {
        return shown + " is a character device but not a terminal";
    }
    return std::nullopt;
}

// entryStat is the entry itself (lstat): a link or a device node placed in the port directory.
std::optional<std::string> EntryRefusal(const std::string& entry, const struct stat& entryStat) {
    if (entryStat.st_uid != geteuid() && entryStat.st_uid != 0) {
        return NotYours(entry, entryStat.st_uid, true);
    }
    std::string shown = entry;
    if (S_ISLNK(entryStat.st_mode)) {
        char target[PATH_MAX];
        const ssize_t n = readlink(entry.c_str(), target, sizeof target);
        shown += " -> " + (n < 0 ? std::string("?") : std::string(target, static_cast<std::size_t>(n)));
    }
    struct stat st {};
    if (stat(entry.c_str(), &st) != 0) {
        return Errno(shown, errno);
    }
    return DeviceRefusal(shown, st);
}

// A device the user's port map names: the user chose it, so only its kind is judged.
PortResolution MappedDevice(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        return {path, std::nullopt};  // absent now: the open fails like any absent port's
    }
    std::string shown = path;
    char target[PATH_MAX];
    if (const ssize_t n = readlink(path.c_str(), target, sizeof target); n >= 0) {
        shown += " -> " + std::string(target, static_cast<std::size_t>(n));
    }
    return {path, DeviceRefusal(shown, st)};
}

struct ChainState {
    bool missing = false;
    std::optional<std::string> refusal;
};

ChainState CheckChain() {
    for (const std::string& dir : PortDirectoryChain()) {
        const DirectoryCheck check = OpenOwnDirectory(dir);
        if (check.fd >= 0) {
            close(check.fd);
        }
        if (check.missing || check.refusal) {
            return {check.missing, check.refusal};
        }
    }
    return {};
}

std::optional<std::string> TableDevice(int n) {
    if (n < 1 || n > 30) {
        return std::nullopt;
    }
    if (n <= 10) {
        return "/dev/ttyUSB" + std::to_string(n - 1);
    }
    if (n <= 20) {
        return "/dev/ttyACM" + std::to_string(n - 11);
    }
    return "/dev/ttyS" + std::to_string(n - 21);
}

}  // namespace

std::vector<std::string> PortDirectoryChain() {
    if (std::string dir = EnvOrEmpty("QUENDAL_PORT_DIR"); !dir.empty()) {
        // With a trailing slash even an O_NOFOLLOW open goes through a link.
        while (dir.size() > 1 && dir.back() == '/') {
            dir.pop_back();
        }
        return {dir};
    }
    std::string base;
    if (std::string runtime = EnvOrEmpty("XDG_RUNTIME_DIR"); !runtime.empty()) {
        base = runtime + "/quendal";
    } else {
        base = "/tmp/quendal-" + std::to_string(getuid());
    }
    return {base, base + "/ports"};
}

std::string PortDirectory() {
    return PortDirectoryChain().back();
}

PortResolution ResolvePort(int n) {
    const ChainState chain = CheckChain();
    const std::string entry = PortDirectory() + "/COM" + std::to_string(n);
    struct stat entryStat {};
    if (!chain.missing && lstat(entry.c_str(), &entryStat) == 0) {
        return {entry, chain.refusal ? chain.refusal : EntryRefusal(entry, entryStat)};
    }
    if (const std::optional<std::string> mapPath = PortMapPath()) {
        if (const std::optional<MappedPort> mapped = FindMappedPort(LoadPortMap(), n, *mapPath)) {
            return mapped->refusal ? PortResolution{mapped->path, mapped->refusal}
                                   : MappedDevice(mapped->path);
        }
    }
    const std::optional<std::string> device = TableDevice(n);
    if (!device) {
        // Refused rather than left to fail at the open, which could find a name placed there meanwhile.
        return {entry, chain.refusal.value_or(Errno(entry, ENOENT))};
    }
    struct stat st {};
    if (stat(device->c_str(), &st) != 0) {
        return {*device, std::nullopt};
    }
    return {*device, DeviceRefusal(*device, st)};
}

OwnDirectory MakePortDirectory() {
    const std::vector<std::string> chain = PortDirectoryChain();
    OwnDirectory result;
    result.path = chain.back();
    for (std::size_t i = 0; i < chain.size(); ++i) {
        DirectoryCheck check = OpenOwnDirectory(chain[i]);
        if (check.missing) {
            // mkdir never follows a link; a name that appeared meanwhile is judged like any other.
            if (mkdir(chain[i].c_str(), 0700) != 0 && errno != EEXIST) {
                result.refusal = "cannot make " + Errno(chain[i], errno);
                return result;
            }
            check = OpenOwnDirectory(chain[i]);
        }
        if (check.fd < 0) {
            result.refusal = check.refusal.value_or(Errno(chain[i], ENOENT));
            return result;
        }
        if (i + 1 < chain.size()) {
            close(check.fd);
        } else {
            result.fd = check.fd;
        }
    }
    return result;
}
