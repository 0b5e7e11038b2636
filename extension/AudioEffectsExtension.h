#pragma once

#include <memory>
#include <string>

#include "host/Extension.h"
#include "nodes/AudioEffectsExport.h"

namespace orvane::extensions::audioeffects {

/// The extension "AudioEffects": hands out factories of its five effect node types.
///
/// Loading the library registers one instance with the host's ExtensionManager; the
/// manager alone holds it from then on.
class ORVANE_AUDIOEFFECTS_API AudioEffectsExtension : public Extension {
public:
    AudioEffectsExtension();
    ~AudioEffectsExtension() override;

    /// "AudioEffects".
    std::string getName() const override;
    /// "Basic audio effects such as delay, chorus, flanger, and vibrato."
    std::string getDescription() const override;
    /// A new AudioEffectsNodeFactory on every call.
    std::shared_ptr<NodeFactory> getNodeFactory() const override;

    /// Creates one more extension and registers it with ExtensionManager::getInstance().
    /// If creation or registration throws, nothing stays alive and the exception passes on.
    static void load();
};

}  // namespace orvane::extensions::audioeffects
