#include "VibratoNode.h"

#include "AtomicParameter.h"
#include "DelayLineBank.h"
#include "EffectSupport.h"
#include "audio/LFO.h"

namespace orvane::extensions::audioeffects {

class ORVANE_AUDIOEFFECTS_HIDDEN VibratoNode::Internals {
public:
    explicit Internals(std::uint32_t channels) : delayLines(channels) {
        oscillator.setFrequency(4.0f);
        oscillator.setAmplitude(0.5f);
        oscillator.setOffset(0.5f);
    }

    audio::LFO oscillator;
    DelayLineBank delayLines;
    AtomicParameter<bool> isEnabled{true};
    AtomicParameter<float> sweepWidth{0.01f};
    static constexpr float baseDelay = 1.0f;
};

VibratoNode::VibratoNode(unsigned int numberOfChannels) : internals(std::make_unique<Internals>(numberOfChannels)) {}

VibratoNode::~VibratoNode() = default;

NodeTypeInfo VibratoNode::getNodeTypeInfo() {
    return describeEffect("Vibrato", "Vibrato", "Applies a vibrato effect to the input audio signal.");
}

bool VibratoNode::getIsEnabled() { return internals->isEnabled.load(); }
void VibratoNode::setIsEnabled(bool enabled) { internals->isEnabled.store(enabled); }
float VibratoNode::getSweepWidth() { return internals->sweepWidth.load(); }
void VibratoNode::setSweepWidth(float seconds) { internals->sweepWidth.store(seconds); }
float VibratoNode::getFrequency() { return internals->oscillator.getFrequency(); }
void VibratoNode::setFrequency(float hertz) { internals->oscillator.setFrequency(hertz); }

bool VibratoNode::setBusFormat(AudioBusFormat& inputFormat, AudioBusFormat& outputFormat) {
    return agreeBusFormats(inputFormat, outputFormat, 0, 2);
}

bool VibratoNode::process(AudioBus& inputBus, AudioBus& outputBus) {
    outputBus.copyFrom(inputBus);
    Internals& state = *internals;
    if (!state.isEnabled.load()) return true;

    const BlockShape block = BlockShape::of(inputBus);
    state.delayLines.trackFormat(block.sampleRate, block.channels);
    if (block.frames == 0) return true;

    const auto oscillatorRate = static_cast<int>(block.sampleRate);
    if (block.channels == 0) {
        // The sweep runs on through blocks without channels.
        for (std::uint32_t frame = 0; frame < block.frames; ++frame) state.oscillator.process(oscillatorRate);
        return true;
    }

    const AudioBuffer<float>& input = inputBus.buffer;
    AudioBuffer<float>& output = outputBus.buffer;
    const auto rate = static_cast<float>(block.sampleRate);
    const std::uint32_t channels = state.delayLines.channelsWithLines(block.channels);
    for (std::uint32_t frame = 0; frame < block.frames; ++frame) {
        const float lfo = state.oscillator.process(oscillatorRate);
        const float sweep = (lfo * state.sweepWidth.load()) * rate;
        for (std::uint32_t channel = 0; channel < channels; ++channel) {
            audio::CircularBuffer& line = state.delayLines[channel];
            line.writeSample(input.getSample(channel, frame));
            const float delayed = line.interpolate(sweptReadPosition(line, sweep, Internals::baseDelay));
            line.stepWritePointer(1);
            output.setSample(channel, frame, delayed);
        }
    }
    return true;
}

}  // namespace orvane::extensions::audioeffects
