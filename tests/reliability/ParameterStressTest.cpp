#include <gtest/gtest.h>

#include <atomic>
#include <cfloat>
#include <cmath>
#include <random>
#include <thread>

#include "EffectHarness.h"

namespace orvane::testing {
namespace {

constexpr int blocksPerRun = 3000;
constexpr std::uint32_t framesPerBlock = 32;

double extremeValue(std::mt19937& random, const std::string& name) {
    static constexpr double values[] = {0.0,   -0.0,    1.0,      -1.0,     FLT_TRUE_MIN, 1e30,
                                        -1e30, FLT_MAX, -FLT_MAX, INFINITY, -INFINITY,    NAN};
    if (name == "delayMs") return static_cast<double>(random() % 3 == 0 ? random() : random() % 1500);
    if (random() % 2 == 0) return values[random() % std::size(values)];
    return std::uniform_real_distribution<double>(-2.0, 2.0)(random);
}

double inRangeValue(std::mt19937& random, const std::string& name) {
    if (name == "delayMs") return static_cast<double>(random() % 1200);
    if (name == "feedbackLevel") return std::uniform_real_distribution<double>(0.0, 0.99)(random);
    if (name == "sweepWidth") return std::uniform_real_distribution<double>(0.0, 0.05)(random);
    if (name == "frequency") return std::uniform_real_distribution<double>(0.0, 20.0)(random);
    return std::uniform_real_distribution<double>(0.0, 1.0)(random);
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
            const double value = inRangeOnly ? inRangeValue(random, name) : extremeValue(random, name);
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
    for (int block = 0; block < blocksPerRun && fault.empty(); ++block) {
        const std::uint32_t rate = block % 500 == 499 ? 44100u : 48000u;
        fault =
            processChecked(*node, noiseBlock(2, framesPerBlock, rate, static_cast<std::uint32_t>(block)), inRangeOnly);
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

}  // namespace
}  // namespace orvane::testing
