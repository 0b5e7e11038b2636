#pragma once

#include <memory>

#include "extension/AudioEffectsExport.h"
#include "host/SingleBusAudioProcessorNode.h"
#include "metadata/NodeTypeInfo.h"

namespace orvane::extensions::audioeffects {

/// Feedback delay: every channel runs through a delay line of its own.
///
/// Output y = dryMix * x + wetMix * v[n - D]; the line takes v = x + feedbackLevel * v[n - D],
/// with D = delayMs * sampleRate / 1000 samples (truncated, at most the 48000 slots of a line).
/// Defaults: on, 200 ms, dry 0.7, wet 0.3, feedback 0.2. Parameters may be set from any
/// thread; process() reads the switch and the delay once per block, the gains per sample.
class ORVANE_AUDIOEFFECTS_API DelayNode : public SingleBusAudioProcessorNode {
public:
    /// Builds one delay line of 48000 slots per channel; the node accepts up to
    /// numberOfChannels input channels.
    explicit DelayNode(unsigned int numberOfChannels);
    ~DelayNode() override;

    /// The "AudioEffects.Delay" type description, built anew on every call.
    static NodeTypeInfo getNodeTypeInfo();

    bool getIsEnabled();
    void setIsEnabled(bool enabled);
    float getDryMix();
    void setDryMix(float gain);
    float getWetMix();
    void setWetMix(float gain);
    unsigned int getDelayMs();
    void setDelayMs(unsigned int milliseconds);
    float getFeedbackLevel();
    void setFeedbackLevel(float gain);

    /// Accepts formats the host can match whose input has at most numberOfChannels channels.
    bool setBusFormat(AudioBusFormat& inputFormat, AudioBusFormat& outputFormat) override;
    /// Copies input to output, then applies the delay unless off or at 0 ms. Channels
    /// beyond those the node was built for keep the copied input. Always returns true.
    bool process(AudioBus& inputBus, AudioBus& outputBus) override;
    using SingleBusAudioProcessorNode::process;

private:
    class Internals;
    std::unique_ptr<Internals> internals;
};

}  // namespace orvane::extensions::audioeffects
