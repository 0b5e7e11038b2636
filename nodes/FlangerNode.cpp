#include "FlangerNode.h"

#include "AtomicParameter.h"
#include "DelayLineBank.h"
#include "EffectSupport.h"
#include "SweepOscillators.h"

namespace orvane::extensions::audioeffects {

class ORVANE_AUDIOEFFECTS_HIDDEN FlangerNode::Internals {
public:
    explicit Internals(std::uint32_t channels) : delayLines(channels), oscillators(channels, 0.4f) {}

    DelayLineBank delayLines;
    SweepOscillators oscillators;
    AtomicParameter<bool> isEnabled{true};
    AtomicParameter<float> sweepWidth{0.005f};
    const float wetMix = 0.8f;
    const float feedbackLevel = 0.6f;
    static constexpr float baseDelay = 2.0f;
};

FlangerNode::FlangerNode(unsigned int numberOfChannels) : internals(std::make_unique<Internals>(numberOfChannels)) {}

FlangerNode::~FlangerNode() = default;

NodeTypeInfo FlangerNode::getNodeTypeInfo() {
    return describeEffect("Flanger", "Flanger", "Applies a flanger effect to the input audio signal.");
}

bool FlangerNode::getIsEnabled() { return internals->isEnabled.load(); }
void FlangerNode::setIsEnabled(bool enabled) { internals->isEnabled.store(enabled); }
float FlangerNode::getSweepWidth() { return internals->sweepWidth.load(); }
void FlangerNode::setSweepWidth(float seconds) { internals->sweepWidth.store(seconds); }
float FlangerNode::getFrequency() { return internals->oscillators.getFrequency(); }
void FlangerNode::setFrequency(float hertz) { internals->oscillators.setFrequency(hertz); }

bool FlangerNode::setBusFormat(AudioBusFormat& inputFormat, AudioBusFormat& outputFormat) {
    return agreeBusFormats(inputFormat, outputFormat, 0, 2);
}

bool FlangerNode::process(AudioBus& inputBus, AudioBus& outputBus) {
    outputBus.copyFrom(inputBus);
    Internals& state = *internals;
    if (!state.isEnabled.load()) return true;

    const BlockShape block = BlockShape::of(inputBus);
    state.delayLines.trackFormat(block.sampleRate, block.channels);
    if (block.frames == 0 || block.channels == 0) return true;

    const AudioBuffer<float>& input = inputBus.buffer;
    AudioBuffer<float>& output = outputBus.buffer;
    const auto rate = static_cast<float>(block.sampleRate);
    const auto oscillatorRate = static_cast<int>(block.sampleRate);
    const std::uint32_t channels = state.delayLines.channelsWithLines(block.channels);
    for (std::uint32_t frame = 0; frame < block.frames; ++frame) {
        for (std::uint32_t channel = 0; channel < channels; ++channel) {
            audio::CircularBuffer& line = state.delayLines[channel];
            const float lfo = state.oscillators[channel].process(oscillatorRate);
            const float sweep = (lfo * state.sweepWidth.load()) * rate;
            const float x = input.getSample(channel, frame);
            const float delayed = line.interpolate(sweptReadPosition(line, sweep, Internals::baseDelay));
            line.writeSample(state.feedbackLevel * delayed + x);
            line.stepWritePointer(1);
            output.setSample(channel, frame, delayed * state.wetMix + x);
        }
    }
    return true;
}

}  // namespace orvane::extensions::audioeffects
