#pragma once

#include <cstdint>
#include <vector>

#include "host/AudioBuffer.h"
#include "host/AudioBus.h"
#include "host/SingleBusAudioProcessorNode.h"

namespace orvane::testing {

/// Planar samples of one channel per inner vector.
using Channels = std::vector<std::vector<float>>;

/// A buffer holding the given channels (all of one length) at sampleRate.
inline AudioBuffer<float> makeBuffer(const Channels& channels, std::uint32_t sampleRate) {
    const auto frames = channels.empty() ? 0u : static_cast<std::uint32_t>(channels.front().size());
    AudioBuffer<float> buffer(static_cast<std::uint32_t>(channels.size()), frames, sampleRate);
    for (std::uint32_t c = 0; c < channels.size(); ++c)
        for (std::uint32_t f = 0; f < frames; ++f) buffer.setSample(c, f, channels[c][f]);
    return buffer;
}

inline Channels toChannels(const AudioBuffer<float>& buffer) {
    Channels channels(buffer.getNumberOfChannels(), std::vector<float>(buffer.getNumberOfFrames()));
    for (std::uint32_t c = 0; c < buffer.getNumberOfChannels(); ++c)
        for (std::uint32_t f = 0; f < buffer.getNumberOfFrames(); ++f) channels[c][f] = buffer.getSample(c, f);
    return channels;
}

/// Runs one block through the node's single-bus process() and answers the output.
inline Channels processBlock(SingleBusAudioProcessorNode& node, const Channels& input, std::uint32_t sampleRate) {
    AudioBuffer<float> in = makeBuffer(input, sampleRate);
    AudioBuffer<float> out(in.getNumberOfChannels(), in.getNumberOfFrames(), sampleRate);
    AudioBus inBus(in);
    AudioBus outBus(out);
    node.process(inBus, outBus);
    return toChannels(out);
}

/// Runs the input through the node in blocks of blockSize frames and joins the outputs.
inline Channels processInBlocks(SingleBusAudioProcessorNode& node, const Channels& input, std::uint32_t sampleRate,
                                std::uint32_t blockSize) {
    const std::size_t frames = input.empty() ? 0 : input.front().size();
    Channels output(input.size());
    for (std::size_t start = 0; start < frames; start += blockSize) {
        const std::size_t length = std::min<std::size_t>(blockSize, frames - start);
        Channels block(input.size());
        for (std::size_t c = 0; c < input.size(); ++c)
            block[c].assign(input[c].begin() + static_cast<std::ptrdiff_t>(start),
                            input[c].begin() + static_cast<std::ptrdiff_t>(start + length));
        const Channels processed = processBlock(node, block, sampleRate);
        for (std::size_t c = 0; c < input.size(); ++c)
            output[c].insert(output[c].end(), processed[c].begin(), processed[c].end());
    }
    return output;
}

/// channels x frames of silence with 1.0 at frame 0 of every channel listed in impulseChannels.
inline Channels impulse(std::size_t channels, std::size_t frames, std::vector<std::size_t> impulseChannels) {
    Channels signal(channels, std::vector<float>(frames, 0.0f));
    for (std::size_t c : impulseChannels) signal[c][0] = 1.0f;
    return signal;
}

}  // namespace orvane::testing
