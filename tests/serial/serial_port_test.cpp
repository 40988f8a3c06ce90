// The engine without a port: nothing it is asked to do reaches the system or the owner.
#include "serial/serial_port.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "tests/serial/recording_owner.h"

namespace {

TEST(SerialPortTest, NewEngineHoldsNoPort) {
    CRecordingOwner owner;
    CSerialPort port;
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(port.StartWorker());
    port.ClosePort();
    const std::uint8_t bytes[] = {1, 2, 3};
    port.WriteBytes(bytes, sizeof bytes);
    port.WriteText("DTU+CONFIG\r");
    EXPECT_FALSE(port.IsOpen());
    EXPECT_TRUE(owner.Errors().empty());
    EXPECT_EQ(owner.Posted(), 0u);
}

}  // namespace
