// The reliability checks: the scenario grid, concurrent parameter changes (run under
// ThreadSanitizer in CI) and the fuzz corpus, all through the checking harness.

#include <gtest/gtest.h>

#include <atomic>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>
#include <vector>

#include "EffectHarness.h"

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

// Prints the totals of the run, quoted in docs/reliability.md.
class CountersReport : public ::testing::Environment {
public:
    void TearDown() override {
        std::printf("[reliability] blocks processed: %llu, parameter changes: %llu\n",
                    static_cast<unsigned long long>(harnessCounters().blocks.load()),
                    static_cast<unsigned long long>(harnessCounters().parameterChanges.load()));
    }
};
const auto* const report = ::testing::AddGlobalTestEnvironment(new CountersReport);

// Any value, extreme and NaN included; or one inside the ranges that promise finite output.
double randomValue(std::mt19937& random, const std::string& name, bool inRange) {
    static constexpr double extremes[] = {0.0,   -0.0,    1.0,      -1.0,     FLT_TRUE_MIN, 1e30,
                                          -1e30, FLT_MAX, -FLT_MAX, INFINITY, -INFINITY,    NAN};
    const auto uniform = [&random](double low, double high) {
        return std::uniform_real_distribution<double>(low, high)(random);
    };
    if (name == "delayMs") return static_cast<double>(inRange || random() % 3 ? random() % 1500 : random());
    if (!inRange) return random() % 2 ? extremes[random() % std::size(extremes)] : uniform(-2.0, 2.0);
    if (name == "feedbackLevel") return uniform(0.0, 0.99);
    if (name == "sweepWidth") return uniform(0.0, 0.05);
    return name == "frequency" ? uniform(0.0, 20.0) : uniform(0.0, 1.0);
}

// The audio thread runs small blocks while two other threads turn every knob.
void stress(EffectType type, bool inRangeOnly) {
    auto node = makeEffect(type, 2);
    const auto& names = parameterNames(type);
    std::atomic<bool> running{true};
    auto turnKnobs = [&](unsigned seed, bool throughProperties) {
        std::mt19937 random(seed);
        while (running.load()) {
            const std::string& name = names[random() % names.size()];
            const double value = randomValue(random, name, inRangeOnly);
            if (name == "enabled" && inRangeOnly) continue;  // keep the effect running
            if (throughProperties) {
                setProperty(*node, name, value);
                (void)node->getValue(name);
            } else {
                setParameter(*node, type, name, value);
                (void)getParameter(*node, type, name);
            }
        }
    };
    const bool pingPong = type == EffectType::PingPongDelay;
    std::thread first(turnKnobs, 1u, false);
    std::thread second(turnKnobs, 2u, pingPong);

    std::string fault;
    for (int block = 0; block < 3000 && fault.empty(); ++block) {  // 32-frame blocks
        const std::uint32_t rate = block % 500 == 499 ? 44100u : 48000u;
        fault = processChecked(*node, noiseBlock(2, 32, rate, static_cast<std::uint32_t>(block)), inRangeOnly);
    }
    running.store(false);
    first.join();
    second.join();
    EXPECT_EQ(fault, "") << effectName(type);
}

class EveryEffectUnderLoad : public ::testing::TestWithParam<EffectType> {};

TEST_P(EveryEffectUnderLoad, SurvivesExtremeValuesFromOtherThreads) { stress(GetParam(), false); }

TEST_P(EveryEffectUnderLoad, StaysFiniteWithInRangeValuesFromOtherThreads) { stress(GetParam(), true); }

INSTANTIATE_TEST_SUITE_P(Concurrency, EveryEffectUnderLoad, ::testing::ValuesIn(allEffectTypes),
                         [](const auto& info) { return std::string(effectName(info.param)); });

// Every committed fuzz input, run through the same harness the fuzzer drives: once as the
// bytes choose the node, then pinned to each node, as CI's fuzzing stage runs them.
TEST(FuzzCorpus, EveryInputRunsCleanlyOnEveryNode) {
    const std::filesystem::path corpus = ORVANE_FUZZ_CORPUS;
    std::size_t inputs = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(corpus)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream file(entry.path(), std::ios::binary);
        const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
        EXPECT_EQ(runScript(bytes.data(), bytes.size()), "") << entry.path();
        for (EffectType type : allEffectTypes)
            EXPECT_EQ(runScript(bytes.data(), bytes.size(), &type), "") << entry.path() << " on " << effectName(type);
        ++inputs;
    }
    EXPECT_GE(inputs, 5u) << "the corpus at " << corpus << " is missing";
}

}  // namespace
}  // namespace orvane::testing
