#include <gtest/gtest.h>

#include <cstdio>

#include "ScenarioGrid.h"

namespace orvane::testing {
namespace {

class EveryEffect : public ::testing::TestWithParam<EffectType> {};

TEST_P(EveryEffect, FormatsBlockSizesAndChannelCountsAreHandledSafely) {
    for (const std::string& fault : runFormatGrid(GetParam())) ADD_FAILURE() << fault;
}

TEST_P(EveryEffect, ExtremeParametersAreHandledSafely) {
    for (const std::string& fault : runParameterGrid(GetParam())) ADD_FAILURE() << fault;
}

INSTANTIATE_TEST_SUITE_P(Reliability, EveryEffect, ::testing::ValuesIn(allEffectTypes),
                         [](const auto& info) { return std::string(effectName(info.param)); });

// Prints the totals of the run, quoted in the README's reliability figures.
class CountersReport : public ::testing::Environment {
public:
    void TearDown() override {
        std::printf("[reliability] blocks processed: %llu, parameter changes: %llu\n",
                    static_cast<unsigned long long>(harnessCounters().blocks.load()),
                    static_cast<unsigned long long>(harnessCounters().parameterChanges.load()));
    }
};
const auto* const report = ::testing::AddGlobalTestEnvironment(new CountersReport);

}  // namespace
}  // namespace orvane::testing
