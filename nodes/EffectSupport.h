#pragma once

#include <cstdint>

#include "host/AudioBus.h"
#include "host/AudioBusFormat.h"
#include "metadata/NodeTypeInfo.h"

// Pieces every effect node's process() and setBusFormat() share.
namespace orvane::extensions::audioeffects {

/// Sample rate, channel count and frame count of a block, as its input buffer reports them.
struct BlockShape {
    std::uint32_t sampleRate;
    std::uint32_t channels;
    std::uint32_t frames;

    static BlockShape of(const AudioBus& input) noexcept {
        const auto& buffer = input.buffer;
        return {buffer.getSampleRate(), buffer.getNumberOfChannels(), buffer.getNumberOfFrames()};
    }
};

/// The record every effect type starts from: namespace "AudioEffects", the categories
/// "Audio Processing" and "Effects", and no configuration, properties, actions or events.
NodeTypeInfo describeEffect(const std::string& type, const std::string& displayName, const std::string& description);

/// Runs the host's format matching (always), then answers whether it agreed and the
/// input's channel count lies in [minChannels, maxChannels].
bool agreeBusFormats(AudioBusFormat& input, AudioBusFormat& output, std::uint32_t minChannels,
                     std::uint32_t maxChannels) noexcept;

/// delayMs * (sampleRate / 1000.0) in double precision, truncated toward zero and
/// limited to maxSamples, so that no delay reaches past its line.
std::uint32_t delayInSamples(std::uint32_t delayMs, std::uint32_t sampleRate, std::uint32_t maxSamples) noexcept;

}  // namespace orvane::extensions::audioeffects
