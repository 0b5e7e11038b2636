#pragma once

#include <cstdint>
#include <vector>

namespace orvane {

/// Format of one audio bus. A field left at 0 means "not decided yet".
struct AudioBusFormat {
    std::uint32_t sampleRate = 0;
    std::uint32_t numberOfChannels = 0;
    std::uint32_t numberOfFrames = 0;

    /// Fills every field that is 0 on one side from the other side, then answers whether
    /// the two formats agree in every field.
    static bool matchBusFormats(AudioBusFormat& input, AudioBusFormat& output) noexcept;

    friend bool operator==(const AudioBusFormat&, const AudioBusFormat&) = default;
};

using AudioBusFormatList = std::vector<AudioBusFormat>;

}  // namespace orvane
