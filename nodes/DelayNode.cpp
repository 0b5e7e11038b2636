#include "DelayNode.h"

#include <algorithm>

#include "AtomicParameter.h"
#include "DelayLineBank.h"
#include "DenormalGuard.h"
#include "EffectParameters.h"
#include "EffectState.h"
#include "EffectSupport.h"
#include "audio/Subnormals.h"

namespace orvane::extensions::audioeffects {

class ORVANE_AUDIOEFFECTS_HIDDEN DelayNode::Internals {
public:
    explicit Internals(std::uint32_t channels) : numberOfChannels(channels), delayLines(channels) {}

    const std::uint32_t numberOfChannels;
    AtomicParameter<bool> isEnabled{defaultOf<bool>(delayParameters, "enabled")};
    AtomicParameter<float> dryMix{defaultOf<float>(delayParameters, "dryMix")};
    AtomicParameter<float> wetMix{defaultOf<float>(delayParameters, "wetMix")};
    AtomicParameter<unsigned int> delayMs{defaultOf<unsigned int>(delayParameters, "delayMs")};
    AtomicParameter<float> feedbackLevel{defaultOf<float>(delayParameters, "feedbackLevel")};
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

namespace {

// Runs one channel through its line. The block goes in runs between the points where
// either pointer wraps, so the per-sample work is plain indexing.
void runEcho(audio::CircularBuffer& line, float* samples, std::uint32_t frames, float dryMix, float wetMix,
             float feedbackLevel) noexcept {
    float* const data = line.slots();
    const auto capacity = static_cast<std::uint32_t>(line.getCapacity());
    auto readPointer = static_cast<std::uint32_t>(line.getReadPointer());
    auto writePointer = static_cast<std::uint32_t>(line.getWritePointer());
    for (std::uint32_t done = 0; done < frames;) {
        const std::uint32_t run = std::min({frames - done, capacity - readPointer, capacity - writePointer});
        float* const io = samples + done;
        // The two runs may overlap (a delay shorter than the run): the order of the accesses is kept.
        const float* const reads = data + readPointer;
        float* const writes = data + writePointer;
        for (std::uint32_t i = 0; i < run; ++i) {
            const float x = audio::flushed(io[i]);
            const float delayed = reads[i];
            writes[i] = audio::flushed(audio::flushed(feedbackLevel * delayed) + x);
            io[i] = audio::flushed(audio::flushed(delayed * wetMix) + audio::flushed(x * dryMix));
        }
        done += run;
        readPointer = readPointer + run == capacity ? 0 : readPointer + run;
        writePointer = writePointer + run == capacity ? 0 : writePointer + run;
    }
    line.setReadPointer(static_cast<int>(readPointer));
    line.setWritePointer(static_cast<int>(writePointer));
}

}  // namespace

void EffectState::clear(DelayNode& node) noexcept {
    DelayNode::Internals& state = *node.internals;
    state.delayLines.clearWritten();
    state.lastDelayMs = 0;  // the next block puts the read pointers behind the write pointers
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
        for (auto& line : state.delayLines) line.setReadPointer(line.getWritePointer() - delaySamples);
        state.lastDelayMs = delayMs;
    }
    if (block.frames == 0 || block.channels == 0) return true;

    // The output holds the input now; every channel is processed in place, one after another.
    const DenormalGuard guard;
    AudioBuffer<float>& output = outputBus.buffer;
    const std::uint32_t channels = state.delayLines.channelsWithLines(block.channels);
    float dry = state.dryMix.load(), wet = state.wetMix.load(), feedback = state.feedbackLevel.load();
    if constexpr (audio::flushesInCode) {  // subnormal settings count as zero, as operands do under the guard
        audio::flush(dry);
        audio::flush(wet);
        audio::flush(feedback);
    }
    state.delayLines.noteWritten(block.frames);
    for (std::uint32_t channel = 0; channel < channels; ++channel)
        runEcho(state.delayLines[channel], output.getChannelData(channel), block.frames, dry, wet, feedback);
    return true;
}

}  // namespace orvane::extensions::audioeffects
