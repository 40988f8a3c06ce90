// Port numbers and device paths. The engine names a port by its Windows device path text "\\.\COM7";
// on Linux that number is looked up first in a directory of links (so a test or a user can point COMn at
// any device, a pseudo-terminal included) and then in a fixed table of the usual serial device names.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// $QUENDAL_PORT_DIR if set, else $XDG_RUNTIME_DIR/quendal/ports, else /tmp/quendal-<uid>/ports.
std::string PortDirectory();

// The link or device named COMn in PortDirectory() if there is one; otherwise COM1-COM10 are
// /dev/ttyUSB0-9, COM11-COM20 /dev/ttyACM0-9 and COM21-COM30 /dev/ttyS0-9. Other numbers only have the
// directory entry, which then does not exist.
std::string ResolvePortPath(int n);

// "\\.\COM%d": two backslashes, a point, a backslash, COM and the number.
std::string DevicePathText(int n);

// The n of "\\.\COMn" (the prefix may be left out), or nullopt when the text names no COM port.
std::optional<int> PortNumberFromDevicePath(std::string_view path);

// The file to open for a device path text, or an empty text when it names no COM port.
std::string ResolveDevicePath(std::string_view path);
