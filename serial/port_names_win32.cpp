// Windows: "\\.\COMn" is the device itself, so there is nothing to look up and nothing to refuse; whether
// the port exists and is free is told by opening it.
#include "serial/port_names.h"

PortResolution ResolvePort(int n) {
    return {DevicePathText(n), std::nullopt};
}
