#include "VibratoNode.h"

#include <algorithm>

#include "SweptLine.h"

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

namespace {

// The sample enters the line before the read; the output is the delayed signal alone.
struct VibratoWiring {
    static constexpr bool writesFirst = true;
    template <typename T>
    T lineInput(T x, T) const noexcept {
        return x;
    }
    template <typename T>
    T output(T, T delayed) const noexcept {
        return delayed;
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
    outputBus.copyFrom(inputBus);
    Internals& state = *internals;
    if (!state.isEnabled.load()) return true;

    const BlockShape block = BlockShape::of(inputBus);
    state.delayLines.trackFormat(block.sampleRate, block.channels);
    if (block.frames == 0) return true;

    const auto sampleRate = static_cast<int>(block.sampleRate);
    if (block.channels == 0) {
        // The sweep runs on through blocks without channels.
        float ignored[audio::LFO::maxStepsAtOnce];
        for (std::uint32_t start = 0; start < block.frames; start += audio::LFO::maxStepsAtOnce)
            state.oscillator.process(sampleRate, ignored, std::min(block.frames - start, audio::LFO::maxStepsAtOnce));
        return true;
    }

    // The output holds the input now and is processed in place. The shared oscillator runs a
    // piece of the block ahead, then every channel's line consumes the same sweep.
    const DenormalGuard guard;
    AudioBuffer<float>& output = outputBus.buffer;
    const float width = state.sweepWidth.load();
    const std::uint32_t channels = state.delayLines.channelsWithLines(block.channels);
    audio::atSimdLevel([&](auto target) {
        float lfo[maxSweptRun], sweep[maxSweptRun];
        for (std::uint32_t start = 0; start < block.frames; start += maxSweptRun) {
            const std::uint32_t steps = std::min(block.frames - start, maxSweptRun);
            state.oscillator.process(target, sampleRate, lfo, steps);
            widenSweep(lfo, sweep, steps, width, block.sampleRate);
            runSharedSweep(target, state.delayLines.data(), channels, output, start, sweep, steps, Internals::baseDelay,
                           VibratoWiring{});
        }
    });
    return true;
}

}  // namespace orvane::extensions::audioeffects
