#include "AudioEffectsExtension.h"

#include "AudioEffectsNodeFactory.h"
#include "host/ExtensionManager.h"

namespace orvane::extensions::audioeffects {

AudioEffectsExtension::AudioEffectsExtension() = default;

AudioEffectsExtension::~AudioEffectsExtension() = default;

std::string AudioEffectsExtension::getName() const { return "AudioEffects"; }

std::string AudioEffectsExtension::getDescription() const {
    return "Basic audio effects such as delay, chorus, flanger, and vibrato.";
}

std::shared_ptr<NodeFactory> AudioEffectsExtension::getNodeFactory() const {
    return std::make_shared<AudioEffectsNodeFactory>();
}

void AudioEffectsExtension::load() {
    ExtensionManager& manager = ExtensionManager::getInstance();
    std::shared_ptr<Extension> extension = std::make_shared<AudioEffectsExtension>();
    manager.registerExtension(std::move(extension));
}

namespace {

// Registers the extension while the library is loaded. This file is linked last, so every
// other file's static objects exist by then, even if the host asks for a factory at once.
struct AudioEffectsExtensionAutoRegistrar {
    AudioEffectsExtensionAutoRegistrar() { AudioEffectsExtension::load(); }
};

const AudioEffectsExtensionAutoRegistrar AudioEffectsExtensionAutoRegistrarInstance;

}  // namespace

}  // namespace orvane::extensions::audioeffects
