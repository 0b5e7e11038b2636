#pragma once

#include <memory>

#include "host/SingleBusAudioProcessorNode.h"
#include "metadata/NodeTypeInfo.h"
#include "nodes/AudioEffectsExport.h"

namespace orvane::extensions::audioeffects {

/// Vibrato: the output is the input alone, delayed by a time that one shared sine
/// oscillator sweeps, so that the pitch wavers.
///
/// y[n] = x[n - delay(n)], delay = 1 + sweepWidth * sampleRate * lfo(n) samples, read with
/// linear interpolation; every channel has the same delay at every frame.
/// Defaults: on, sweep width 0.01 s, 4 Hz. process() reads the switch
/// and the sweep width once per block.
class ORVANE_AUDIOEFFECTS_API VibratoNode : public SingleBusAudioProcessorNode {
public:
    /// Builds one delay line of 48000 slots per channel and the shared oscillator.
    explicit VibratoNode(unsigned int numberOfChannels);  // [any thread]
    ~VibratoNode() override;                              // [any thread, once process() has returned]

    /// The "AudioEffects.Vibrato" type description, built anew on every call.
    static NodeTypeInfo getNodeTypeInfo();  // [any thread]

    bool getIsEnabled();              // [any thread]
    void setIsEnabled(bool enabled);  // [any thread]
    /// Sweep depth in seconds.
    float getSweepWidth();              // [any thread]
    void setSweepWidth(float seconds);  // [any thread]
    /// Sweep rate of the shared oscillator.
    float getFrequency();  // [any thread]
    /// Sets the shared oscillator's rate; its phase is kept.
    void setFrequency(float hertz);  // [any thread]

    /// Accepts formats the host can match whose input has at most 2 channels.
    // [audio thread, before process]
    bool setBusFormat(AudioBusFormat& inputFormat, AudioBusFormat& outputFormat) override;
    /// Copies input to output, then applies the vibrato unless off. Channels beyond those
    /// the node was built for keep the copied input. Always returns true.
    bool process(AudioBus& inputBus, AudioBus& outputBus) override;  // [audio thread]
    using SingleBusAudioProcessorNode::process;

private:
    friend struct EffectState;  // the offline renderer's clear
    class Internals;
    std::unique_ptr<Internals> internals;
};

}  // namespace orvane::extensions::audioeffects
