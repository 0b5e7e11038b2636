#pragma once

#include "host/SingleBusAudioProcessorNode.h"
#include "nodes/AudioEffectsExport.h"

namespace orvane::extensions::audioeffects {

class DelayNode;
class PingPongDelayNode;
class ChorusNode;
class FlangerNode;
class VibratoNode;

/// The offline renderer's way to start a node afresh without building it again: its lines
/// and oscillators go back to a new node's, its parameters and format stay. Not for hosts:
/// this header is not installed.
struct EffectState {
    /// Clears what the node has taken since it was built or last cleared, in time in
    /// proportion to that; answers false for a node that is none of the five effects.
    /// [audio thread, or any while no one processes]
    ORVANE_AUDIOEFFECTS_API static bool clear(SingleBusAudioProcessorNode& node) noexcept;

private:
    static void clear(DelayNode& node) noexcept;  // each beside its node's state
    static void clear(PingPongDelayNode& node) noexcept;
    static void clear(ChorusNode& node) noexcept;
    static void clear(FlangerNode& node) noexcept;
    static void clear(VibratoNode& node) noexcept;
};

}  // namespace orvane::extensions::audioeffects
