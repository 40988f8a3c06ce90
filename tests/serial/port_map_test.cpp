#include "serial/port_map.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(PortMap, LinesStandAlone) {
    struct Case {
        const char* name;
        std::string text;
        std::vector<PortMapEntry> entries;
        std::vector<PortMapProblem> problems;
    };
    const Case cases[] = {
        {"empty", "", {}, {}},
        {"comments and blanks", "# a comment\n\n   \n; another\n", {}, {}},
        {"one line",
         "COM4 = /dev/serial/by-id/usb-1a86_USB_Serial-if00-port0\n",
         {{4, "/dev/serial/by-id/usb-1a86_USB_Serial-if00-port0"}},
         {}},
        {"spaces, case, CR LF, no last newline",
         "  com 12=/dev/ttyACM0 \r\nCOM255\t=\t/dev/x",
         {{12, "/dev/ttyACM0"}, {255, "/dev/x"}},
         {}},
        {"a path with spaces", "COM1 = /dev/my port\n", {{1, "/dev/my port"}}, {}},
        {"no port name",
         "ttyUSB0 = /dev/ttyUSB0\nCOM4 /dev/ttyUSB1\n",
         {},
         {{1, std::nullopt,
           "line 1: \"ttyUSB0 = /dev/ttyUSB0\" is not \"COMn = device path\" with n from 1 to 255"},
          {2, std::nullopt,
           "line 2: \"COM4 /dev/ttyUSB1\" is not \"COMn = device path\" with n from 1 to 255"}}},
        {"numbers out of range",
         "COM0 = /dev/a\nCOM256 = /dev/b\n",
         {},
         {{1, std::nullopt, "line 1: \"COM0 = /dev/a\" is not \"COMn = device path\" with n from 1 to 255"},
          {2, std::nullopt,
           "line 2: \"COM256 = /dev/b\" is not \"COMn = device path\" with n from 1 to 255"}}},
        {"no path, relative path",
         "COM2 =\nCOM3 = ttyUSB0\nCOM5 = /dev/ttyUSB4\n",
         {{5, "/dev/ttyUSB4"}},
         {{1, 2, "line 1: COM2 has no device path"},
          {2, 3, "line 2: COM3: \"ttyUSB0\" is not an absolute path"}}},
        {"named twice",
         "COM7 = /dev/a\nCOM8 = /dev/b\ncom7 = /dev/c\n",
         {{7, "/dev/a"}, {8, "/dev/b"}},
         {{3, 7, "line 3: COM7 is named again (first on line 1)"}}},
        {"control characters shown defused",
         std::string("\x1b[2J = x\n"),
         {},
         {{1, std::nullopt, "line 1: \"?[2J = x\" is not \"COMn = device path\" with n from 1 to 255"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const PortMap map = ParsePortMap(c.text);
        EXPECT_EQ(map.entries, c.entries);
        EXPECT_EQ(map.problems, c.problems);
    }
}

TEST(PortMap, WrittenTextReadsBack) {
    const std::vector<PortMapEntry> entries = {{30, "/dev/serial/by-id/usb-b"}, {4, "/dev/ttyUSB3"}};
    const std::string text = FormatPortMap(entries);
    EXPECT_TRUE(text.starts_with("# ")) << text;
    EXPECT_NE(text.find("COM4 = /dev/ttyUSB3\nCOM30 = /dev/serial/by-id/usb-b\n"), std::string::npos) << text;
    const PortMap back = ParsePortMap(text);
    EXPECT_EQ(back.entries,
              (std::vector<PortMapEntry>{{4, "/dev/ttyUSB3"}, {30, "/dev/serial/by-id/usb-b"}}));
    EXPECT_TRUE(back.problems.empty());
}

// A wrong line refuses the name it was meant for and nothing else; a file that cannot be used refuses all.
TEST(PortMap, FindingAName) {
    const PortMap lines = ParsePortMap("COM1 = /dev/a\nCOM2 = b\nCOM3 = /dev/c\nCOM3 = /dev/d\nnonsense\n");
    PortMap unusable;
    unusable.problems.push_back({0, std::nullopt, "/cfg/ports.conf is writable by other users"});
    struct Case {
        const PortMap* map;
        int n;
        std::optional<std::string> path;
        std::optional<std::string> refusal;
    };
    const Case cases[] = {
        {&lines, 1, "/dev/a", std::nullopt},
        {&lines, 2, "/cfg/ports.conf", "/cfg/ports.conf line 2: COM2: \"b\" is not an absolute path"},
        {&lines, 3, "/cfg/ports.conf", "/cfg/ports.conf line 4: COM3 is named again (first on line 3)"},
        {&lines, 4, std::nullopt, std::nullopt},
        {&unusable, 1, "/cfg/ports.conf", "/cfg/ports.conf is writable by other users"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.n);
        const auto found = FindMappedPort(*c.map, c.n, "/cfg/ports.conf");
        ASSERT_EQ(found.has_value(), c.path.has_value());
        if (found) {
            EXPECT_EQ(found->path, *c.path);
            EXPECT_EQ(found->refusal, c.refusal);
        }
    }
}

}  // namespace
