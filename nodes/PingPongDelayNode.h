#pragma once

#include <memory>

#include "extension/AudioEffectsExport.h"
#include "host/OVAny.h"
#include "host/SingleBusAudioProcessorNode.h"
#include "metadata/NodeTypeInfo.h"

namespace orvane::extensions::audioeffects {

/// Stereo cross-feedback delay: each channel's delay line is fed from the other one's,
/// so echoes bounce between left and right.
///
/// Per frame, with L and R the line entries at the shared position p:
/// left out = xL * dry + L * wet, right out = xR * dry + R * wet,
/// new L = R * feedback + xL, new R = new L * feedback + xR. The lines hold 48000 samples;
/// delays are limited to that length. The five parameters are also host properties
/// ("enabled", "delayMs", "dryMix", "wetMix", "feedbackLevel") served through
/// setValue/getValue. process() reads every parameter once per block.
class ORVANE_AUDIOEFFECTS_API PingPongDelayNode : public SingleBusAudioProcessorNode {
public:
    /// The creation map is accepted and not read: every node starts from the defaults
    /// (on, 200 ms, dry 0.7, wet 0.3, feedback 0.2).
    explicit PingPongDelayNode(const OVAnyMap& configuration);
    ~PingPongDelayNode() override;

    /// The "AudioEffects.PingPongDelay" type description with its five property
    /// descriptions, built anew on every call.
    static NodeTypeInfo getNodeTypeInfo();

    bool getIsEnabled() const;
    void setIsEnabled(bool enabled);
    unsigned int getDelayMs() const;
    void setDelayMs(unsigned int milliseconds);
    float getDryMix() const;
    void setDryMix(float gain);
    float getWetMix() const;
    void setWetMix(float gain);
    float getFeedbackLevel() const;
    void setFeedbackLevel(float gain);

    /// Accepts only two-channel formats that the host can match.
    bool setBusFormat(AudioBusFormat& inputFormat, AudioBusFormat& outputFormat) override;
    /// Copies input to output, then applies the delay unless off, at 0 ms, or at a delay
    /// shorter than one sample. Always returns true.
    bool process(AudioBus& inputBus, AudioBus& outputBus) override;
    using SingleBusAudioProcessorNode::process;

private:
    class Internals;
    std::unique_ptr<Internals> internals;

    void registerProperties();
};

}  // namespace orvane::extensions::audioeffects
