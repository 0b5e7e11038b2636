#include "AudioEffectsNodeFactory.h"

#include "nodes/ChorusNode.h"
#include "nodes/DelayNode.h"
#include "nodes/FlangerNode.h"
#include "nodes/PingPongDelayNode.h"
#include "nodes/VibratoNode.h"

namespace orvane::extensions::audioeffects {

namespace {

// Builds the node for two channels; the configuration map is not read.
template <typename EffectNode>
Node* createStereo(const OVAnyMap&) {
    return new EffectNode(2);
}

Node* createPingPongDelay(const OVAnyMap& configuration) { return new PingPongDelayNode(configuration); }

}  // namespace

AudioEffectsNodeFactory::AudioEffectsNodeFactory() {
    registerNode(DelayNode::getNodeTypeInfo(), createStereo<DelayNode>);
    registerNode(PingPongDelayNode::getNodeTypeInfo(), createPingPongDelay);
    registerNode(VibratoNode::getNodeTypeInfo(), createStereo<VibratoNode>);
    registerNode(FlangerNode::getNodeTypeInfo(), createStereo<FlangerNode>);
    registerNode(ChorusNode::getNodeTypeInfo(), createStereo<ChorusNode>);
}

AudioEffectsNodeFactory::~AudioEffectsNodeFactory() = default;

std::string AudioEffectsNodeFactory::getNodeTypePrefix() const { return "AudioEffects"; }

}  // namespace orvane::extensions::audioeffects
