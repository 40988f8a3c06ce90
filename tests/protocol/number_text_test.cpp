#include "protocol/number_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string_view>

namespace {

TEST(NumberText, ParsesLikeAtoiAndSaturates) {
    struct Case {
        std::string_view text;
        int32_t value;
    };
    const Case cases[] = {
        {"", 0},
        {"   ", 0},
        {"abc", 0},
        {"42", 42},
        {"007", 7},
        {" \t\n\v\f\r42", 42},
        {"+7", 7},
        {"-7", -7},
        {"-0", 0},
        {"+", 0},
        {"-", 0},
        {"- 5", 0},
        {"+-5", 0},
        {"12abc", 12},
        {"1 2", 1},
        {"3.9", 3},
        {"0x10", 0},
        {"\xA1\xCC"
         "5",
         0},
        {std::string_view("12\0"
                          "34",
                          5),
         12},
        {std::string_view("123456", 3), 123},
        {"2147483647", INT32_MAX},
        {"2147483648", INT32_MAX},
        {"3000000000", INT32_MAX},
        {"99999999999", INT32_MAX},
        {"999999999999999999999999999999", INT32_MAX},
        {"-2147483648", INT32_MIN},
        {"-2147483649", INT32_MIN},
        {"-99999999999", INT32_MIN},
        {"00000000000000000000000000012", 12},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Atoi32(c.text), c.value) << "Atoi32 \"" << c.text << '"';
        EXPECT_EQ(Atol32(c.text), c.value) << "Atol32 \"" << c.text << '"';
    }
}

}  // namespace
