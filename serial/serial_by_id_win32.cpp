// Windows: an adapter keeps its COM number across replugs by the system's own doing; there are no by-id
// names.
#include "serial/serial_by_id.h"

std::optional<std::string> SerialByIdName(const std::string&, std::string_view) {
    return std::nullopt;
}

bool IsSerialByIdPath(std::string_view) {
    return false;
}
