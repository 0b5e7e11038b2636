#include "ChorusNode.h"

#include "AtomicParameter.h"
#include "DelayLineBank.h"
#include "EffectParameters.h"
#include "EffectState.h"
#include "EffectSupport.h"
#include "SweepOscillators.h"
#include "SweptBlock.h"

namespace orvane::extensions::audioeffects {

class ORVANE_AUDIOEFFECTS_HIDDEN ChorusNode::Internals {
public:
    explicit Internals(std::uint32_t channels)
        : delayLines(channels), oscillators(channels, defaultOf<float>(chorusParameters, "frequency")) {}

    DelayLineBank delayLines;
    SweepOscillators oscillators;
    AtomicParameter<bool> isEnabled{defaultOf<bool>(chorusParameters, "enabled")};
    AtomicParameter<float> sweepWidth{defaultOf<float>(chorusParameters, "sweepWidth")};
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

void EffectState::clear(ChorusNode& node) noexcept {
    ChorusNode::Internals& state = *node.internals;
    state.delayLines.clearWritten();
    state.oscillators.restart();
}

bool ChorusNode::setBusFormat(AudioBusFormat& inputFormat, AudioBusFormat& outputFormat) {
    return agreeBusFormats(inputFormat, outputFormat, 0, 2);
}

bool ChorusNode::process(AudioBus& inputBus, AudioBus& outputBus) {
    Internals& state = *internals;
    return processSweptBlock(inputBus, outputBus, state, {audio::Topology::chorus, Internals::baseDelay, state.wetMix});
}

}  // namespace orvane::extensions::audioeffects
