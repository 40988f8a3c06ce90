// The engine's error texts with the system's own (errno) texts, and absent ports in a port directory.
#include "serial/serial_port.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "tests/serial/recording_owner.h"
#include "tests/support/pty_fixture.h"

namespace {

TEST(SerialPortErrorTextTest, ComposesTheBoxText) {
    struct Case {
        const char* call;
        int error;
        int port;
        const char* expected;
    };
    const Case cases[] = {
        {"SetCommState()", EINVAL, 3,
         "WARNING:  SetCommState() Failed with the following error: \nInvalid argument\nPort: 3\n"},
        {"ReadFile()", EIO, 1,
         "WARNING:  ReadFile() Failed with the following error: \nInput/output error\nPort: 1\n"},
        {"GetCommState()", ENOTTY, 30,
         "WARNING:  GetCommState() Failed with the following error: \nInappropriate ioctl for device\nPort: "
         "30\n"},
        // No error code is never shown as "Success".
        {"WriteFile()", 0, 2,
         "WARNING:  WriteFile() Failed with the following error: \nInput/output error\nPort: 2\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call);
        EXPECT_EQ(ComposePortErrorText(c.call, c.error, c.port), c.expected);
    }
}

TEST(SerialPortErrorTextTest, LongTextsAreNotCut) {
    const std::string call(300, 'x');
    const std::string text = ComposePortErrorText(call, EIO, 12);
    EXPECT_EQ(text,
              "WARNING:  " + call + " Failed with the following error: \nInput/output error\nPort: 12\n");
}

TEST(SerialPortTest, MissingPortIsRefusedWithoutABox) {
    CPortDirFixture dir;
    ASSERT_FALSE(dir.Path().empty());
    CRecordingOwner owner;
    CSerialPort port;
    // COM31 has no table entry and no link; COM7's link points nowhere.
    ASSERT_EQ(symlink("/nonexistent/ttyUSB6", (dir.Path() + "/COM7").c_str()), 0);
    for (int n : {7, 31}) {
        SCOPED_TRACE(n);
        EXPECT_FALSE(port.OpenPort(&owner, n, 9600, 'N', 8, 1, EV_RXCHAR | EV_RXFLAG, 512));
        EXPECT_FALSE(port.IsOpen());
        EXPECT_FALSE(port.StartWorker());
    }
    EXPECT_TRUE(owner.Errors().empty());
    EXPECT_EQ(owner.Posted(), 0u);
}

}  // namespace
