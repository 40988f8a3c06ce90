// Linux only: the directory of COMn links that port names are looked up in first (port_names.h), and the
// checks that make it trusted. Defined in port_names_posix.cpp.
#pragma once

#include <optional>
#include <string>
#include <vector>

// $QUENDAL_PORT_DIR if set, else $XDG_RUNTIME_DIR/quendal/ports, else /tmp/quendal-<uid>/ports.
std::string PortDirectory();

// The directories that must be this user's own, outermost first, ending with PortDirectory(): the
// quendal directory above ports as well, unless $QUENDAL_PORT_DIR names the one directory itself.
std::vector<std::string> PortDirectoryChain();

// The port directory made ready for links: it and the directories of ours above it are made where missing
// (mode 0700, never through a link) and checked as above. fd is the port directory, opened without
// following a link, for the caller to work in and close; -1 with the refusal otherwise.
struct OwnDirectory {
    std::string path;
    int fd = -1;
    std::optional<std::string> refusal;
};
OwnDirectory MakePortDirectory();
