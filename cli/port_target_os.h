// What port_target.cpp asks of the system beside the engine, per platform (port_target_posix.cpp,
// port_target_win32.cpp).
#pragma once

#include <optional>
#include <string>

#include "cli/port_target.h"

// Missing when path names nothing (a device that is not plugged in), with the system's error; nullopt
// when the path is there or cannot be judged this way.
std::optional<PortProbe> PathState(const std::string& path);

// The system's error for opening path directly the way a port is opened (0 when it opens), to tell a
// real refusal from the system's own failures; engineError where no direct open applies.
int DirectOpenError(const std::string& path, int engineError);
