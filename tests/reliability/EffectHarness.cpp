#include "EffectHarness.h"

#include <bit>
#include <cfloat>
#include <climits>
#include <cmath>
#include <random>
#include <stdexcept>

#include "nodes/ChorusNode.h"
#include "nodes/DelayNode.h"
#include "nodes/FlangerNode.h"
#include "nodes/PingPongDelayNode.h"
#include "nodes/VibratoNode.h"

namespace orvane::testing {

using namespace orvane::extensions::audioeffects;

const char* effectName(EffectType type) {
    static constexpr const char* names[] = {"Delay", "PingPongDelay", "Chorus", "Flanger", "Vibrato"};
    return names[static_cast<int>(type)];
}

std::unique_ptr<SingleBusAudioProcessorNode> makeEffect(EffectType type, unsigned int numberOfChannels) {
    switch (type) {
        case EffectType::Delay:
            return std::make_unique<DelayNode>(numberOfChannels);
        case EffectType::PingPongDelay:
            return std::make_unique<PingPongDelayNode>(OVAnyMap{});
        case EffectType::Chorus:
            return std::make_unique<ChorusNode>(numberOfChannels);
        case EffectType::Flanger:
            return std::make_unique<FlangerNode>(numberOfChannels);
        case EffectType::Vibrato:
            return std::make_unique<VibratoNode>(numberOfChannels);
    }
    throw std::invalid_argument("unknown effect type");
}

const std::vector<std::string>& parameterNames(EffectType type) {
    static const std::vector<std::string> delays{"enabled", "delayMs", "dryMix", "wetMix", "feedbackLevel"};
    static const std::vector<std::string> modulated{"enabled", "sweepWidth", "frequency"};
    return type == EffectType::Delay || type == EffectType::PingPongDelay ? delays : modulated;
}

namespace {

// Calls f with the node as its own class; the delays and the modulated effects share accessors.
template <typename F>
auto withNodeClass(SingleBusAudioProcessorNode& node, EffectType type, F f) {
    switch (type) {
        case EffectType::Delay:
            return f(dynamic_cast<DelayNode&>(node));
        case EffectType::PingPongDelay:
            return f(dynamic_cast<PingPongDelayNode&>(node));
        case EffectType::Chorus:
            return f(dynamic_cast<ChorusNode&>(node));
        case EffectType::Flanger:
            return f(dynamic_cast<FlangerNode&>(node));
        case EffectType::Vibrato:
            break;
    }
    return f(dynamic_cast<VibratoNode&>(node));
}

}  // namespace

double getParameter(SingleBusAudioProcessorNode& node, EffectType type, std::string_view name) {
    return withNodeClass(node, type, [name](auto& n) -> double {
        if (name == "enabled") return n.getIsEnabled();
        if constexpr (requires { n.getDelayMs(); }) {
            if (name == "delayMs") return n.getDelayMs();
            if (name == "dryMix") return n.getDryMix();
            if (name == "wetMix") return n.getWetMix();
            return n.getFeedbackLevel();
        } else {
            return name == "sweepWidth" ? n.getSweepWidth() : n.getFrequency();
        }
    });
}

void setParameter(SingleBusAudioProcessorNode& node, EffectType type, std::string_view name, double value) {
    ++harnessCounters().parameterChanges;
    const auto number = static_cast<float>(value);
    withNodeClass(node, type, [name, value, number](auto& n) {
        if (name == "enabled") n.setIsEnabled(value != 0.0);
        if constexpr (requires { n.getDelayMs(); }) {
            if (name == "delayMs") n.setDelayMs(static_cast<unsigned int>(value));
            if (name == "dryMix") n.setDryMix(number);
            if (name == "wetMix") n.setWetMix(number);
            if (name == "feedbackLevel") n.setFeedbackLevel(number);
        } else {
            if (name == "sweepWidth") n.setSweepWidth(number);
            if (name == "frequency") n.setFrequency(number);
        }
    });
}

bool setProperty(SingleBusAudioProcessorNode& node, std::string_view name, double value) {
    ++harnessCounters().parameterChanges;
    const std::string key(name);
    if (name == "enabled") return node.setValue(key, OVAny(value != 0.0)).ok();
    if (name == "delayMs") return node.setValue(key, OVAny(static_cast<unsigned int>(value))).ok();
    return node.setValue(key, OVAny(static_cast<float>(value))).ok();
}

bool parameterInRange(std::string_view name, double value) {
    if (name == "dryMix" || name == "wetMix") return value >= 0.0 && value <= 1.0;
    if (name == "feedbackLevel") return value >= 0.0 && value <= 0.99;
    return true;  // the switch, any delay time, and every sweep setting
}

namespace {

// Marks samples the node never wrote: a quiet NaN with a payload arithmetic never makes.
constexpr std::uint32_t markerBits = 0x7fc5a5a5u;
// What survives of a NaN through arithmetic, negation and float/double conversion: the
// sign and the quiet bit may change, the payload below them does not.
constexpr std::uint32_t nanPayloadMask = 0x003fffffu;

float unwrittenMarker() { return std::bit_cast<float>(markerBits); }

bool isUnwrittenMarker(float sample) { return std::bit_cast<std::uint32_t>(sample) == markerBits; }

// The float a script's word stands for, except that a NaN carrying the marker's payload gets
// another one: a node passes NaN payloads through, and a sample it wrote must never look unwritten.
float floatFromScriptBits(std::uint32_t bits) {
    const float value = std::bit_cast<float>(bits);
    if (std::isnan(value) && (bits & nanPayloadMask) == (markerBits & nanPayloadMask)) bits ^= 1u;
    return std::bit_cast<float>(bits);
}

}  // namespace

std::string processChecked(SingleBusAudioProcessorNode& node, const AudioBuffer<float>& input, bool expectFinite) {
    ++harnessCounters().blocks;
    const std::uint32_t channels = input.getNumberOfChannels();
    const std::uint32_t frames = input.getNumberOfFrames();
    AudioBuffer<float> in;
    in.copyFrom(input);
    AudioBuffer<float> out(channels, frames, input.getSampleRate());
    for (std::uint32_t c = 0; c < channels; ++c)
        for (std::uint32_t f = 0; f < frames; ++f) out.setSample(c, f, unwrittenMarker());
    AudioBus inBus(in);
    AudioBus outBus(out);
    auto* observer = harnessCounters().processObserver;
    if (observer) observer(true);
    const bool processed = node.process(inBus, outBus);
    if (observer) observer(false);
    if (!processed) return "process answered false";

    if (out.getNumberOfChannels() != channels || out.getNumberOfFrames() != frames)
        return "the output's shape differs from the input's";
    for (std::uint32_t c = 0; c < channels; ++c)
        for (std::uint32_t f = 0; f < frames; ++f) {
            const auto where = [c, f] { return " sample " + std::to_string(f) + " of channel " + std::to_string(c); };
            const float sample = out.getSample(c, f);
            if (isUnwrittenMarker(sample)) return "output" + where() + " not written";
            if (expectFinite && !std::isfinite(sample)) return "output" + where() + " is " + std::to_string(sample);
            if (std::bit_cast<std::uint32_t>(in.getSample(c, f)) != std::bit_cast<std::uint32_t>(input.getSample(c, f)))
                return "input" + where() + " changed";
        }
    return {};
}

AudioBuffer<float> noiseBlock(std::uint32_t channels, std::uint32_t frames, std::uint32_t sampleRate,
                              std::uint32_t seed) {
    std::mt19937 generator(seed);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    AudioBuffer<float> block(channels, frames, sampleRate);
    for (std::uint32_t c = 0; c < channels; ++c)
        for (std::uint32_t f = 0; f < frames; ++f) block.setSample(c, f, noise(generator));
    return block;
}

namespace {

std::string describe(EffectType type, std::uint32_t rate, std::uint32_t channels, std::uint32_t frames,
                     const std::string& fault) {
    return std::string(effectName(type)) + " at " + std::to_string(rate) + " Hz, " + std::to_string(channels) +
           " channels, " + std::to_string(frames) + " frames: " + fault;
}

// Reads the script's bytes; past the end it answers zeros, so every input is a script.
class ScriptReader {
public:
    ScriptReader(const std::uint8_t* bytes, std::size_t length) : data(bytes), size(length) {}
    bool done() const { return position >= size; }
    std::uint8_t byte() { return position < size ? data[position++] : 0; }
    std::uint32_t word() {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) value = value << 8 | byte();
        return value;
    }

private:
    const std::uint8_t* data;
    std::size_t size;
    std::size_t position = 0;
};

constexpr std::uint32_t sampleRates[] = {0, 1, 8000, 22050, 44100, 48000, 96000, 192000, 384000, 1000};
constexpr double floatValues[] = {0.0,      -0.0,     1.0,       -1.0,  FLT_TRUE_MIN, 1e30, -1e30, FLT_MAX,
                                  -FLT_MAX, INFINITY, -INFINITY, NAN,   0.5,          0.2,  0.99,  4.0,
                                  0.01,     0.025,    0.005,     100.0, 48000.0,      -0.2, 1e-3,  0.7};
constexpr double delayValues[] = {0, 1, 2, 200, 1000, 1001, 60000, UINT_MAX};

double pickValue(ScriptReader& script, const std::string& name) {
    const std::uint8_t selector = script.byte();
    if (name == "delayMs") {
        if (selector >= 240) return script.word();
        return delayValues[selector % std::size(delayValues)];
    }
    if (selector >= 240) return floatFromScriptBits(script.word());
    return floatValues[selector % std::size(floatValues)];
}

}  // namespace

std::string runScript(const std::uint8_t* data, std::size_t size, const EffectType* forcedType) {
    ScriptReader script(data, size);
    const EffectType chosen = allEffectTypes[script.byte() % std::size(allEffectTypes)];
    const EffectType type = forcedType ? *forcedType : chosen;
    auto node = makeEffect(type, script.byte() % 4u);
    const auto& names = parameterNames(type);

    std::vector<bool> inRange(names.size(), true);
    bool tainted = false;  // once a line holds a non-finite or runaway value it may keep it
    std::uint32_t sampleRate = sampleRates[script.byte() % std::size(sampleRates)];
    std::uint32_t channels = script.byte() % 9u;
    std::uint32_t seed = 1;
    std::size_t framesLeft = 1u << 14;  // keeps every script quick

    for (int operations = 0; !script.done() && operations < 256 && framesLeft > 0; ++operations) {
        switch (script.byte() % 5) {
            case 0: {
                const std::size_t index = script.byte() % names.size();
                const double value = pickValue(script, names[index]);
                if (type == EffectType::PingPongDelay && script.byte() % 2 == 0) {
                    setProperty(*node, names[index], value);
                } else {
                    setParameter(*node, type, names[index], value);
                }
                inRange[index] = parameterInRange(names[index], value);
                break;
            }
            case 1: {
                const std::uint8_t selector = script.byte();
                sampleRate = selector >= 250 ? script.word() : sampleRates[selector % std::size(sampleRates)];
                channels = script.byte() % 9u;
                break;
            }
            default: {
                std::uint32_t frames = (std::uint32_t{script.byte()} << 8 | script.byte()) % 4097u;
                if (frames > framesLeft) frames = static_cast<std::uint32_t>(framesLeft);
                framesLeft -= frames;
                AudioBuffer<float> block = noiseBlock(channels, frames, sampleRate, seed++);
                bool finiteInput = true;
                if (script.byte() % 16 == 0 && channels > 0 && frames > 0) {
                    block.setSample(0, frames / 2, floatFromScriptBits(script.word()));
                    finiteInput = std::isfinite(block.getSample(0, frames / 2));
                }
                for (bool ok : inRange) tainted = tainted || !ok;
                tainted = tainted || !finiteInput;
                std::string fault = processChecked(*node, block, !tainted);
                if (!fault.empty()) return describe(type, sampleRate, channels, frames, fault);
            }
        }
    }
    return {};
}

HarnessCounters& harnessCounters() {
    static HarnessCounters counters;
    return counters;
}

// The grid: every rate, block size and channel count, formats switching between blocks; then
// every parameter at its extremes under a few formats.
namespace {

constexpr std::uint32_t gridRates[] = {0, 1, 8000, 22050, 44100, 48000, 96000, 192000, 384000};
constexpr std::uint32_t blockSizes[] = {0, 1, 10, 17, 64, 512, 2027, 4096, 16384};
constexpr double extremeValues[] = {0.0,     -0.0,     1.0,      -1.0,      FLT_TRUE_MIN, -FLT_TRUE_MIN, 1e30, -1e30,
                                    FLT_MAX, -FLT_MAX, INFINITY, -INFINITY, NAN};
constexpr double delayTimes[] = {0, 1, 1000, 1001, 60000, UINT_MAX};

// Rate, channels and frames.
constexpr std::uint32_t parameterFormats[][3] = {
    {48000, 2, 512}, {0, 2, 64}, {1, 1, 17}, {384000, 8, 2027}, {44100, 2, 4096}};

}  // namespace

std::vector<std::string> runFormatGrid(EffectType type) {
    std::vector<std::string> faults;
    auto node = makeEffect(type, 2);
    std::uint32_t seed = 1;
    for (std::uint32_t rate : gridRates)
        for (std::uint32_t frames : blockSizes)
            for (std::uint32_t channels = 0; channels <= 8; ++channels)
                for (int block = 0; block < 2; ++block) {
                    const std::string fault = processChecked(*node, noiseBlock(channels, frames, rate, seed++), true);
                    if (!fault.empty()) faults.push_back(describe(type, rate, channels, frames, fault));
                }
    return faults;
}

std::vector<std::string> runParameterGrid(EffectType type) {
    std::vector<std::string> faults;
    std::uint32_t seed = 1000;
    for (const std::string& name : parameterNames(type)) {
        const std::vector<double> values = name == "delayMs"
                                               ? std::vector(std::begin(delayTimes), std::end(delayTimes))
                                               : std::vector(std::begin(extremeValues), std::end(extremeValues));
        for (double value : values) {
            auto node = makeEffect(type, 2);
            setParameter(*node, type, name, value);
            const bool finite = parameterInRange(name, value);
            for (const auto& [rate, channels, frames] : parameterFormats) {
                const std::string fault = processChecked(*node, noiseBlock(channels, frames, rate, seed++), finite);
                if (!fault.empty())
                    faults.push_back(
                        describe(type, rate, channels, frames, name + " = " + std::to_string(value) + ": " + fault));
            }
        }
    }
    return faults;
}

}  // namespace orvane::testing
