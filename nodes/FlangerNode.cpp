#include "FlangerNode.h"

#include "EffectParameters.h"
#include "EffectSupport.h"
#include "SweptLine.h"

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

namespace {

// The delayed signal is fed back into the line and added to the dry input.
struct FlangerWiring {
    static constexpr bool writesFirst = false;
    float wetMix;
    float feedbackLevel;
    template <typename T>
    void lineInput(T& into, const T& x, const T& delayed) const noexcept {
        into = feedbackLevel * delayed + x;
    }
    template <typename T>
    void output(T& into, const T& x, const T& delayed) const noexcept {
        into = delayed * wetMix + x;
    }
};

}  // namespace

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
    Internals& state = *internals;
    return processChannelSweeps(inputBus, outputBus, state.delayLines, state.oscillators, state.isEnabled,
                                state.sweepWidth, Internals::baseDelay,
                                FlangerWiring{state.wetMix, state.feedbackLevel});
}

}  // namespace orvane::extensions::audioeffects
