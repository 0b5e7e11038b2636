#include "ChorusNode.h"

#include <algorithm>

#include "AtomicParameter.h"
#include "DelayLineBank.h"
#include "DenormalGuard.h"
#include "EffectSupport.h"
#include "SweepOscillators.h"

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
    float sweepShape[audio::LFO::maxStepsAtOnce];
    for (std::uint32_t start = 0; start < block.frames; start += audio::LFO::maxStepsAtOnce) {
        const std::uint32_t steps = std::min(block.frames - start, audio::LFO::maxStepsAtOnce);
        for (std::uint32_t channel = 0; channel < channels; ++channel) {
            state.oscillators[channel].process(oscillatorRate, sweepShape, steps);
            audio::CircularBuffer& line = state.delayLines[channel];
            float* const samples = output.getChannelData(channel) + start;
            int writePointer = line.writePointer;
            for (std::uint32_t i = 0; i < steps; ++i) {
                const float sweep = (sweepShape[i] * state.sweepWidth.load()) * rate;
                const float x = samples[i];
                const float delayed =
                    line.interpolate(sweptReadPosition(writePointer, line.capacity, sweep, Internals::baseDelay));
                line.data[writePointer] = x;
                writePointer = writePointer + 1 == line.capacity ? 0 : writePointer + 1;
                samples[i] = delayed * state.wetMix + x;
            }
            line.writePointer = writePointer;
        }
    }
    return true;
}

}  // namespace orvane::extensions::audioeffects
