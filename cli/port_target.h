// The ports a run talks to. The user names a port as the window does (COMn: on Linux looked up through the
// port directory and the fixed device table, on Windows the device itself) or, on Linux, by its device
// path. The engine opens ports by number only, so on Linux, before any port is opened, the run makes a port
// directory of its own (mode 0700) with one link per target, COMn for COMn and COM31 upwards for device
// paths, and points the engine at it; everything the user's names resolve to is decided here, in one place,
// first (port_target_posix.cpp; port_target_win32.cpp on Windows, which needs none of it).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct PortTarget {
    std::string label;  // as the user gave it, COM names in upper case
    std::string path;   // the file it names: a link in the port directory or a device
    int engineNumber = 0;
    std::optional<std::string> refusal;  // why the COM name must not be opened (an untrusted link)
};

// Windows numbers serial ports up to COM255.
constexpr int kLastComNumber = 255;

// "COM3" (any case, or "\\.\COM3") up to COM255, or an absolute device path; nullopt with the reason
// otherwise.
std::optional<PortTarget> ParsePortArgument(std::string_view text, std::string& error);

// The device a target leads to, links followed (a COM name, the port directory's link and the device
// path of one device give the same text); the target's path when it leads nowhere yet.
std::string DeviceOf(const PortTarget& target);

enum class PortState { Missing, Held, NoAccess, Refused, Failed, Free };
struct PortProbe {
    PortState state = PortState::Free;
    int error = 0;       // the system's code for a failed open
    std::string reason;  // of a refusal
};
// Opens and closes the port the way the engine opens it (through the run's port directory), to tell
// why it could not be had, or whether it could. A path that leads nowhere is missing, and a failure that
// is the system's (out of file descriptors) is told as that, not as a lack of permission.
PortProbe ProbePort(const PortTarget& target);
std::string PortProbeText(const PortProbe& probe);

class CRunPortDirectory {
  public:
    CRunPortDirectory() = default;
    ~CRunPortDirectory();
    CRunPortDirectory(const CRunPortDirectory&) = delete;
    CRunPortDirectory& operator=(const CRunPortDirectory&) = delete;

    // Gives every target its engine number and link; must run before any thread opens a port. On Windows
    // it only refuses targets that are not COM names.
    bool Create(std::vector<PortTarget>& targets, std::string& error);

  private:
    std::string m_path;
    std::vector<std::string> m_links;  // held for removal on a second interrupt, so never reallocated
    std::vector<int> m_held;
};
