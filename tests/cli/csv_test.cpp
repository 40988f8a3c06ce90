#include "cli/csv.h"

#include <gtest/gtest.h>

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

}  // namespace
