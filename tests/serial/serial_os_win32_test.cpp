// The Windows seam's own rules: port names are the devices, error codes get the system's texts in the
// engine's box, and open failures are told apart as the command line reports them.
#include <gtest/gtest.h>

#include <string>

#include "serial/port_names.h"
#include "serial/serial_os.h"
#include "serial/serial_port.h"

// Last: its EV_ macros would otherwise turn the engine's constants of the same names into numbers.
#include <windows.h>

namespace {

TEST(SerialOsWin32Test, ComNamesAreTheDevicesThemselves) {
    for (int n : {1, 7, 30, 255}) {
        SCOPED_TRACE(n);
        const PortResolution port = ResolvePort(n);
        EXPECT_EQ(port.path, "\\\\.\\COM" + std::to_string(n));
        EXPECT_FALSE(port.refusal.has_value());
        EXPECT_EQ(ResolveDevicePath(port.path).path, port.path);
    }
}

TEST(SerialOsWin32Test, ErrorBoxTextCarriesTheSystemTextOnItsOwnLine) {
    struct Case {
        int error;
        std::string system;
    };
    // The system's texts differ by language and Windows version; what the box must hold is whichever one
    // the system gives, without its line end, and never an empty text.
    const Case cases[] = {{ERROR_ACCESS_DENIED, OsErrorText(ERROR_ACCESS_DENIED)},
                          {ERROR_INVALID_PARAMETER, OsErrorText(ERROR_INVALID_PARAMETER)},
                          {0, OsErrorText(OsLostError())}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        EXPECT_FALSE(c.system.empty());
        EXPECT_EQ(c.system.find_first_of("\r\n"), std::string::npos) << c.system;
        EXPECT_EQ(ComposePortErrorText("SetCommState()", c.error, 3),
                  "WARNING:  SetCommState() Failed with the following error: \n" + c.system + "\nPort: 3\n");
    }
    EXPECT_NE(OsErrorText(ERROR_ACCESS_DENIED), OsErrorText(ERROR_FILE_NOT_FOUND));
}

TEST(SerialOsWin32Test, OpenFailuresAreToldApart) {
    struct Case {
        int error;
        OsOpenFailure expected;
    };
    const Case cases[] = {
        {ERROR_FILE_NOT_FOUND, OsOpenFailure::Missing},  {ERROR_PATH_NOT_FOUND, OsOpenFailure::Missing},
        {ERROR_ACCESS_DENIED, OsOpenFailure::Held},      {ERROR_SHARING_VIOLATION, OsOpenFailure::Held},
        {ERROR_INVALID_PARAMETER, OsOpenFailure::Other},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        EXPECT_EQ(OsClassifyOpenError(c.error), c.expected);
    }
    EXPECT_TRUE(OsIsWouldBlock(ERROR_IO_PENDING));
    EXPECT_FALSE(OsIsInterrupted(ERROR_IO_PENDING));
    EXPECT_TRUE(OsIsLost(OsLostError()));
    EXPECT_FALSE(OsIsLost(ERROR_OPERATION_ABORTED));
    // A driver without modem-line calls: DTR/RTS requests then change nothing and show no box.
    EXPECT_TRUE(OsIsNoModemLines(ERROR_INVALID_FUNCTION));
    EXPECT_TRUE(OsIsNoModemLines(ERROR_NOT_SUPPORTED));
    EXPECT_FALSE(OsIsNoModemLines(ERROR_ACCESS_DENIED));
}

// COM0 and a device path that is no COM port never reach CreateFile.
TEST(SerialOsWin32Test, TextsThatNameNoComPortAreMissing) {
    for (const char* path : {"\\\\.\\COM0", "\\\\.\\LPT1", "C:\\Windows", ""}) {
        SCOPED_TRACE(path);
        OsPort* port = nullptr;
        const int error = OsOpenPort(path, port);
        EXPECT_EQ(OsClassifyOpenError(error), OsOpenFailure::Missing);
        EXPECT_EQ(port, nullptr);
    }
}

}  // namespace
