// The units file. Linux only: its COM names are resolved through a port directory, here one of the
// test's own, which only the Linux test support makes.
#include "cli/units.h"

#include <gtest/gtest.h>

#include "tests/support/pty_fixture.h"

namespace {

TEST(Units, EachPortGetsItsRowAndEveryFaultIsNamed) {
    // COM names are resolved, through a port directory of this test's own.
    const CPortDirFixture ports;
    std::string error;
    const auto units =
        ParseUnits("port,device_id,remote1_port\r\ncom1,UNIT-1,\r\nCOM2,UNIT-2,6001\r\n", error);
    ASSERT_TRUE(units) << error;
    ASSERT_EQ(units->size(), 2u);
    Profile one;
    ASSERT_FALSE(one.SetFromText("device_id", "UNIT-1"));
    EXPECT_EQ(units->at("COM1"), one);
    Profile two = one;
    ASSERT_FALSE(two.SetFromText("device_id", "UNIT-2"));
    ASSERT_FALSE(two.SetFromText("remote1_port", "6001"));
    EXPECT_EQ(units->at("COM2"), two);

    const struct {
        std::string_view csv;
        std::string error;
    } bad[] = {
        {"device_id\nUNIT-1\n", "line 1: no \"port\" column"},
        {"port,serial\nCOM1,7\n", "line 1: column \"serial\" is not a profile field"},
        {"port,device_id\nCOMX,UNIT-1\n", "row 2: \"COMX\" is neither COMn nor a device path"},
        {"port,remote1_port\nCOM1,70000\n", "row 2: remote1_port: 70000 is outside 0 to 65535"},
        {"port,device_id\nCOM1,0123456789abcdef\n",
         "row 2: device_id: 16 bytes in GBK; the field takes at most 15"},
        {"port,device_id\nCOM1,A\ncom1,B\n", "row 3: COM1 has a row already"},
        {"port,device_id\nCOM1\n", "row 2: 1 cells, the header has 2"},
        {"port,device_id,apn,device_id\nCOM1,A,x,B\n", "line 1: column \"device_id\" is given twice"},
        {"port,apn,port\nCOM1,x,COM2\n", "line 1: column \"port\" is given twice"},
        {"port,apn\nCOM256,x\n", "row 2: COM256: ports are COM1 to COM255"},
        {"", "no header line"},
    };
    for (const auto& c : bad) {
        std::string why;
        EXPECT_FALSE(ParseUnits(c.csv, why)) << c.csv;
        EXPECT_EQ(why, c.error) << c.csv;
    }
}

}  // namespace
