#include "EffectState.h"

#include "ChorusNode.h"
#include "DelayNode.h"
#include "FlangerNode.h"
#include "PingPongDelayNode.h"
#include "VibratoNode.h"

namespace orvane::extensions::audioeffects {

bool EffectState::clear(SingleBusAudioProcessorNode& node) noexcept {
    if (auto* delay = dynamic_cast<DelayNode*>(&node)) return clear(*delay), true;
    if (auto* pingPong = dynamic_cast<PingPongDelayNode*>(&node)) return clear(*pingPong), true;
    if (auto* chorus = dynamic_cast<ChorusNode*>(&node)) return clear(*chorus), true;
    if (auto* flanger = dynamic_cast<FlangerNode*>(&node)) return clear(*flanger), true;
    if (auto* vibrato = dynamic_cast<VibratoNode*>(&node)) return clear(*vibrato), true;
    return false;
}

}  // namespace orvane::extensions::audioeffects
