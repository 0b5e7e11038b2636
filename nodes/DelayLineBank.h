#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "audio/CircularBuffer.h"

namespace orvane::extensions::audioeffects {

/// One delay line per channel, and the format of the last block they served. Lines are
/// cleared whenever a block arrives with another sample rate or channel count.
class DelayLineBank {
public:
    /// The length of every effect's delay lines: a second at 48 kHz.
    static constexpr int slotsPerLine = 48000;

    explicit DelayLineBank(std::uint32_t numberOfChannels);  // [any thread, while no one processes]

    /// Clears every line and remembers the new format if it differs from the last one;
    /// answers whether it did.
    bool trackFormat(std::uint32_t sampleRate, std::uint32_t channels) noexcept;  // [audio thread]

    /// Counts frames the lines take from their write pointers on: what clearWritten clears.
    void noteWritten(std::uint32_t frames) noexcept { framesWritten += frames; }  // [audio thread]
    /// Zeroes what the lines took since they were last cleared and puts their pointers at 0,
    /// keeping the format: the lines of a new bank, at a cost in proportion to that.
    void clearWritten() noexcept;  // [audio thread]

    /// How many of a block's channels have a line; the others are left as copied.
    std::uint32_t channelsWithLines(std::uint32_t channels) const noexcept {  // [audio thread]
        return channels < lines.size() ? channels : static_cast<std::uint32_t>(lines.size());
    }

    audio::CircularBuffer& operator[](std::size_t channel) noexcept { return lines[channel]; }  // [audio thread]
    audio::CircularBuffer* data() noexcept { return lines.data(); }                             // [audio thread]
    auto begin() noexcept { return lines.begin(); }                                             // [audio thread]
    auto end() noexcept { return lines.end(); }                                                 // [audio thread]

private:
    std::vector<audio::CircularBuffer> lines;
    std::uint32_t lastSampleRate = 0;
    std::uint32_t lastNumberOfChannels = 0;
    std::uint64_t framesWritten = 0;  // since the last clear
};

}  // namespace orvane::extensions::audioeffects
