#pragma once

#include <memory>

#include "host/SingleBusAudioProcessorNode.h"
#include "metadata/NodeTypeInfo.h"
#include "nodes/AudioEffectsExport.h"

namespace orvane::extensions::audioeffects {

/// Chorus: adds to every channel a copy of itself delayed by a slowly swept time.
///
/// y[n] = x[n] + 0.8 * x[n - delay(n)], delay = 1002 + sweepWidth * sampleRate * lfo(n) frames,
/// read with linear interpolation. Each channel has its own sine oscillator over [0, 1],
/// a quarter cycle ahead of the channel before. Defaults: on, sweep width 0.025 s, 0.2 Hz.
/// process() reads the switch and the sweep width once per block.
class ORVANE_AUDIOEFFECTS_API ChorusNode : public SingleBusAudioProcessorNode {
public:
    /// Builds one delay line of 48000 slots and one oscillator per channel.
    explicit ChorusNode(unsigned int numberOfChannels);  // [any thread]
    ~ChorusNode() override;                              // [any thread, once process() has returned]

    /// The "AudioEffects.Chorus" type description, built anew on every call.
    static NodeTypeInfo getNodeTypeInfo();  // [any thread]

    bool getIsEnabled();              // [any thread]
    void setIsEnabled(bool enabled);  // [any thread]
    /// Sweep depth in seconds.
    float getSweepWidth();              // [any thread]
    void setSweepWidth(float seconds);  // [any thread]
    /// Sweep rate of channel 0's oscillator (the default 0.2 Hz on a node without channels).
    float getFrequency();  // [any thread]
    /// Sets every channel's oscillator; their phases are kept.
    void setFrequency(float hertz);  // [any thread]

    /// Accepts formats the host can match whose input has at most 2 channels.
    // [audio thread, before process]
    bool setBusFormat(AudioBusFormat& inputFormat, AudioBusFormat& outputFormat) override;
    /// Copies input to output, then applies the chorus unless off. Channels beyond those
    /// the node was built for keep the copied input. Always returns true.
    bool process(AudioBus& inputBus, AudioBus& outputBus) override;  // [audio thread]
    using SingleBusAudioProcessorNode::process;

private:
    friend struct EffectState;  // the offline renderer's clear
    class Internals;
    std::unique_ptr<Internals> internals;
};

}  // namespace orvane::extensions::audioeffects
