// Device path texts and the port numbers in them, the same on every platform.
#include "serial/port_names.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

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

}  // namespace
