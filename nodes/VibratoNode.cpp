#include "VibratoNode.h"

#include "EffectParameters.h"
#include "SweptLine.h"

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

namespace {

// The sample enters the line before the read; the output is the delayed signal alone.
struct VibratoWiring {
    static constexpr bool writesFirst = true;
    template <typename T>
    void lineInput(T& into, const T& x, const T&) const noexcept {
        into = x;
    }
    template <typename T>
    void output(T& into, const T&, const T& delayed) const noexcept {
        into = delayed;
    }
};

}  // namespace

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
    // The shared oscillator runs a piece ahead, then every channel's line consumes the same
    // sweep; the sweep runs on through blocks without channels.
    Internals& state = *internals;
    return processSweptBlock(inputBus, outputBus, state.delayLines, state.isEnabled, state.sweepWidth,
                             [&](auto target, const SweptPiece& piece) {
                                 float lfo[maxSweptRun], sweep[maxSweptRun];
                                 state.oscillator.process(target, static_cast<int>(piece.sampleRate), lfo, piece.steps);
                                 widenSweep(lfo, sweep, piece.steps, piece.width, piece.sampleRate);
                                 runSharedSweep(target, state.delayLines.data(), piece.channels, piece.output,
                                                piece.start, sweep, piece.steps, Internals::baseDelay, VibratoWiring{});
                             });
}

}  // namespace orvane::extensions::audioeffects
