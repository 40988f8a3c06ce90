#include "serial/port_names.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>

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
    ASSERT_EQ(symlink("/dev/null", (d + "/COM3").c_str()), 0);
    std::ofstream(d + "/COM12") << "a plain file counts too";
    // A link to nothing still names the port: opening it then fails, as for an absent device.
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
        EXPECT_EQ(ResolvePortPath(c.n), c.expected);
    }
}

TEST(PortNamesTest, DevicePathTextHasTheTwoBackslashPrefix) {
    const std::string text = DevicePathText(7);
    const char expected[] = {'\\', '\\', '.', '\\', 'C', 'O', 'M', '7'};
    EXPECT_EQ(text, std::string(expected, sizeof expected));
    EXPECT_EQ(DevicePathText(30), "\\\\.\\COM30");
}

TEST(PortNamesTest, PortNumberFromDevicePath) {
    struct Case {
        const char* path;
        std::optional<int> expected;
    };
    const Case cases[] = {
        {"\\\\.\\COM7", 7},
        {"\\\\.\\COM30", 30},
        {"COM12", 12},
        {"\\\\.\\COM", {}},
        {"\\\\.\\COMx", {}},
        {"\\\\.\\COM7a", {}},
        {"\\\\.\\LPT1", {}},
        {"\\\\.\\COM-1", {}},
        {"\\\\.\\COM99999999999", {}},
        {"\\\\.\\COM2147483648", {}},
        {"", {}},
        {"\\.\\COM7", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(PortNumberFromDevicePath(c.path), c.expected);
    }
}

TEST(PortNamesTest, DevicePathResolvesThroughTheDirectoryAndTable) {
    CPortDirFixture dir;
    ASSERT_FALSE(dir.Path().empty());
    ASSERT_EQ(symlink("/dev/null", (dir.Path() + "/COM2").c_str()), 0);
    EXPECT_EQ(ResolveDevicePath("\\\\.\\COM2"), dir.Path() + "/COM2");
    EXPECT_EQ(ResolveDevicePath("\\\\.\\COM11"), "/dev/ttyACM0");
    EXPECT_EQ(ResolveDevicePath("\\\\.\\LPT1"), "");
}

}  // namespace
