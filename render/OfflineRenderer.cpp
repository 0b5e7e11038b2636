#include "render/OfflineRenderer.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "host/AudioBus.h"
#include "host/AudioBusFormat.h"
#include "nodes/EffectState.h"

namespace orvane::render {

using extensions::audioeffects::EffectState;

const char* kindName(ParameterKind kind) {
    return kind == ParameterKind::Boolean ? "boolean" : kind == ParameterKind::Int ? "int" : "float";
}

const char* unitName(ParameterUnit unit) {
    switch (unit) {
        case ParameterUnit::Milliseconds:
            return "ms";
        case ParameterUnit::Seconds:
            return "s";
        case ParameterUnit::Hertz:
            return "Hz";
        case ParameterUnit::Gain:
            return "gain";
        default:
            return "";
    }
}

std::string shortest(float value) {
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

std::string rangeText(const EffectParameter& parameter) {
    if (parameter.kind == ParameterKind::Boolean) return "True or False";
    const std::string unit = unitName(parameter.unit);
    return std::string(parameter.kind == ParameterKind::Int ? "a whole number" : "a number") + " from " +
           shortest(parameter.minimum) + " to " + shortest(parameter.maximum) +
           (unit.empty() || unit == "gain" ? "" : " " + unit);
}

std::string acceptedChannels(const EffectDescription& description) {
    if (description.onlyChannels != 0) return std::to_string(description.onlyChannels) + " channels";
    return "1 to " + std::to_string(maxChannels) + " channels";
}

// --- OfflineEffect --------------------------------------------------------------------------

struct OfflineEffect::NodeRun {
    std::unique_ptr<SingleBusAudioProcessorNode> node;
    std::uint32_t firstChannel;
    std::uint32_t channels;
    AudioBuffer<float> block;  // for a node that runs one channel of a wider signal
};

OfflineEffect::OfflineEffect(const EffectDescription& description) : description(description) {
    for (const EffectParameter& parameter : description.parameters)
        values.push_back(parameter.fromNumber(parameter.defaultValue));
}

OfflineEffect::~OfflineEffect() = default;

void OfflineEffect::setValue(std::size_t parameter, const ParameterValue& value) {
    values.at(parameter) = value;
    for (NodeRun& run : nodes) description.parameters[parameter].set(*run.node, value);
}

void OfflineEffect::applyPreset(const EffectPreset& preset) {
    for (const auto& [name, number] : preset.values) {
        const std::size_t index = indexOf(name).value();
        setValue(index, description.parameters[index].fromNumber(number));
    }
}

std::optional<std::size_t> OfflineEffect::indexOf(std::string_view name) const {
    for (std::size_t i = 0; i < description.parameters.size(); ++i)
        if (description.parameters[i].name == name) return i;
    return std::nullopt;
}

void OfflineEffect::reset() {
    if (busy.exchange(true))
        throw RenderError(Check::Busy, std::string(description.type) +
                                           " is rendering in another thread; reset it once that render is done");
    nodes.clear();
    channels = sampleRate = 0;
    busy.store(false);
}

// --- OfflineRender --------------------------------------------------------------------------

namespace {

/// A curve's value as its parameter stores it; whole kinds saturate far beyond any range.
float storedValue(const EffectParameter& parameter, double number) {
    return parameter.kind == ParameterKind::Float ? static_cast<float>(number)
                                                  : static_cast<float>(std::min(number, 1e9));
}

std::string number(double value) {
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

}  // namespace

std::optional<std::uint64_t> tailFrames(const RenderSettings& settings) {
    if (settings.sampleRate < 1 || settings.sampleRate > maxSampleRate ||
        !(settings.tailSeconds >= 0 && settings.tailSeconds <= maxTailSeconds))
        return std::nullopt;
    return static_cast<std::uint64_t>(std::llround(settings.tailSeconds * static_cast<double>(settings.sampleRate)));
}

OfflineRender::OfflineRender(std::span<OfflineEffect* const> chain, const RenderSettings& settings,
                             std::span<const std::vector<Automation>> automation)
    : effects(chain.begin(), chain.end()) {
    if (settings.channels < 1 || settings.channels > maxChannels)
        throw RenderError(Check::Channels,
                          "the signal has " + std::to_string(settings.channels) + " channels; 1 to " +
                              std::to_string(maxChannels) + " are accepted",
                          0, 0, 0, static_cast<double>(settings.channels));
    if (settings.sampleRate < 1 || settings.sampleRate > maxSampleRate)
        throw RenderError(Check::SampleRate,
                          "the sample rate must be a whole number of Hz from 1 to " + std::to_string(maxSampleRate) +
                              "; got " + std::to_string(settings.sampleRate),
                          0, 0, 0, static_cast<double>(settings.sampleRate));
    if (settings.blockSize < 1 || settings.blockSize > maxBlockSize)
        throw RenderError(Check::BlockSize,
                          "the block size must be a whole number from 1 to " + std::to_string(maxBlockSize) + "; got " +
                              std::to_string(settings.blockSize),
                          0, 0, 0, static_cast<double>(settings.blockSize));
    if (!(settings.tailSeconds >= 0 && settings.tailSeconds <= maxTailSeconds))
        throw RenderError(Check::Tail,
                          "the tail must be a number of seconds from 0 to 3600; got " + number(settings.tailSeconds), 0,
                          0, 0, settings.tailSeconds);
    channels = static_cast<std::uint32_t>(settings.channels);
    blockSize = static_cast<std::uint32_t>(settings.blockSize);
    const auto rate = static_cast<std::uint32_t>(settings.sampleRate);
    tailLeft = *render::tailFrames(settings);
    if (!automation.empty() && automation.size() != effects.size())
        throw std::invalid_argument("automation takes one list per effect of the chain");

    for (std::size_t i = 0; i < effects.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (effects[i] == effects[j])
                throw RenderError(Check::RepeatedEffect,
                                  "the same " + std::string(effects[i]->description.type) +
                                      " appears twice in the chain; each place needs its own",
                                  i);
    // A constructor that throws runs no destructor: the claims made so far are released below.
    try {
        for (std::size_t i = 0; i < effects.size(); ++i) {
            OfflineEffect& effect = *effects[i];
            const std::string type(effect.description.type);
            if (effect.busy.exchange(true))
                throw RenderError(
                    Check::Busy, type + " is already processing in another thread; give each thread its own effect", i);
            claimed = i + 1;
            const unsigned int only = effect.description.onlyChannels;
            if (only != 0 && channels != only)
                throw RenderError(Check::EffectChannels,
                                  type + " accepts " + acceptedChannels(effect.description) + "; the input has " +
                                      std::to_string(channels),
                                  i, 0, 0, channels);
            if (!settings.reset && effect.channels != 0 && (effect.channels != channels || effect.sampleRate != rate))
                throw RenderError(Check::Continuation,
                                  type + " last ran " + std::to_string(effect.channels) + " channels at " +
                                      std::to_string(effect.sampleRate) + " Hz; this render has " +
                                      std::to_string(channels) + " at " + std::to_string(rate) +
                                      " Hz: continuing needs the same, or a reset to start afresh",
                                  i);
            plans.emplace_back();
            if (automation.empty()) continue;
            for (const Automation& curve : automation[i]) {
                const EffectParameter& parameter = effect.description.parameters[curve.parameter];
                const std::string where = "automation of " + type + "." + std::string(parameter.name);
                const std::uint64_t total = settings.inputFrames.value_or(0) + tailLeft;
                if (!settings.inputFrames || curve.perFrame.size() != total)
                    throw RenderError(Check::AutomationLength,
                                      where + " must hold one value per output frame (" + std::to_string(total) +
                                          ", the input's frames plus the tail's); got " +
                                          std::to_string(curve.perFrame.size()),
                                      i, curve.parameter, total, static_cast<double>(curve.perFrame.size()));
                for (std::size_t f = 0; f < curve.perFrame.size(); ++f) {
                    const float stored = storedValue(parameter, curve.perFrame[f]);
                    if (!(stored >= parameter.minimum && stored <= parameter.maximum))
                        throw RenderError(Check::AutomationValue,
                                          where + " must be " + rangeText(parameter) + " at every frame; frame " +
                                              std::to_string(f) + " holds " + number(curve.perFrame[f]),
                                          i, curve.parameter, f, curve.perFrame[f]);
                }
                plans[i].push_back(curve);
            }
        }

        // Everything is accepted: what processing needs is allocated now.
        block = AudioBuffer<float>(channels, blockSize, rate);
        gathered.assign(std::size_t{channels} * blockSize, 0.0f);
        rows.assign(channels, nullptr);
        for (OfflineEffect* effect : effects) {
            if (settings.reset && effect->channels == channels && effect->sampleRate == rate) {
                // The nodes serve this format already: clearing what they took costs less than new lines.
                for (OfflineEffect::NodeRun& run : effect->nodes) EffectState::clear(*run.node);
            } else if (settings.reset || effect->channels == 0) {
                effect->nodes.clear();
                const bool perChannel = channels > 2;
                const std::uint32_t count = perChannel ? 1 : channels;
                for (std::uint32_t first = 0; first < channels; first += count) {
                    OfflineEffect::NodeRun& run = effect->nodes.emplace_back(
                        OfflineEffect::NodeRun{effect->description.create(count), first, count, {}});
                    for (std::size_t p = 0; p < effect->values.size(); ++p)
                        effect->description.parameters[p].set(*run.node, effect->values[p]);
                    AudioBusFormat input{rate, count, blockSize}, output{};
                    if (!run.node->setBusFormat(input, output))
                        throw std::runtime_error(std::string(effect->description.type) + " refuses " +
                                                 std::to_string(count) + " channels at " + std::to_string(rate) +
                                                 " Hz");
                }
                effect->channels = channels;
                effect->sampleRate = rate;
            }
            for (OfflineEffect::NodeRun& run : effect->nodes)
                if (run.channels != channels) run.block = AudioBuffer<float>(run.channels, blockSize, rate);
        }
    } catch (...) {
        for (std::size_t i = 0; i < claimed; ++i) effects[i]->busy.store(false);
        throw;
    }
}

OfflineRender::~OfflineRender() {
    // Automation holds for this render only: the nodes take the effects' values again.
    for (std::size_t i = 0; i < plans.size(); ++i)
        for (const Automation& curve : plans[i]) {
            OfflineEffect& effect = *effects[i];
            for (OfflineEffect::NodeRun& run : effect.nodes)
                effect.description.parameters[curve.parameter].set(*run.node, effect.values[curve.parameter]);
        }
    for (std::size_t i = 0; i < claimed; ++i) effects[i]->busy.store(false);
}

void OfflineRender::processBlock(std::uint32_t length) {
    for (std::size_t i = 0; i < effects.size(); ++i) {
        OfflineEffect& effect = *effects[i];
        for (const Automation& curve : plans[i]) {
            const EffectParameter& parameter = effect.description.parameters[curve.parameter];
            const ParameterValue value = parameter.fromNumber(storedValue(parameter, curve.perFrame[position]));
            for (OfflineEffect::NodeRun& run : effect.nodes) parameter.set(*run.node, value);
        }
        for (OfflineEffect::NodeRun& run : effect.nodes) {
            const bool whole = run.channels == channels;
            AudioBuffer<float>& target = whole ? block : run.block;
            if (!whole) {
                // Within the capacity allocated up front: resizing never allocates.
                if (target.getNumberOfFrames() != length) target.resize(run.channels, length);
                std::copy_n(block.getChannelData(run.firstChannel), length, target.getChannelData(0));
            }
            AudioBus bus(target);
            if (!run.node->process(bus, bus))
                throw std::runtime_error(std::string(effect.description.type) + " failed to process a block");
            if (!whole) std::copy_n(target.getChannelData(0), length, block.getChannelData(run.firstChannel));
        }
    }
    position += length;
}

void OfflineRender::writeBlock(float* const* output, std::size_t at, std::uint32_t length) const {
    for (std::uint32_t c = 0; c < channels; ++c) std::copy_n(block.getChannelData(c), length, output[c] + at);
}

std::size_t OfflineRender::push(const float* const* input, std::size_t frames, float* const* output) {
    std::size_t taken = 0, written = 0;
    if (gatheredFrames > 0) {
        // The block begun by an earlier piece is completed first.
        const auto more = static_cast<std::uint32_t>(std::min<std::size_t>(blockSize - gatheredFrames, frames));
        for (std::uint32_t c = 0; c < channels; ++c)
            std::copy_n(input[c], more, gathered.data() + std::size_t{c} * blockSize + gatheredFrames);
        gatheredFrames += more;
        taken = more;
        if (gatheredFrames < blockSize) return 0;
        if (block.getNumberOfFrames() != blockSize) block.resize(channels, blockSize);
        for (std::uint32_t c = 0; c < channels; ++c)
            std::copy_n(gathered.data() + std::size_t{c} * blockSize, blockSize, block.getChannelData(c));
        gatheredFrames = 0;
        processBlock(blockSize);
        writeBlock(output, 0, blockSize);
        written = blockSize;
    }
    if (frames - taken >= blockSize && block.getNumberOfFrames() != blockSize) block.resize(channels, blockSize);
    for (; frames - taken >= blockSize; taken += blockSize, written += blockSize) {
        for (std::uint32_t c = 0; c < channels; ++c) std::copy_n(input[c] + taken, blockSize, block.getChannelData(c));
        processBlock(blockSize);
        writeBlock(output, written, blockSize);
    }
    const auto rest = static_cast<std::uint32_t>(frames - taken);
    for (std::uint32_t c = 0; c < channels; ++c)
        std::copy_n(input[c] + taken, rest, gathered.data() + std::size_t{c} * blockSize);
    gatheredFrames = rest;
    return written;
}

void OfflineRender::renderAll(const float* const* input, std::size_t frames, float* const* output) {
    const std::size_t total = frames + tailLeft;
    for (std::size_t written = push(input, frames, output), more = 1; written < total && more; written += more) {
        for (std::uint32_t c = 0; c < channels; ++c) rows[c] = output[c] + written;
        more = finish(rows.data(), total - written);
    }
}

std::size_t OfflineRender::finish(float* const* output, std::size_t capacity) {
    if (capacity < std::min<std::uint64_t>(blockSize, gatheredFrames + tailLeft))
        throw std::invalid_argument("finish writes whole blocks: its capacity must hold the next one");
    std::size_t written = 0;
    for (;;) {
        // The held input, then the tail's silence, in blocks from where the input left off.
        const auto length = static_cast<std::uint32_t>(std::min<std::uint64_t>(blockSize, gatheredFrames + tailLeft));
        if (length == 0 || written + length > capacity) return written;
        if (block.getNumberOfFrames() != length) block.resize(channels, length);  // zero-filled
        for (std::uint32_t c = 0; c < channels; ++c) {
            float* const target = block.getChannelData(c);
            const float* const source = gathered.data() + std::size_t{c} * blockSize;
            std::copy_n(source, gatheredFrames, target);
            std::fill(target + gatheredFrames, target + length, 0.0f);
        }
        tailLeft -= length - gatheredFrames;
        gatheredFrames = 0;
        processBlock(length);
        writeBlock(output, written, length);
        written += length;
    }
}

}  // namespace orvane::render
