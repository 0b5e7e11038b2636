#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "StrictNumber.h"

namespace orvane::testing::tool {
namespace {

using orvane::tools::StrictNumber;

TEST(StrictNumber, DecimalsTooSmallForTheTypeGiveTheNearestValue) {
    const float denormMin = std::numeric_limits<float>::denorm_min();
    EXPECT_EQ(StrictNumber::finite<float>("1e-50"), 0.0f);
    const auto negative = StrictNumber::finite<float>("-1e-50");
    ASSERT_TRUE(negative);
    EXPECT_EQ(*negative, 0.0f);
    EXPECT_TRUE(std::signbit(*negative));
    EXPECT_EQ(StrictNumber::finite<float>("1e-45"), denormMin);
    EXPECT_EQ(StrictNumber::finite<float>("0.8e-45"), denormMin);  // above half the smallest: rounds up
    EXPECT_EQ(StrictNumber::finite<float>("7e-46"), 0.0f);         // below half: rounds to zero
    EXPECT_EQ(StrictNumber::finite<float>("1e-40"), 1e-40f);
    EXPECT_EQ(StrictNumber::finite<double>("1e-400"), 0.0);
    EXPECT_EQ(StrictNumber::finite<double>("1e-50"), 1e-50);
    EXPECT_EQ(StrictNumber::finite<double>("4e-324"), std::numeric_limits<double>::denorm_min());
}

TEST(StrictNumber, OverflowAndNonDecimalsStayRefused) {
    for (const char* text : {"1e39", "-1e39", "1e999", "inf", "nan", "0x10", " 1", "1 ", "1e-50x", "", "e-50", "-"}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(StrictNumber::finite<float>(text));
    }
    for (const char* text : {"1e309", "-1e999", "infinity", "1e-400.5"}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(StrictNumber::finite<double>(text));
    }
    EXPECT_EQ(StrictNumber::finite<float>("3.4028235e38"), std::numeric_limits<float>::max());
}

}  // namespace
}  // namespace orvane::testing::tool
