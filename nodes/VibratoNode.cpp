#include "VibratoNode.h"

#include "AtomicParameter.h"
#include "DelayLineBank.h"
#include "EffectParameters.h"
#include "EffectState.h"
#include "EffectSupport.h"
#include "SweptBlock.h"
#include "audio/LFO.h"

namespace orvane::extensions::audioeffects {

class ORVANE_AUDIOEFFECTS_HIDDEN VibratoNode::Internals {
public:
    explicit Internals(std::uint32_t channels) : delayLines(channels) {
        oscillator.setFrequency(defaultOf<float>(vibratoParameters, "frequency"));
        oscillator.setAmplitude(0.5f);
        oscillator.setOffset(0.5f);
    }

    audio::LFO oscillator;
    DelayLineBank delayLines;
    AtomicParameter<bool> isEnabled{defaultOf<bool>(vibratoParameters, "enabled")};
    AtomicParameter<float> sweepWidth{defaultOf<float>(vibratoParameters, "sweepWidth")};
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

void EffectState::clear(VibratoNode& node) noexcept {
    VibratoNode::Internals& state = *node.internals;
    state.delayLines.clearWritten();
    state.oscillator.restart();
}

bool VibratoNode::setBusFormat(AudioBusFormat& inputFormat, AudioBusFormat& outputFormat) {
    return agreeBusFormats(inputFormat, outputFormat, 0, 2);
}

bool VibratoNode::process(AudioBus& inputBus, AudioBus& outputBus) {
    Internals& state = *internals;
    return processSweptBlock(inputBus, outputBus, state, {audio::Topology::vibrato, Internals::baseDelay});
}

}  // namespace orvane::extensions::audioeffects
