#include "ScenarioGrid.h"

#include <cfloat>
#include <climits>
#include <cmath>

namespace orvane::testing {

namespace {

constexpr std::uint32_t sampleRates[] = {0, 1, 8000, 22050, 44100, 48000, 96000, 192000, 384000};
constexpr std::uint32_t blockSizes[] = {0, 1, 10, 17, 64, 512, 2027, 4096, 16384};
constexpr double extremeValues[] = {0.0,     -0.0,     1.0,      -1.0,      FLT_TRUE_MIN, -FLT_TRUE_MIN, 1e30, -1e30,
                                    FLT_MAX, -FLT_MAX, INFINITY, -INFINITY, NAN};
constexpr double delayTimes[] = {0, 1, 1000, 1001, 60000, UINT_MAX};

struct Format {
    std::uint32_t sampleRate;
    std::uint32_t channels;
    std::uint32_t frames;
};
constexpr Format parameterFormats[] = {{48000, 2, 512}, {0, 2, 64}, {1, 1, 17}, {384000, 8, 2027}, {44100, 2, 4096}};

std::string describe(EffectType type, std::uint32_t rate, std::uint32_t channels, std::uint32_t frames,
                     const std::string& fault) {
    return std::string(effectName(type)) + " at " + std::to_string(rate) + " Hz, " + std::to_string(channels) +
           " channels, " + std::to_string(frames) + " frames: " + fault;
}

}  // namespace

std::vector<std::string> runFormatGrid(EffectType type) {
    std::vector<std::string> faults;
    auto node = makeEffect(type, 2);
    std::uint32_t seed = 1;
    for (std::uint32_t rate : sampleRates) {
        for (std::uint32_t frames : blockSizes) {
            for (std::uint32_t channels = 0; channels <= 8; ++channels) {
                for (int block = 0; block < 2; ++block) {
                    const std::string fault = processChecked(*node, noiseBlock(channels, frames, rate, seed++), true);
                    if (!fault.empty()) faults.push_back(describe(type, rate, channels, frames, fault));
                }
            }
        }
    }
    return faults;
}

std::vector<std::string> runParameterGrid(EffectType type) {
    std::vector<std::string> faults;
    std::uint32_t seed = 1000;
    for (const std::string& name : parameterNames(type)) {
        const bool isDelayTime = name == "delayMs";
        const std::vector<double> values =
            isDelayTime ? std::vector<double>(std::begin(delayTimes), std::end(delayTimes))
                        : std::vector<double>(std::begin(extremeValues), std::end(extremeValues));
        for (double value : values) {
            auto node = makeEffect(type, 2);
            setParameter(*node, type, name, value);
            const bool finite = parameterInRange(name, value);
            for (const Format& format : parameterFormats) {
                const std::string fault = processChecked(
                    *node, noiseBlock(format.channels, format.frames, format.sampleRate, seed++), finite);
                if (!fault.empty())
                    faults.push_back(describe(type, format.sampleRate, format.channels, format.frames,
                                              name + " = " + std::to_string(value) + ": " + fault));
            }
        }
    }
    return faults;
}

}  // namespace orvane::testing
