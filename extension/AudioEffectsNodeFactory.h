#pragma once

#include <string>

#include "host/NodeFactory.h"
#include "nodes/AudioEffectsExport.h"

namespace orvane::extensions::audioeffects {

/// Catalogue of the extension's node types, registered in the order Delay, PingPongDelay,
/// Vibrato, Flanger, Chorus. Created nodes belong to the caller and do not depend on
/// the factory.
class ORVANE_AUDIOEFFECTS_API AudioEffectsNodeFactory : public NodeFactory {
public:
    AudioEffectsNodeFactory();
    ~AudioEffectsNodeFactory() override;

    /// "AudioEffects".
    std::string getNodeTypePrefix() const override;
};

}  // namespace orvane::extensions::audioeffects
