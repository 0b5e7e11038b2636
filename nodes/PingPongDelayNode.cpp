#include "PingPongDelayNode.h"

#include <algorithm>
#include <memory>

#include "AtomicParameter.h"
#include "DelayLineBank.h"
#include "DenormalGuard.h"
#include "EffectParameters.h"
#include "EffectState.h"
#include "EffectSupport.h"
#include "audio/Subnormals.h"
#include "metadata/Vocabulary.h"

namespace orvane::extensions::audioeffects {

namespace {

constexpr auto lineLength = static_cast<std::uint32_t>(DelayLineBank::slotsPerLine);

// A host property record: four entries for a switch, six for a number, no unit entry; the
// numbers in the type the record states (an int's bounds as signed int).
OVAnyMap propertyRecord(const EffectParameter& parameter) {
    const auto value = [&parameter](float number) {
        return parameter.kind == ParameterKind::Int ? OVAny(static_cast<int>(number)) : OVAny(number);
    };
    const std::string& type = parameter.kind == ParameterKind::Boolean ? PROPERTY_TYPE_BOOLEAN
                              : parameter.kind == ParameterKind::Int   ? PROPERTY_TYPE_INT
                                                                       : PROPERTY_TYPE_FLOAT;
    OVAnyMap record{{PROPERTY_FIELD_DESCRIPTION, std::string(parameter.description)}, {PROPERTY_FIELD_TYPE, type}};
    if (parameter.kind == ParameterKind::Boolean) {
        record.set(PROPERTY_FIELD_READ_ONLY, false);
        record.set(PROPERTY_FIELD_DEFAULT_VALUE, parameter.defaultValue != 0.0f);
        return record;
    }
    record.set(PROPERTY_FIELD_DEFAULT_VALUE, value(parameter.defaultValue));
    record.set(PROPERTY_FIELD_MIN_VALUE, value(parameter.minimum));
    record.set(PROPERTY_FIELD_MAX_VALUE, value(parameter.maximum));
    record.set(PROPERTY_FIELD_READ_ONLY, false);
    return record;
}

}  // namespace

class ORVANE_AUDIOEFFECTS_HIDDEN PingPongDelayNode::Internals {
public:
    std::uint32_t lastDelayMs = 0;
    std::uint32_t delaySamples = 0;
    std::uint32_t lastSampleRate = 0;
    std::unique_ptr<float[]> leftBuffer = std::make_unique<float[]>(lineLength);
    std::unique_ptr<float[]> rightBuffer = std::make_unique<float[]>(lineLength);
    std::uint32_t position = 0;       // read and written in the same frame, so one index serves both
    std::uint64_t framesWritten = 0;  // since the last clear: position walks on from 0 one a frame
    AtomicParameter<bool> isEnabled{defaultOf<bool>(pingPongDelayParameters, "enabled")};
    AtomicParameter<unsigned int> delayMs{defaultOf<unsigned int>(pingPongDelayParameters, "delayMs")};
    AtomicParameter<float> dryMix{defaultOf<float>(pingPongDelayParameters, "dryMix")};
    AtomicParameter<float> wetMix{defaultOf<float>(pingPongDelayParameters, "wetMix")};
    AtomicParameter<float> feedbackLevel{defaultOf<float>(pingPongDelayParameters, "feedbackLevel")};
};

PingPongDelayNode::PingPongDelayNode(const OVAnyMap&) : internals(std::make_unique<Internals>()) {
    registerProperties();
}

PingPongDelayNode::~PingPongDelayNode() = default;

NodeTypeInfo PingPongDelayNode::getNodeTypeInfo() {
    NodeTypeInfo info = describeEffect("PingPongDelay", "Ping Pong Delay",
                                       "Applies a ping pong delay effect to the input audio signal.");
    for (const EffectParameter& parameter : pingPongDelayParameters)
        info.properties.set(std::string(parameter.name), propertyRecord(parameter));
    return info;
}

void PingPongDelayNode::registerProperties() {
    const NodeTypeInfo info = getNodeTypeInfo();
    // The getter answers the atomic's value; the setter converts first and stores only a
    // value that converted.
    auto serve = [this, &info](const std::string& name, auto& parameter) {
        using T = decltype(parameter.load());
        PropertyGetter getter = [&parameter]() { return Result<OVAny>::success(OVAny(parameter.load())); };
        PropertySetter setter = [&parameter](const OVAny& value) {
            parameter.store(OVAny::convert<T>(value));
            return Result<void>::success();
        };
        registerProperty(name, info.getProperty(name), OVAny(std::move(getter)), OVAny(std::move(setter)));
    };
    Internals& state = *internals;
    serve("enabled", state.isEnabled);
    serve("delayMs", state.delayMs);
    serve("dryMix", state.dryMix);
    serve("wetMix", state.wetMix);
    serve("feedbackLevel", state.feedbackLevel);
}

bool PingPongDelayNode::getIsEnabled() const { return internals->isEnabled.load(); }
void PingPongDelayNode::setIsEnabled(bool enabled) { internals->isEnabled.store(enabled); }
unsigned int PingPongDelayNode::getDelayMs() const { return internals->delayMs.load(); }
void PingPongDelayNode::setDelayMs(unsigned int milliseconds) { internals->delayMs.store(milliseconds); }
float PingPongDelayNode::getDryMix() const { return internals->dryMix.load(); }
void PingPongDelayNode::setDryMix(float gain) { internals->dryMix.store(gain); }
float PingPongDelayNode::getWetMix() const { return internals->wetMix.load(); }
void PingPongDelayNode::setWetMix(float gain) { internals->wetMix.store(gain); }
float PingPongDelayNode::getFeedbackLevel() const { return internals->feedbackLevel.load(); }
void PingPongDelayNode::setFeedbackLevel(float gain) { internals->feedbackLevel.store(gain); }

bool PingPongDelayNode::setBusFormat(AudioBusFormat& inputFormat, AudioBusFormat& outputFormat) {
    return agreeBusFormats(inputFormat, outputFormat, 2, 2);
}

namespace {

// One channel's pass over a run: out = x * dry + own * wet, then own = other * feedback + x.
void crossFeed(float* __restrict samples, float* __restrict own, const float* __restrict other, std::uint32_t run,
               float dry, float wet, float feedback) noexcept {
    using audio::flushed;
    for (std::uint32_t i = 0; i < run; ++i) {
        const float x = flushed(samples[i]);
        const float y = flushed(flushed(x * dry) + flushed(own[i] * wet));
        own[i] = flushed(flushed(other[i] * feedback) + x);
        samples[i] = y;
    }
}

}  // namespace

void EffectState::clear(PingPongDelayNode& node) noexcept {
    PingPongDelayNode::Internals& state = *node.internals;
    const std::size_t taken = std::min<std::uint64_t>(state.framesWritten, lineLength);
    std::fill_n(state.leftBuffer.get(), taken, 0.0f);
    std::fill_n(state.rightBuffer.get(), taken, 0.0f);
    state.position = state.lastDelayMs = state.delaySamples = state.lastSampleRate = 0;
    state.framesWritten = 0;
}

bool PingPongDelayNode::process(AudioBus& inputBus, AudioBus& outputBus) {
    outputBus.copyFrom(inputBus);
    Internals& state = *internals;
    const unsigned int delayMs = state.delayMs.load();
    if (!state.isEnabled.load() || delayMs == 0) return true;

    const BlockShape block = BlockShape::of(inputBus);
    if (block.sampleRate != state.lastSampleRate || delayMs != state.lastDelayMs) {
        state.delaySamples = delayInSamples(delayMs, block.sampleRate, lineLength);
        state.lastSampleRate = block.sampleRate;
        state.lastDelayMs = delayMs;
    }
    const float dry = audio::flushed(state.dryMix.load());
    const float wet = audio::flushed(state.wetMix.load());
    const float feedback = audio::flushed(state.feedbackLevel.load());
    // A delay shorter than one sample has no line to run through: pass the input on.
    if (block.frames == 0 || state.delaySamples == 0) return true;
    state.framesWritten += block.frames;

    // The output holds the input now and is processed in place. Frames go in runs of
    // distinct positions: within a run, all of the left pass and then each right pass gives
    // what frame-by-frame processing gives, since no position is visited twice.
    const DenormalGuard guard;
    AudioBuffer<float>& output = outputBus.buffer;
    float* const left = state.leftBuffer.get();
    float* const right = state.rightBuffer.get();
    const std::uint32_t length = state.delaySamples;
    for (std::uint32_t done = 0; done < block.frames;) {
        const std::uint32_t p = state.position;
        // A position left beyond a shortened delay is used once more, then wraps.
        const std::uint32_t run = p < length ? std::min(block.frames - done, length - p) : 1;
        if (block.channels > 0)
            crossFeed(output.getChannelData(0) + done, left + p, right + p, run, dry, wet, feedback);
        // Every channel from 1 on runs against the right line, each seeing what the one
        // before it wrote.
        for (std::uint32_t channel = 1; channel < block.channels; ++channel)
            crossFeed(output.getChannelData(channel) + done, right + p, left + p, run, dry, wet, feedback);
        done += run;
        state.position = (p + run) % length;
    }
    return true;
}

}  // namespace orvane::extensions::audioeffects
