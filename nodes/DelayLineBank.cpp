#include "DelayLineBank.h"

namespace orvane::extensions::audioeffects {

DelayLineBank::DelayLineBank(std::uint32_t numberOfChannels) {
    lines.reserve(numberOfChannels);
    for (std::uint32_t channel = 0; channel < numberOfChannels; ++channel) lines.emplace_back(slotsPerLine);
}

bool DelayLineBank::trackFormat(std::uint32_t sampleRate, std::uint32_t channels) noexcept {
    if (sampleRate == lastSampleRate && channels == lastNumberOfChannels) return false;
    for (auto& line : lines) line.reset();
    lastSampleRate = sampleRate;
    lastNumberOfChannels = channels;
    return true;
}

}  // namespace orvane::extensions::audioeffects
