#include "FlangerNode.h"

#include "AtomicParameter.h"
#include "DelayLineBank.h"
#include "EffectParameters.h"
#include "EffectState.h"
#include "EffectSupport.h"
#include "SweepOscillators.h"
#include "SweptBlock.h"

namespace orvane::extensions::audioeffects {

class ORVANE_AUDIOEFFECTS_HIDDEN FlangerNode::Internals {
public:
    explicit Internals(std::uint32_t channels)
        : delayLines(channels), oscillators(channels, defaultOf<float>(flangerParameters, "frequency")) {}

    DelayLineBank delayLines;
    SweepOscillators oscillators;
    AtomicParameter<bool> isEnabled{defaultOf<bool>(flangerParameters, "enabled")};
    AtomicParameter<float> sweepWidth{defaultOf<float>(flangerParameters, "sweepWidth")};
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

void EffectState::clear(FlangerNode& node) noexcept {
    FlangerNode::Internals& state = *node.internals;
    state.delayLines.clearWritten();
    state.oscillators.restart();
}

bool FlangerNode::setBusFormat(AudioBusFormat& inputFormat, AudioBusFormat& outputFormat) {
    return agreeBusFormats(inputFormat, outputFormat, 0, 2);
}

bool FlangerNode::process(AudioBus& inputBus, AudioBus& outputBus) {
    Internals& state = *internals;
    return processSweptBlock(inputBus, outputBus, state,
                             {audio::Topology::flanger, Internals::baseDelay, state.wetMix, state.feedbackLevel});
}

}  // namespace orvane::extensions::audioeffects
