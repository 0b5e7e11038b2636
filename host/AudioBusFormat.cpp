#include "AudioBusFormat.h"

namespace orvane {

namespace {

void fillUnset(std::uint32_t& a, std::uint32_t& b) noexcept {
    if (a == 0) a = b;
    if (b == 0) b = a;
}

}  // namespace

bool AudioBusFormat::matchBusFormats(AudioBusFormat& input, AudioBusFormat& output) noexcept {
    fillUnset(input.sampleRate, output.sampleRate);
    fillUnset(input.numberOfChannels, output.numberOfChannels);
    fillUnset(input.numberOfFrames, output.numberOfFrames);
    return input == output;
}

}  // namespace orvane
