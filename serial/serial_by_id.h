// Linux names each USB serial adapter under /dev/serial/by-id after its maker, model and serial number, so
// the name stays with the adapter whichever ttyUSBn or ttyACMn it gets when plugged in again. Windows keeps
// an adapter's COM number itself and has no such names: there both functions find none.
#pragma once

#include <optional>
#include <string>
#include <string_view>

inline constexpr std::string_view kSerialByIdDir = "/dev/serial/by-id";

// The name in byIdDir that leads to the same device as path (which may itself be a link), if one does.
std::optional<std::string> SerialByIdName(const std::string& path, std::string_view byIdDir = kSerialByIdDir);

// Whether path is an entry of /dev/serial/by-id itself (no further folders, no "..").
bool IsSerialByIdPath(std::string_view path);
