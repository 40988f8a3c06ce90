// Port numbers and device paths. The engine names a port by its Windows device path text "\\.\COM7". On
// Windows that is the device itself. On Linux the number is looked up first in a directory of links (so a
// test or a user can point COMn at any device, a pseudo-terminal included; see port_directory.h), then in
// the user's port map (port_map.h), and then in a fixed table of the usual serial device names.
//
// Whatever a port name leads to is written to and read from as the device, so on Linux nothing another
// local user could have placed is trusted: the port directory, and the directories of ours above it, must
// belong to this user and be writable by nobody else, a COMn entry must belong to this user or root, and
// only a terminal is a port. What fails a check comes back as a refusal naming the path and the reason.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// Where a port name leads and whether it may be opened.
struct PortResolution {
    std::string path;                    // the directory's entry, or the table's device
    std::optional<std::string> refusal;  // why path must not be opened; names the path and the reason
};

// Windows: "\\.\COMn", never refused. Linux: the entry named COMn in PortDirectory() if there is one;
// otherwise the device the port map names (refused with the map's problem when its line for COMn is
// wrong, or when the map file cannot be used); otherwise COM1-COM10 are /dev/ttyUSB0-9, COM11-COM20
// /dev/ttyACM0-9 and COM21-COM30 /dev/ttyS0-9. Other numbers only have the directory entry and the map;
// without either they lead nowhere. An entry is refused when its directory is not ours, when the entry
// belongs to another user, or when it does not lead to a terminal; a table device that exists but is not a
// terminal is refused too. An absent device is no refusal: opening it simply fails. Nothing is opened here.
PortResolution ResolvePort(int n);

// "\\.\COM%d": two backslashes, a point, a backslash, COM and the number.
std::string DevicePathText(int n);

// The n of "\\.\COMn" (the prefix may be left out), or nullopt when the text names no COM port.
std::optional<int> PortNumberFromDevicePath(std::string_view path);

// ResolvePort for a device path text; a text that names no COM port resolves to an empty path.
PortResolution ResolveDevicePath(std::string_view path);
