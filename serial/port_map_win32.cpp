// Windows: a port's name is the system's own ("\\.\COM4", kept by the driver for each adapter), so there
// is no map to keep and no device list to offer; the Device Manager renames ports.
#include "serial/port_map.h"

std::optional<std::string> PortMapPath() {
    return std::nullopt;
}

PortMap LoadPortMap() {
    return {};
}

std::vector<SerialDevice> ListSerialDevices(const std::string&) {
    return {};
}
