#pragma once

#include <memory>

#include "host/SingleBusAudioProcessorNode.h"
#include "metadata/NodeTypeInfo.h"
#include "nodes/AudioEffectsExport.h"

namespace orvane::extensions::audioeffects {

/// Feedback delay: every channel runs through a delay line of its own.
///
/// Output y = dryMix * x + wetMix * v[n - D]; the line takes v = x + feedbackLevel * v[n - D],
/// with D = delayMs * sampleRate / 1000 samples (truncated, at most the 48000 slots of a line).
/// Defaults: on, 200 ms, dry 0.7, wet 0.3, feedback 0.2. Parameters may be set from any
/// thread; process() reads each of them once per block.
class ORVANE_AUDIOEFFECTS_API DelayNode : public SingleBusAudioProcessorNode {
public:
    /// Builds one delay line of 48000 slots per channel; the node accepts up to
    /// numberOfChannels input channels.
    explicit DelayNode(unsigned int numberOfChannels);  // [any thread]
    ~DelayNode() override;                              // [any thread, once process() has returned]

    /// The "AudioEffects.Delay" type description, built anew on every call.
    static NodeTypeInfo getNodeTypeInfo();  // [any thread]

    bool getIsEnabled();                         // [any thread]
    void setIsEnabled(bool enabled);             // [any thread]
    float getDryMix();                           // [any thread]
    void setDryMix(float gain);                  // [any thread]
    float getWetMix();                           // [any thread]
    void setWetMix(float gain);                  // [any thread]
    unsigned int getDelayMs();                   // [any thread]
    void setDelayMs(unsigned int milliseconds);  // [any thread]
    float getFeedbackLevel();                    // [any thread]
    void setFeedbackLevel(float gain);           // [any thread]

    /// Accepts formats the host can match whose input has at most numberOfChannels channels.
    // [audio thread, before process]
    bool setBusFormat(AudioBusFormat& inputFormat, AudioBusFormat& outputFormat) override;
    /// Copies input to output, then applies the delay unless off or at 0 ms. Channels
    /// beyond those the node was built for keep the copied input. Always returns true.
    bool process(AudioBus& inputBus, AudioBus& outputBus) override;  // [audio thread]
    using SingleBusAudioProcessorNode::process;

private:
    friend struct EffectState;  // the offline renderer's clear
    class Internals;
    std::unique_ptr<Internals> internals;
};

}  // namespace orvane::extensions::audioeffects
