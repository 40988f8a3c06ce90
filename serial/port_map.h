// The user's own port names: a file in the user's configuration that says which device each COMn is,
// kept across log-outs, unlike the links of the port directory (port_directory.h), which live in the
// runtime folder. One line per name, as a user would write it by hand:
//
//   # comments and blank lines are allowed
//   COM4 = /dev/serial/by-id/usb-1a86_USB_Serial-if00-port0
//
// A line stands alone, so a wrong one loses only itself: it is reported, and the name it was meant for
// (when it can be told) is refused rather than looked up elsewhere, which would lead to another device.
// Only Linux has the file; Windows names its ports itself (port_map_win32.cpp).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct PortMapEntry {
    int number = 0;    // n of COMn
    std::string path;  // absolute device path
    bool operator==(const PortMapEntry&) const = default;
};

struct PortMapProblem {
    int line = 0;               // 1-based; 0 for the file as a whole
    std::optional<int> number;  // the port the line was meant for, when it can be told
    std::string text;           // "line 3: ..." without the file's name; for line 0 the file and the reason
    bool operator==(const PortMapProblem&) const = default;
};

struct PortMap {
    std::vector<PortMapEntry> entries;  // in file order, each number once
    std::vector<PortMapProblem> problems;
};

// Port names in the file are COM1 to COM255, as on Windows.
constexpr int kLastMappedPort = 255;

PortMap ParsePortMap(std::string_view text);
// The file's text for entries, sorted by number, under a comment that says what the file is.
std::string FormatPortMap(std::vector<PortMapEntry> entries);

// The device the map gives n, or the problem that refuses n; nullopt when the map does not name n. A file
// that cannot be used refuses every n: it may have named any of them.
struct MappedPort {
    std::string path;
    std::optional<std::string> refusal;
};
std::optional<MappedPort> FindMappedPort(const PortMap& map, int n, const std::string& fileName);

// Linux: $XDG_CONFIG_HOME/quendal/ports.conf, else ~/.config/quendal/ports.conf. Windows: nullopt.
std::optional<std::string> PortMapPath();

// The file at PortMapPath(). It decides where the program's bytes go, so it must be a regular file that
// belongs to this user (or root) and that no other user may write (group-writable only by the user's own
// group). An absent file is an empty map; one that cannot be used is one problem (line 0), no entries.
PortMap LoadPortMap();

// A serial device present now, with the stable name udev gives it where there is one.
struct SerialDevice {
    std::string device;  // /dev/ttyUSB0
    std::string byId;    // /dev/serial/by-id/usb-..., or empty
    bool operator==(const SerialDevice&) const = default;
};
// Linux: the ttyUSB and ttyACM devices and every /dev/serial/by-id link, under devRoot, sorted by device.
// Windows: none.
std::vector<SerialDevice> ListSerialDevices(const std::string& devRoot = "/dev");
