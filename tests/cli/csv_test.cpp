#include "cli/csv.h"

#include <gtest/gtest.h>

#include "cli/units.h"

namespace {

TEST(Csv, RowsAsSpreadsheetsWriteThem) {
    const struct {
        std::string_view text;
        std::vector<CsvRow> rows;
    } cases[] = {
        {"a,b\r\nc,d\r\n", {{"a", "b"}, {"c", "d"}}},
        {"\xEF\xBB\xBF"
         "a,b\nc,d",
         {{"a", "b"}, {"c", "d"}}},
        {"a,,\n\n\nb,\"x,y\",\"say \"\"hi\"\"\"\n", {{"a", "", ""}, {"b", "x,y", "say \"hi\""}}},
        {"\"two\nlines\",z\n", {{"two\nlines", "z"}}},
        {"", {}},
    };
    for (const auto& c : cases) {
        std::string error;
        const auto rows = ParseCsv(c.text, error);
        ASSERT_TRUE(rows) << c.text << ": " << error;
        EXPECT_EQ(*rows, c.rows) << c.text;
    }
    std::string error;
    EXPECT_FALSE(ParseCsv("a\nb,\"open\n", error));
    EXPECT_EQ(error, "line 2: a quoted field is not closed");

    EXPECT_EQ(CsvLine({"plain", "a,b", "say \"hi\"", "two\nlines", ""}),
              "plain,\"a,b\",\"say \"\"hi\"\"\",\"two\nlines\",\r\n");
}

TEST(Units, EachPortGetsItsRowAndEveryFaultIsNamed) {
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
        {"", "no header line"},
    };
    for (const auto& c : bad) {
        std::string why;
        EXPECT_FALSE(ParseUnits(c.csv, why)) << c.csv;
        EXPECT_EQ(why, c.error) << c.csv;
    }
}

}  // namespace
