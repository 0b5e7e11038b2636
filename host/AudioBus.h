#pragma once

#include <vector>

#include "AudioBuffer.h"

namespace orvane {

/// One audio connection of a node: a view of a buffer that the host owns.
class AudioBus {
public:
    explicit AudioBus(AudioBuffer<float>& target) noexcept : buffer(target) {}

    /// Makes this bus's buffer equal to the other's: shape, sample rate and samples.
    void copyFrom(const AudioBus& other) { buffer.copyFrom(other.buffer); }

    AudioBuffer<float>& buffer;
};

using AudioBusList = std::vector<AudioBus>;

}  // namespace orvane
