#include "pluginbase/decimal.h"

#include <gtest/gtest.h>

namespace chartloom {
namespace {

TEST(ReadDecimal, ReadsLikeTheFeedsAndTagsAreWritten) {
    struct {
        const char* text;
        int64_t value;
    } cases[] = {{"42", 42},
                 {"  \t\n7x", 7},
                 {"-12", -12},
                 {"+5", 5},
                 {"87.5", 87},
                 {"abc", 0},
                 {"", 0},
                 {"- 3", 0},
                 {"--3", 0},
                 {"0012", 12},
                 {nullptr, 0},
                 {"99999999999999999999999", INT64_MAX},
                 {"-99999999999999999999999", INT64_MIN},
                 {"9223372036854775807", INT64_MAX},
                 {"-9223372036854775808", INT64_MIN}};
    for (const auto& c : cases)
        EXPECT_EQ(readDecimal(c.text), c.value) << (c.text ? c.text : "null");
}

TEST(ReadDecimal32, HoldsToTheRange) {
    EXPECT_EQ(readDecimal32("2147483647"), INT32_MAX);
    EXPECT_EQ(readDecimal32("2147483648"), INT32_MAX);
    EXPECT_EQ(readDecimal32("-2147483649"), INT32_MIN);
    EXPECT_EQ(readDecimal32("-3"), -3);
}

}  // namespace
}  // namespace chartloom
