#include "DelayNode.h"

#include "AtomicParameter.h"
#include "DelayLineBank.h"
#include "EffectSupport.h"

namespace orvane::extensions::audioeffects {

class ORVANE_AUDIOEFFECTS_HIDDEN DelayNode::Internals {
public:
    explicit Internals(std::uint32_t channels) : numberOfChannels(channels), delayLines(channels) {}

    const std::uint32_t numberOfChannels;
    AtomicParameter<bool> isEnabled{true};
    AtomicParameter<float> dryMix{0.7f};
    AtomicParameter<float> wetMix{0.3f};
    AtomicParameter<unsigned int> delayMs{200};
    AtomicParameter<float> feedbackLevel{0.2f};
    std::uint32_t lastDelayMs = 0;
    DelayLineBank delayLines;
};

DelayNode::DelayNode(unsigned int numberOfChannels) : internals(std::make_unique<Internals>(numberOfChannels)) {}

DelayNode::~DelayNode() = default;

NodeTypeInfo DelayNode::getNodeTypeInfo() {
    return describeEffect("Delay", "Delay", "Applies a delay effect to the input audio signal.");
}

bool DelayNode::getIsEnabled() { return internals->isEnabled.load(); }
void DelayNode::setIsEnabled(bool enabled) { internals->isEnabled.store(enabled); }
float DelayNode::getDryMix() { return internals->dryMix.load(); }
void DelayNode::setDryMix(float gain) { internals->dryMix.store(gain); }
float DelayNode::getWetMix() { return internals->wetMix.load(); }
void DelayNode::setWetMix(float gain) { internals->wetMix.store(gain); }
unsigned int DelayNode::getDelayMs() { return internals->delayMs.load(); }
void DelayNode::setDelayMs(unsigned int milliseconds) { internals->delayMs.store(milliseconds); }
float DelayNode::getFeedbackLevel() { return internals->feedbackLevel.load(); }
void DelayNode::setFeedbackLevel(float gain) { internals->feedbackLevel.store(gain); }

bool DelayNode::setBusFormat(AudioBusFormat& inputFormat, AudioBusFormat& outputFormat) {
    return agreeBusFormats(inputFormat, outputFormat, 0, internals->numberOfChannels);
}

bool DelayNode::process(AudioBus& inputBus, AudioBus& outputBus) {
    outputBus.copyFrom(inputBus);
    Internals& state = *internals;
    const BlockShape block = BlockShape::of(inputBus);
    const unsigned int delayMs = state.delayMs.load();
    if (!state.isEnabled.load() || delayMs == 0) return true;

    const bool cleared = state.delayLines.trackFormat(block.sampleRate, block.channels);
    if (cleared || delayMs != state.lastDelayMs) {
        const auto delaySamples = static_cast<int>(
            delayInSamples(delayMs, block.sampleRate, static_cast<std::uint32_t>(DelayLineBank::slotsPerLine)));
        for (auto& line : state.delayLines) line.setReadPointer(line.writePointer - delaySamples);
        state.lastDelayMs = delayMs;
    }
    if (block.frames == 0 || block.channels == 0) return true;

    const AudioBuffer<float>& input = inputBus.buffer;
    AudioBuffer<float>& output = outputBus.buffer;
    const std::uint32_t channels = state.delayLines.channelsWithLines(block.channels);
    for (std::uint32_t frame = 0; frame < block.frames; ++frame) {
        for (std::uint32_t channel = 0; channel < channels; ++channel) {
            audio::CircularBuffer& line = state.delayLines[channel];
            const float x = input.getSample(channel, frame);
            const float delayed = line.readSample();
            line.writeSample(state.feedbackLevel.load() * delayed + x);
            line.stepWritePointer(1);
            line.stepReadPointer(1);
            output.setSample(channel, frame, delayed * state.wetMix.load() + x * state.dryMix.load());
        }
    }
    return true;
}

}  // namespace orvane::extensions::audioeffects
