// Decimals at the edges of float and double, as the tool reads every number it is given.
#include "StrictNumber.h"
#include "ToolHarness.h"

namespace orvane::testing::tool {
namespace {

using orvane::tools::StrictNumber;

// 0.8e-45 lies above half the smallest subnormal float and rounds up to it; 7e-46 lies below.
TEST(StrictNumber, TakesFiniteDecimalsAsTheNearestValueAndRefusesTheRest) {
    const float tiny = std::numeric_limits<float>::denorm_min(), most = std::numeric_limits<float>::max();
    const std::pair<const char*, float> floats[] = {{"1e-50", 0.0f}, {"1e-45", tiny},   {"0.8e-45", tiny},
                                                    {"7e-46", 0.0f}, {"1e-40", 1e-40f}, {"3.4028235e38", most}};
    for (const auto& [text, value] : floats) EXPECT_EQ(StrictNumber::finite<float>(text), value) << text;
    for (const char* text : {"1e39", "-1e39", "1e999", "inf", "nan", "0x10", " 1", "1 ", "1e-50x", "", "e-50", "-"})
        EXPECT_FALSE(StrictNumber::finite<float>(text)) << text;
    EXPECT_TRUE(std::signbit(StrictNumber::finite<float>("-1e-50").value()));
    const std::pair<const char*, double> doubles[] = {
        {"1e-400", 0.0}, {"1e-50", 1e-50}, {"4e-324", std::numeric_limits<double>::denorm_min()}};
    for (const auto& [text, value] : doubles) EXPECT_EQ(StrictNumber::finite<double>(text), value) << text;
    for (const char* text : {"1e309", "-1e999", "infinity", "1e-400.5"})
        EXPECT_FALSE(StrictNumber::finite<double>(text));
}

}  // namespace
}  // namespace orvane::testing::tool
