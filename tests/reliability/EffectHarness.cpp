#include "EffectHarness.h"

#include <bit>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
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
    switch (type) {
        case EffectType::Delay:
            return "Delay";
        case EffectType::PingPongDelay:
            return "PingPongDelay";
        case EffectType::Chorus:
            return "Chorus";
        case EffectType::Flanger:
            return "Flanger";
        case EffectType::Vibrato:
            return "Vibrato";
    }
    return "?";
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

template <typename Node>
void setDelayParameter(Node& node, std::string_view name, double value) {
    if (name == "enabled") node.setIsEnabled(value != 0.0);
    if (name == "delayMs") node.setDelayMs(static_cast<unsigned int>(value));
    if (name == "dryMix") node.setDryMix(static_cast<float>(value));
    if (name == "wetMix") node.setWetMix(static_cast<float>(value));
    if (name == "feedbackLevel") node.setFeedbackLevel(static_cast<float>(value));
}

template <typename Node>
void setSweepParameter(Node& node, std::string_view name, double value) {
    if (name == "enabled") node.setIsEnabled(value != 0.0);
    if (name == "sweepWidth") node.setSweepWidth(static_cast<float>(value));
    if (name == "frequency") node.setFrequency(static_cast<float>(value));
}

template <typename Node>
double getDelayParameter(Node& node, std::string_view name) {
    if (name == "enabled") return node.getIsEnabled();
    if (name == "delayMs") return node.getDelayMs();
    if (name == "dryMix") return node.getDryMix();
    if (name == "wetMix") return node.getWetMix();
    return node.getFeedbackLevel();
}

template <typename Node>
double getSweepParameter(Node& node, std::string_view name) {
    if (name == "enabled") return node.getIsEnabled();
    if (name == "sweepWidth") return node.getSweepWidth();
    return node.getFrequency();
}

}  // namespace

double getParameter(SingleBusAudioProcessorNode& node, EffectType type, std::string_view name) {
    switch (type) {
        case EffectType::Delay:
            return getDelayParameter(dynamic_cast<DelayNode&>(node), name);
        case EffectType::PingPongDelay:
            return getDelayParameter(dynamic_cast<PingPongDelayNode&>(node), name);
        case EffectType::Chorus:
            return getSweepParameter(dynamic_cast<ChorusNode&>(node), name);
        case EffectType::Flanger:
            return getSweepParameter(dynamic_cast<FlangerNode&>(node), name);
        case EffectType::Vibrato:
            return getSweepParameter(dynamic_cast<VibratoNode&>(node), name);
    }
    return 0.0;
}

void setParameter(SingleBusAudioProcessorNode& node, EffectType type, std::string_view name, double value) {
    ++harnessCounters().parameterChanges;
    switch (type) {
        case EffectType::Delay:
            return setDelayParameter(dynamic_cast<DelayNode&>(node), name, value);
        case EffectType::PingPongDelay:
            return setDelayParameter(dynamic_cast<PingPongDelayNode&>(node), name, value);
        case EffectType::Chorus:
            return setSweepParameter(dynamic_cast<ChorusNode&>(node), name, value);
        case EffectType::Flanger:
            return setSweepParameter(dynamic_cast<FlangerNode&>(node), name, value);
        case EffectType::Vibrato:
            return setSweepParameter(dynamic_cast<VibratoNode&>(node), name, value);
    }
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

constexpr std::uint32_t markerBits = 0x7fc5a5a5u;
// What survives of a NaN through arithmetic, negation and float/double conversion: the
// sign and the quiet bit may change, the payload below them does not.
constexpr std::uint32_t nanPayloadMask = 0x003fffffu;

}  // namespace

float unwrittenMarker() { return std::bit_cast<float>(markerBits); }

bool isUnwrittenMarker(float sample) { return std::bit_cast<std::uint32_t>(sample) == markerBits; }

float floatFromScriptBits(std::uint32_t bits) {
    const float value = std::bit_cast<float>(bits);
    if (std::isnan(value) && (bits & nanPayloadMask) == (markerBits & nanPayloadMask)) bits ^= 1u;
    return std::bit_cast<float>(bits);
}

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
    for (std::uint32_t c = 0; c < channels; ++c) {
        for (std::uint32_t f = 0; f < frames; ++f) {
            const float sample = out.getSample(c, f);
            if (isUnwrittenMarker(sample))
                return "output sample " + std::to_string(f) + " of channel " + std::to_string(c) + " not written";
            if (expectFinite && !std::isfinite(sample))
                return "output sample " + std::to_string(f) + " of channel " + std::to_string(c) + " is " +
                       std::to_string(sample);
            if (std::bit_cast<std::uint32_t>(in.getSample(c, f)) != std::bit_cast<std::uint32_t>(input.getSample(c, f)))
                return "input sample " + std::to_string(f) + " of channel " + std::to_string(c) + " changed";
        }
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
                if (!fault.empty())
                    return std::string(effectName(type)) + " at " + std::to_string(sampleRate) + " Hz, " +
                           std::to_string(channels) + " channels, " + std::to_string(frames) + " frames: " + fault;
            }
        }
    }
    return {};
}

HarnessCounters& harnessCounters() {
    static HarnessCounters counters;
    return counters;
}

}  // namespace orvane::testing
