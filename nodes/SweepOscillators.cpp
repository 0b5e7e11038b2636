#include "SweepOscillators.h"

namespace orvane::extensions::audioeffects {

SweepOscillators::SweepOscillators(std::uint32_t numberOfChannels, float frequency) : defaultFrequency(frequency) {
    oscillators.reserve(numberOfChannels);
    for (std::uint32_t channel = 0; channel < numberOfChannels; ++channel) {
        auto& oscillator = *oscillators.emplace_back(std::make_unique<audio::LFO>());
        oscillator.setFrequency(frequency);
        oscillator.setAmplitude(0.5f);
        oscillator.setOffset(0.5f);
        oscillator.setPhaseOffset(static_cast<float>(channel * 1.5707963267948966));
    }
}

float SweepOscillators::getFrequency() const noexcept {
    return oscillators.empty() ? defaultFrequency : oscillators.front()->getFrequency();
}

void SweepOscillators::setFrequency(float frequency) noexcept {
    for (auto& oscillator : oscillators) oscillator->setFrequency(frequency);
}

}  // namespace orvane::extensions::audioeffects
