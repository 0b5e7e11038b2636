#include "DelayLineBank.h"

#include <algorithm>

namespace orvane::extensions::audioeffects {

DelayLineBank::DelayLineBank(std::uint32_t numberOfChannels) {
    lines.reserve(numberOfChannels);
    for (std::uint32_t channel = 0; channel < numberOfChannels; ++channel) lines.emplace_back(slotsPerLine);
}

bool DelayLineBank::trackFormat(std::uint32_t sampleRate, std::uint32_t channels) noexcept {
    if (sampleRate == lastSampleRate && channels == lastNumberOfChannels) return false;
    for (auto& line : lines) line.reset();
    framesWritten = 0;
    lastSampleRate = sampleRate;
    lastNumberOfChannels = channels;
    return true;
}

void DelayLineBank::clearWritten() noexcept {
    // The write pointers walk on from slot 0 one slot a frame, so the slots taken lead from 0.
    const auto taken = static_cast<int>(std::min<std::uint64_t>(framesWritten, slotsPerLine));
    for (auto& line : lines) line.resetFirst(taken);
    framesWritten = 0;
}

}  // namespace orvane::extensions::audioeffects
