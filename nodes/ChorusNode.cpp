#include "ChorusNode.h"

#include <algorithm>

#include "AtomicParameter.h"
#include "DelayLineBank.h"
#include "DenormalGuard.h"
#include "EffectSupport.h"
#include "SweepOscillators.h"
#include "SweptLine.h"

namespace orvane::extensions::audioeffects {

class ORVANE_AUDIOEFFECTS_HIDDEN ChorusNode::Internals {
public:
    explicit Internals(std::uint32_t channels) : delayLines(channels), oscillators(channels, 0.2f) {}

    DelayLineBank delayLines;
    SweepOscillators oscillators;
    AtomicParameter<bool> isEnabled{true};
    AtomicParameter<float> sweepWidth{0.025f};
    const float wetMix = 0.8f;
    static constexpr float baseDelay = 1002.0f;
};

namespace {

// Only the dry input enters the line; the output adds the delayed copy.
struct ChorusMix {
    static constexpr bool writesFirst = false;
    float wetMix;
    template <typename T>
    T lineInput(T x, T) const noexcept {
        return x;
    }
    template <typename T>
    T output(T x, T delayed) const noexcept {
        return delayed * wetMix + x;
    }
};

}  // namespace

ChorusNode::ChorusNode(unsigned int numberOfChannels) : internals(std::make_unique<Internals>(numberOfChannels)) {}

ChorusNode::~ChorusNode() = default;

NodeTypeInfo ChorusNode::getNodeTypeInfo() {
    return describeEffect("Chorus", "Chorus", "Applies a chorus effect to the input audio signal.");
}

bool ChorusNode::getIsEnabled() { return internals->isEnabled.load(); }
void ChorusNode::setIsEnabled(bool enabled) { internals->isEnabled.store(enabled); }
float ChorusNode::getSweepWidth() { return internals->sweepWidth.load(); }
void ChorusNode::setSweepWidth(float seconds) { internals->sweepWidth.store(seconds); }
float ChorusNode::getFrequency() { return internals->oscillators.getFrequency(); }
void ChorusNode::setFrequency(float hertz) { internals->oscillators.setFrequency(hertz); }

bool ChorusNode::setBusFormat(AudioBusFormat& inputFormat, AudioBusFormat& outputFormat) {
    return agreeBusFormats(inputFormat, outputFormat, 0, 2);
}

bool ChorusNode::process(AudioBus& inputBus, AudioBus& outputBus) {
    outputBus.copyFrom(inputBus);
    Internals& state = *internals;
    if (!state.isEnabled.load()) return true;

    const BlockShape block = BlockShape::of(inputBus);
    state.delayLines.trackFormat(block.sampleRate, block.channels);
    if (block.frames == 0 || block.channels == 0) return true;

    // The output holds the input now and is processed in place. Each channel's oscillator
    // runs a piece of the block ahead, then that channel's line consumes it.
    const DenormalGuard guard;
    AudioBuffer<float>& output = outputBus.buffer;
    const auto rate = static_cast<float>(block.sampleRate);
    const auto oscillatorRate = static_cast<int>(block.sampleRate);
    const std::uint32_t channels = state.delayLines.channelsWithLines(block.channels);
    const ChorusMix mix{state.wetMix};
    float sweep[maxSweptRun];
    for (std::uint32_t start = 0; start < block.frames; start += maxSweptRun) {
        const std::uint32_t steps = std::min(block.frames - start, maxSweptRun);
        for (std::uint32_t channel = 0; channel < channels; ++channel) {
            state.oscillators[channel].process(oscillatorRate, sweep, steps);
            for (std::uint32_t i = 0; i < steps; ++i) sweep[i] = (sweep[i] * state.sweepWidth.load()) * rate;
            runSweptLine(state.delayLines[channel], output.getChannelData(channel) + start, sweep, steps,
                         Internals::baseDelay, mix);
        }
    }
    return true;
}

}  // namespace orvane::extensions::audioeffects
