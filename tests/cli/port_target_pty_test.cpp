// How quendal-cli names what became of a port: a device that is not there is missing, a system out of file
// descriptors is not a lack of permission, and one device named two ways is one device.
#include "cli/port_target.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tests/support/pty_fixture.h"

namespace {

PortTarget Parsed(const std::string& text) {
    std::string error;
    const auto target = ParsePortArgument(text, error);
    EXPECT_TRUE(target) << text << ": " << error;
    return target.value_or(PortTarget{});
}

TEST(PortTarget, EachFailureIsNamedForWhatItIs) {
    const CPortDirFixture ports;
    CPtyFixture pty;
    ASSERT_TRUE(pty.IsValid()) << pty.Error();
    ASSERT_FALSE(pty.LinkAs(ports.Path(), 2).empty());

    // COM2 (the directory's link), the link's path and the device path are one device.
    const PortTarget byName = Parsed("COM2");
    EXPECT_EQ(DeviceOf(byName), DeviceOf(Parsed(pty.SlavePath())));
    EXPECT_EQ(DeviceOf(byName), DeviceOf(Parsed(ports.Path() + "/COM2")));
    EXPECT_NE(DeviceOf(byName), DeviceOf(Parsed("COM3")));

    // A device path that leads nowhere and a COM name with no device are both missing.
    std::vector<PortTarget> targets = {Parsed(ports.Path() + "/ttyUSB9"), Parsed("COM40"),
                                       Parsed(pty.SlavePath())};
    CRunPortDirectory dir;
    std::string error;
    ASSERT_TRUE(dir.Create(targets, error)) << error;
    EXPECT_EQ(ProbePort(targets[0]).state, PortState::Missing);
    EXPECT_EQ(ProbePort(targets[1]).state, PortState::Missing);
    EXPECT_EQ(ProbePort(targets[2]).state, PortState::Free);

    // Every descriptor taken: the open fails for the system's reason, which is told as it is.
    std::vector<int> taken;
    for (int fd = open("/dev/null", O_RDONLY); fd >= 0; fd = open("/dev/null", O_RDONLY)) {
        taken.push_back(fd);
    }
    const PortProbe exhausted = ProbePort(targets[2]);
    for (const int fd : taken) {
        close(fd);
    }
    EXPECT_EQ(exhausted.state, PortState::Failed);
    EXPECT_EQ(exhausted.error, EMFILE);
    EXPECT_EQ(PortProbeText(exhausted), "cannot be opened: " + std::string(std::strerror(EMFILE)));

    const struct {
        std::string text;
        std::string error;
    } refused[] = {
        {"COM256", "COM256: ports are COM1 to COM255"},
        {"COM0", "\"COM0\" is neither COMn nor a device path"},
        {"ttyUSB0", "\"ttyUSB0\" is neither COMn nor a device path"},
    };
    for (const auto& r : refused) {
        EXPECT_FALSE(ParsePortArgument(r.text, error)) << r.text;
        EXPECT_EQ(error, r.error);
    }
    EXPECT_TRUE(ParsePortArgument("COM255", error));
}

}  // namespace
