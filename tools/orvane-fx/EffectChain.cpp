#include "EffectChain.h"

#include <algorithm>
#include <string>
#include <utility>

#include "ToolError.h"
#include "host/AudioBus.h"

namespace orvane::tools {

namespace {

std::string describeChannelCounts(const std::vector<std::uint32_t>& counts) {
    if (counts.empty()) return "no channel count from 1 to 8";
    const bool contiguous = counts.back() - counts.front() + 1 == counts.size();
    auto text = [](std::uint32_t count) { return std::to_string(count); };
    if (counts.size() == 1) return text(counts.front());
    if (counts.size() == 2) return text(counts[0]) + " or " + text(counts[1]);
    if (contiguous) return text(counts.front()) + " to " + text(counts.back());
    std::string list;
    for (std::size_t i = 0; i < counts.size(); ++i)
        list += (i == 0 ? "" : i + 1 == counts.size() ? " or " : ", ") + text(counts[i]);
    return list;
}

}  // namespace

void EffectChain::append(Effect effect) {
    if (!effect.processor())
        throw ToolError(effect.typeInfo().getFQTypeName() +
                        " is not a single-bus audio effect; only such effects can run in a chain");
    effects.push_back(std::move(effect));
}

void EffectChain::prepare(std::uint32_t sampleRate, std::uint32_t channels, std::uint32_t maxBlockFrames) {
    for (Effect& effect : effects) {
        AudioBusFormat inputFormat{sampleRate, channels, maxBlockFrames};
        AudioBusFormat outputFormat{};
        const bool accepted = effect.processor()->setBusFormat(inputFormat, outputFormat);
        // The output file keeps the input's shape, so every stage must keep it too.
        if (!accepted || outputFormat.numberOfChannels != channels || outputFormat.sampleRate != sampleRate) {
            const auto counts = effect.acceptedChannelCounts(sampleRate, maxBlockFrames);
            throw ToolError(effect.typeName() + " accepts " + describeChannelCounts(counts) + " channel" +
                            (counts.size() == 1 && counts.front() == 1 ? "" : "s") + "; the input has " +
                            std::to_string(channels) + " at " + std::to_string(sampleRate) + " Hz");
        }
    }
    input = AudioBuffer<float>(channels, maxBlockFrames, sampleRate);
    for (auto& stage : stages) stage = AudioBuffer<float>(channels, maxBlockFrames, sampleRate);
    blockCapacity = maxBlockFrames;
}

AudioBuffer<float>& EffectChain::inputBlock(std::uint32_t frames) {
    if (frames != input.getNumberOfFrames()) input.resize(input.getNumberOfChannels(), std::min(frames, blockCapacity));
    return input;
}

const AudioBuffer<float>& EffectChain::process() {
    AudioBuffer<float>* source = &input;
    for (std::size_t i = 0; i < effects.size(); ++i) {
        AudioBuffer<float>* target = &stages[i % 2];
        AudioBus inputBus(*source);
        AudioBus outputBus(*target);
        if (!effects[i].processor()->process(inputBus, outputBus))
            throw ToolError(effects[i].typeName() + " failed to process a block");
        source = target;
    }
    return *source;
}

void EffectChain::processSignal(const AudioBuffer<float>& signal, AudioBuffer<float>& result) {
    const std::uint32_t channels = signal.getNumberOfChannels();
    const std::uint32_t frames = signal.getNumberOfFrames();
    result = AudioBuffer<float>(channels, frames, signal.getSampleRate());
    for (std::uint32_t start = 0; start < frames; start += blockCapacity) {
        const std::uint32_t length = std::min(blockCapacity, frames - start);
        AudioBuffer<float>& block = inputBlock(length);
        for (std::uint32_t c = 0; c < channels; ++c)
            std::copy_n(signal.getChannelData(c) + start, length, block.getChannelData(c));
        const AudioBuffer<float>& output = process();
        for (std::uint32_t c = 0; c < channels; ++c)
            std::copy_n(output.getChannelData(c), length, result.getChannelData(c) + start);
    }
}

}  // namespace orvane::tools
