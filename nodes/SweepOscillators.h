#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "audio/LFO.h"

namespace orvane::extensions::audioeffects {

/// One sweep oscillator per channel, each swinging over [0, 1] (amplitude 0.5, offset 0.5)
/// and a quarter cycle ahead of the channel before it.
class SweepOscillators {
public:
    SweepOscillators(std::uint32_t numberOfChannels, float frequency);  // [any thread, while no one processes]

    /// Channel 0's frequency; the construction frequency when there are no channels.
    float getFrequency() const noexcept;  // [any thread]
    /// Sets every oscillator, in channel order; phases are kept.
    void setFrequency(float frequency) noexcept;  // [any thread]

    /// Every oscillator back to a new one's phase; parameters kept.
    void restart() noexcept {  // [audio thread]
        for (auto& oscillator : oscillators) oscillator->restart();
    }

    audio::LFO& operator[](std::size_t channel) noexcept { return *oscillators[channel]; }  // [audio thread]

private:
    float defaultFrequency;
    std::vector<std::unique_ptr<audio::LFO>> oscillators;
};

}  // namespace orvane::extensions::audioeffects
