#include "serial/port_names.h"

#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "serial/port_directory.h"
#include "serial/port_map.h"
#include "serial/serial_by_id.h"
#include "serial/serial_os.h"
#include "tests/support/pty_fixture.h"

namespace {

// Sets or clears an environment variable for one scope.
class CEnvGuard {
  public:
    CEnvGuard(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name)) {
            m_old = old;
        }
        if (value) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    ~CEnvGuard() {
        if (m_old) {
            setenv(m_name, m_old->c_str(), 1);
        } else {
            unsetenv(m_name);
        }
    }

  private:
    const char* m_name;
    std::optional<std::string> m_old;
};

// Tests run as root in CI; "another user" is nobody there, and cannot be set up for an ordinary user.
constexpr uid_t kOtherUid = 65534;

// Gives path (a link itself, not what it names) to another user; false where this process may not.
bool GiveAway(const std::string& path) {
    return geteuid() != kOtherUid && lchown(path.c_str(), kOtherUid, kOtherUid) == 0;
}

std::string MakeDir(const std::string& path, mode_t mode) {
    mkdir(path.c_str(), 0700);
    chmod(path.c_str(), mode);
    return path;
}

// Outcome of opening COMn as the engine does; the port is closed again at once.
int TryOpen(int n) {
    OsPort* port = nullptr;
    const int error = OsOpenPort(DevicePathText(n), port);
    if (error == 0) {
        OsClosePort(port);
    }
    return error;
}

TEST(PortNamesTest, DirectoryComesFromTheEnvironment) {
    const std::string fallback = "/tmp/quendal-" + std::to_string(getuid()) + "/ports";
    struct Case {
        const char* portDir;
        const char* runtimeDir;
        std::string expected;
    };
    const Case cases[] = {
        {"/srv/ports", "/run/user/5", "/srv/ports"},
        {"/srv/ports", nullptr, "/srv/ports"},
        {nullptr, "/run/user/5", "/run/user/5/quendal/ports"},
        {"", "/run/user/5", "/run/user/5/quendal/ports"},
        {nullptr, nullptr, fallback},
        {"", "", fallback},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.portDir ? c.portDir : "(unset)") + " / " +
                     (c.runtimeDir ? c.runtimeDir : "(unset)"));
        CEnvGuard portDir("QUENDAL_PORT_DIR", c.portDir);
        CEnvGuard runtimeDir("XDG_RUNTIME_DIR", c.runtimeDir);
        EXPECT_EQ(PortDirectory(), c.expected);
    }
}

TEST(PortNamesTest, DirectoryEntriesWinOverTheTable) {
    CPortDirFixture dir;
    ASSERT_FALSE(dir.Path().empty());
    const std::string d = dir.Path();
    // An entry wins over the table even when it is then refused, as these three are.
    ASSERT_EQ(symlink("/dev/null", (d + "/COM3").c_str()), 0);
    std::ofstream(d + "/COM12") << "a plain file";
    ASSERT_EQ(symlink("/nonexistent/tty", (d + "/COM25").c_str()), 0);

    struct Case {
        int n;
        std::string expected;
    };
    const Case cases[] = {
        {1, "/dev/ttyUSB0"}, {3, d + "/COM3"},     {10, "/dev/ttyUSB9"}, {11, "/dev/ttyACM0"},
        {12, d + "/COM12"},  {20, "/dev/ttyACM9"}, {21, "/dev/ttyS0"},   {25, d + "/COM25"},
        {30, "/dev/ttyS9"},  {0, d + "/COM0"},     {31, d + "/COM31"},   {-1, d + "/COM-1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.n);
        EXPECT_EQ(ResolvePort(c.n).path, c.expected);
    }
}

TEST(PortNamesTest, DevicePathResolvesThroughTheDirectoryAndTable) {
    CPortDirFixture dir;
    ASSERT_FALSE(dir.Path().empty());
    ASSERT_EQ(symlink("/dev/null", (dir.Path() + "/COM2").c_str()), 0);
    EXPECT_EQ(ResolveDevicePath("\\\\.\\COM2").path, dir.Path() + "/COM2");
    EXPECT_EQ(ResolveDevicePath("\\\\.\\COM11").path, "/dev/ttyACM0");
    EXPECT_EQ(ResolveDevicePath("\\\\.\\LPT1").path, "");
}

// A port directory that another local user made (in the shared temporary directory, say) or can write to
// is not trusted however good a terminal its COM1 leads to: the window refuses the entry, the engine does
// not open it, and the simulator does not link there. The same holds for the quendal directory above ports.
TEST(PortNamesTest, DirectoriesOthersCouldHavePlacedAreRefused) {
    CPortDirFixture base;
    CPtyFixture pty;
    ASSERT_FALSE(base.Path().empty());
    ASSERT_TRUE(pty.IsValid()) << pty.Error();
    const std::string b = base.Path();
    const std::string ours = MakeDir(b + "/ours", 0700);
    const std::string others = MakeDir(b + "/others", 0700);
    const bool gaveAway = GiveAway(others);
    const std::string group = MakeDir(b + "/group", 0770);
    const std::string world = MakeDir(b + "/world", 01777);
    ASSERT_EQ(symlink(ours.c_str(), (b + "/link").c_str()), 0);
    const std::string runtime = MakeDir(b + "/runtime", 0700);
    MakeDir(runtime + "/quendal", 0777);
    const std::string runtimePorts = MakeDir(runtime + "/quendal/ports", 0700);
    for (const std::string& dir : {ours, others, group, world, runtimePorts}) {
        ASSERT_FALSE(pty.LinkAs(dir, 1).empty()) << pty.Error();
    }

    struct Case {
        std::string portDir;  // QUENDAL_PORT_DIR; when empty, XDG_RUNTIME_DIR is runtime
        std::string refusal;  // empty: trusted
    };
    const std::string me = std::to_string(geteuid());
    const Case cases[] = {
        {ours, ""},
        {others, others + " belongs to uid 65534, not to you (uid " + me + ")"},
        {group, group + " is writable by its group or others (mode 0770)"},
        {world, world + " is writable by its group or others (mode 1777)"},
        {b + "/link", b + "/link is a symbolic link, not a directory"},
        {b + "/link/", b + "/link is a symbolic link, not a directory"},
        {"", runtime + "/quendal is writable by its group or others (mode 0777)"},
    };
    bool skipped = false;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.portDir.empty() ? "XDG_RUNTIME_DIR=" + runtime : c.portDir);
        if (c.portDir == others && !gaveAway) {
            skipped = true;
            continue;
        }
        CEnvGuard portDirEnv("QUENDAL_PORT_DIR", c.portDir.empty() ? nullptr : c.portDir.c_str());
        CEnvGuard runtimeEnv("XDG_RUNTIME_DIR", runtime.c_str());
        const PortResolution port = ResolvePort(1);
        EXPECT_EQ(port.path, PortDirectory() + "/COM1");
        EXPECT_EQ(port.refusal.value_or(""), c.refusal);
        EXPECT_EQ(TryOpen(1) == 0, c.refusal.empty());
        const OwnDirectory made = MakePortDirectory();
        EXPECT_EQ(made.refusal.value_or(""), c.refusal);
        EXPECT_EQ(made.fd >= 0, c.refusal.empty());
        if (made.fd >= 0) {
            close(made.fd);
        }
    }

    // Where they are missing, both directories are made, for this user alone.
    const std::string fresh = MakeDir(b + "/fresh", 0700);
    {
        CEnvGuard portDirEnv("QUENDAL_PORT_DIR", nullptr);
        CEnvGuard runtimeEnv("XDG_RUNTIME_DIR", fresh.c_str());
        const OwnDirectory made = MakePortDirectory();
        ASSERT_GE(made.fd, 0) << made.refusal.value_or("");
        close(made.fd);
    }
    for (const std::string& dir : {fresh + "/quendal", fresh + "/quendal/ports"}) {
        SCOPED_TRACE(dir);
        struct stat st {};
        ASSERT_EQ(lstat(dir.c_str(), &st), 0);
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        EXPECT_EQ(st.st_uid, geteuid());
        EXPECT_EQ(st.st_mode & 07777, 0700u);
    }
    if (skipped) {
        GTEST_SKIP() << "cannot give a directory to uid " << kOtherUid << " here";
    }
}

// Only a terminal is a port. Anything else a COMn entry leads to is refused without being opened: a
// regular file would take the commands and hand its bytes back as received, a FIFO would echo the
// program's own output, /dev/zero would flood it.
TEST(PortNamesTest, OnlyTerminalsArePorts) {
    CPortDirFixture dir;
    CPtyFixture pty;
    ASSERT_FALSE(dir.Path().empty());
    ASSERT_TRUE(pty.IsValid()) << pty.Error();
    const std::string d = dir.Path();
    const std::string targets = MakeDir(d + "/targets", 0700);
    const std::string file = targets + "/file";
    const std::string fifo = targets + "/fifo";
    const std::string subdir = MakeDir(targets + "/dir", 0700);
    std::ofstream(file) << "bytes that must not arrive";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_FALSE(pty.LinkAs(d, 1).empty()) << pty.Error();
    const std::pair<int, std::string> links[] = {
        {2, file}, {3, fifo}, {4, "/dev/null"}, {5, subdir}, {6, "/nonexistent/tty"}, {8, pty.SlavePath()},
    };
    for (const auto& [n, target] : links) {
        ASSERT_EQ(symlink(target.c_str(), (d + "/COM" + std::to_string(n)).c_str()), 0);
    }
    std::ofstream(d + "/COM7") << "a plain file in place of a link";
    const bool gaveAway = GiveAway(d + "/COM8");

    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    for (const std::string& path : {file, fifo, subdir, d + "/COM7"}) {
        ASSERT_GE(inotify_add_watch(watch, path.c_str(), IN_OPEN | IN_ACCESS | IN_MODIFY), 0);
    }

    struct Case {
        int n;
        std::string refusal;  // empty: a port
    };
    const std::string me = std::to_string(geteuid());
    const Case cases[] = {
        {1, ""},
        {2, d + "/COM2 -> " + file + " is a regular file, not a terminal"},
        {3, d + "/COM3 -> " + fifo + " is a FIFO, not a terminal"},
        {4, d + "/COM4 -> /dev/null is a character device but not a terminal"},
        {5, d + "/COM5 -> " + subdir + " is a directory, not a terminal"},
        {6, d + "/COM6 -> /nonexistent/tty: No such file or directory"},
        {7, d + "/COM7 is a regular file, not a terminal"},
        {8, d + "/COM8 belongs to uid 65534, not to you (uid " + me + ") or root"},
    };
    bool skipped = false;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.n);
        if (c.n == 8 && !gaveAway) {
            skipped = true;
            continue;
        }
        const PortResolution port = ResolvePort(c.n);
        EXPECT_EQ(port.path, d + "/COM" + std::to_string(c.n));
        EXPECT_EQ(port.refusal.value_or(""), c.refusal);
        const int error = TryOpen(c.n);
        EXPECT_EQ(error == 0, c.refusal.empty()) << std::strerror(error);
    }
    char events[4096];
    EXPECT_LT(read(watch, events, sizeof events), 0) << "a refused entry was opened, read or written";
    close(watch);
    if (skipped) {
        GTEST_SKIP() << "cannot give a link to uid " << kOtherUid << " here";
    }
}

// An adapter found again by its by-id name after a replug: the name is looked up by the device it leads to,
// however the device was named, and only the system's own by-id folder is opened by such a name.
TEST(PortNames, SerialByIdNamesAreFoundByTheDeviceTheyLeadTo) {
    CPortDirFixture dir;
    CPtyFixture pty;
    CPtyFixture other;
    ASSERT_TRUE(pty.IsValid() && other.IsValid());
    const std::string byId = MakeDir(dir.Path() + "/by-id", 0700);
    for (const auto& [name, target] :
         {std::pair{"usb-B_Adapter-if00", pty.SlavePath()}, std::pair{"usb-A_Adapter-if00", pty.SlavePath()},
          std::pair{"usb-Null", std::string("/dev/null")}}) {
        ASSERT_EQ(symlink(target.c_str(), (byId + "/" + name).c_str()), 0);
    }
    const std::string com1 = pty.LinkAs(dir.Path(), 1);
    struct Case {
        std::string path;
        std::optional<std::string> name;
    };
    const Case cases[] = {
        {pty.SlavePath(), byId + "/usb-A_Adapter-if00"},  // the first of two names in name order
        {com1, byId + "/usb-A_Adapter-if00"},             // through the port directory's link
        {other.SlavePath(), std::nullopt},                // a device without a name
        {dir.Path() + "/missing", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(SerialByIdName(c.path, byId), c.name);
    }
    EXPECT_EQ(SerialByIdName(pty.SlavePath(), dir.Path() + "/none"), std::nullopt);

    for (const auto& [path, expected] :
         {std::pair{"/dev/serial/by-id/usb-FTDI_FT232R-if00-port0", true},
          std::pair{"/dev/serial/by-id/", false}, std::pair{"/dev/serial/by-id/../../sda", false},
          std::pair{"/dev/serial/by-id/..", false}, std::pair{"/dev/serial/by-idx/usb", false},
          std::pair{"/tmp/by-id/usb-A", false}}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(IsSerialByIdPath(path), expected);
    }
    // A by-id name outside the system's folder is no port name at all.
    OsPort* port = nullptr;
    EXPECT_NE(OsOpenPort(byId + "/usb-A_Adapter-if00", port), 0);
    EXPECT_EQ(port, nullptr);
}

// Writes the user's port map (in the fixture's configuration folder) with mode; returns its path.
std::string WritePortMap(const std::string& text, mode_t mode = 0600) {
    const std::string config = std::getenv("XDG_CONFIG_HOME");
    MakeDir(config + "/quendal", 0700);
    const std::string path = config + "/quendal/ports.conf";
    unlink(path.c_str());
    std::ofstream(path) << text;
    chmod(path.c_str(), mode);
    return path;
}

// The map names ports after the port directory and before the table; what it leads to is judged as a
// port, and a line that is wrong for a name refuses that name instead of falling through to the table.
TEST(PortNamesTest, PortMapComesAfterTheDirectory) {
    CPortDirFixture dir;
    CPtyFixture pty;
    ASSERT_FALSE(dir.Path().empty());
    ASSERT_TRUE(pty.IsValid()) << pty.Error();
    ASSERT_EQ(PortMapPath(), std::string(std::getenv("XDG_CONFIG_HOME")) + "/quendal/ports.conf");
    const std::string d = dir.Path();
    ASSERT_FALSE(pty.LinkAs(d, 1).empty()) << pty.Error();
    const std::string byId = MakeDir(d + "/by-id", 0700) + "/usb-FTDI_FT232R-if00-port0";
    ASSERT_EQ(symlink(pty.SlavePath().c_str(), byId.c_str()), 0);
    const std::string map = WritePortMap(
        "# mine\n"
        "COM1 = /dev/null\n"
        "COM2 = " +
        byId +
        "\n"
        "COM3 = /dev/null\n"
        "COM4 = /nonexistent/usb-gone\n"
        "COM5 = ttyUSB0\n"
        "this line is wrong\n");
    struct Case {
        int n;
        std::string path;
        std::string refusal;  // empty: a port, or absent
        bool opens;
    };
    const Case cases[] = {
        {1, d + "/COM1", "", true},
        {2, byId, "", true},
        {3, "/dev/null", "/dev/null is a character device but not a terminal", false},
        {4, "/nonexistent/usb-gone", "", false},
        {5, map, map + " line 6: COM5: \"ttyUSB0\" is not an absolute path", false},
        {6, "/dev/ttyUSB5", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.n);
        const PortResolution port = ResolvePort(c.n);
        EXPECT_EQ(port.path, c.path);
        EXPECT_EQ(port.refusal.value_or(""), c.refusal);
        if (c.n != 6) {  // a real /dev/ttyUSB5 may be there
            EXPECT_EQ(TryOpen(c.n) == 0, c.opens);
        }
    }
    // Through the link the refusal shows where it leads.
    ASSERT_EQ(symlink("/dev/null", (d + "/null").c_str()), 0);
    WritePortMap("COM3 = " + d + "/null\n");
    EXPECT_EQ(ResolvePort(3).refusal.value_or(""),
              d + "/null -> /dev/null is a character device but not a terminal");
}

// A map that another user could have written, or that is no file, is not used, and no name goes to the
// table in its place: it may have named any of them. A FIFO in its place does not hang the lookup.
TEST(PortNamesTest, PortMapOthersCouldWriteRefusesEveryName) {
    CPortDirFixture dir;
    ASSERT_FALSE(dir.Path().empty());
    const std::string path = WritePortMap("COM1 = /dev/ttyUSB0\n");
    struct Case {
        const char* name;
        std::function<void()> make;
        std::string refusal;
    };
    const Case cases[] = {
        {"ours", [] {}, ""},
        {"world-writable", [&] { chmod(path.c_str(), 0666); }, path + " is writable by other users"},
        {"group-writable, another group",
         [&] {
             chmod(path.c_str(), 0660);
             if (chown(path.c_str(), static_cast<uid_t>(-1), getegid() == 0 ? 1 : 0) != 0) {
                 chmod(path.c_str(),
                       0666);  // cannot give it away here: other users may write it all the same
             }
         },
         path + " is writable by other users"},
        {"fifo",
         [&] {
             unlink(path.c_str());
             mkfifo(path.c_str(), 0600);
         },
         path + " is not a regular file"},
        {"directory",
         [&] {
             unlink(path.c_str());
             mkdir(path.c_str(), 0700);
         },
         path + " is not a regular file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.make();
        const PortResolution port = ResolvePort(7);
        EXPECT_EQ(port.refusal.value_or(""), c.refusal);
        EXPECT_EQ(port.path, c.refusal.empty() ? "/dev/ttyUSB6" : path);
    }
}

// The devices offered in the port map's dialog: ttyUSB and ttyACM, each with its by-id name if it has one.
TEST(PortNamesTest, SerialDevicesWithTheirStableNames) {
    CPortDirFixture dir;
    ASSERT_FALSE(dir.Path().empty());
    const std::string dev = std::filesystem::canonical(dir.Path()).string();
    for (const char* name : {"ttyUSB0", "ttyUSB1", "ttyACM0", "ttyS0", "ttyUSBx", "null"}) {
        std::ofstream(dev + "/" + name) << "";
    }
    MakeDir(dev + "/serial", 0700);
    MakeDir(dev + "/serial/by-id", 0700);
    const std::string ids = dev + "/serial/by-id/";
    ASSERT_EQ(symlink("../../ttyUSB1", (ids + "usb-FTDI_FT232R_A1-if00-port0").c_str()), 0);
    ASSERT_EQ(symlink("../../ttyACM0", (ids + "usb-Quectel_EC20-if02").c_str()), 0);
    ASSERT_EQ(symlink("../../ttyACM0", (ids + "usb-Quectel_EC20-if03").c_str()), 0);
    ASSERT_EQ(symlink("../../ttyS0", (ids + "pci-serial").c_str()), 0);
    ASSERT_EQ(symlink("../../ttyUSB9", (ids + "usb-gone").c_str()), 0);
    const std::vector<SerialDevice> expected = {
        {dev + "/ttyACM0", ids + "usb-Quectel_EC20-if02"},
        {dev + "/ttyS0", ids + "pci-serial"},
        {dev + "/ttyUSB0", ""},
        {dev + "/ttyUSB1", ids + "usb-FTDI_FT232R_A1-if00-port0"},
    };
    EXPECT_EQ(ListSerialDevices(dev), expected);
    EXPECT_TRUE(ListSerialDevices(dev + "/missing").empty());
}

}  // namespace
