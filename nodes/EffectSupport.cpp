#include "EffectSupport.h"

#include "metadata/Vocabulary.h"

namespace orvane::extensions::audioeffects {

NodeTypeInfo describeEffect(const std::string& type, const std::string& displayName, const std::string& description) {
    NodeTypeInfo info;
    info.nodeNamespace = "AudioEffects";
    info.type = type;
    info.displayName = displayName;
    info.description = description;
    info.categories = {NODE_CATEGORY_AUDIO_PROCESSING, NODE_CATEGORY_EFFECTS};
    return info;
}

bool agreeBusFormats(AudioBusFormat& input, AudioBusFormat& output, std::uint32_t minChannels,
                     std::uint32_t maxChannels) noexcept {
    if (!AudioBusFormat::matchBusFormats(input, output)) return false;
    return input.numberOfChannels >= minChannels && input.numberOfChannels <= maxChannels;
}

std::uint32_t delayInSamples(std::uint32_t delayMs, std::uint32_t sampleRate, std::uint32_t maxSamples) noexcept {
    const double exact = static_cast<double>(delayMs) * (static_cast<double>(sampleRate) / 1000.0);
    return exact >= static_cast<double>(maxSamples) ? maxSamples : static_cast<std::uint32_t>(exact);
}

}  // namespace orvane::extensions::audioeffects
