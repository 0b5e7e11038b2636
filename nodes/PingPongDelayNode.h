#pragma once

#include <memory>

#include "host/OVAny.h"
#include "host/SingleBusAudioProcessorNode.h"
#include "metadata/NodeTypeInfo.h"
#include "nodes/AudioEffectsExport.h"

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
    explicit PingPongDelayNode(const OVAnyMap& configuration);  // [any thread]
    ~PingPongDelayNode() override;                              // [any thread, once process() has returned]

    /// The "AudioEffects.PingPongDelay" type description with its five property
    /// descriptions, built anew on every call.
    static NodeTypeInfo getNodeTypeInfo();  // [any thread]

    bool getIsEnabled() const;                   // [any thread]
    void setIsEnabled(bool enabled);             // [any thread]
    unsigned int getDelayMs() const;             // [any thread]
    void setDelayMs(unsigned int milliseconds);  // [any thread]
    float getDryMix() const;                     // [any thread]
    void setDryMix(float gain);                  // [any thread]
    float getWetMix() const;                     // [any thread]
    void setWetMix(float gain);                  // [any thread]
    float getFeedbackLevel() const;              // [any thread]
    void setFeedbackLevel(float gain);           // [any thread]

    /// Accepts only two-channel formats that the host can match.
    // [audio thread, before process]
    bool setBusFormat(AudioBusFormat& inputFormat, AudioBusFormat& outputFormat) override;
    /// Copies input to output, then applies the delay unless off, at 0 ms, or at a delay
    /// shorter than one sample. Always returns true.
    bool process(AudioBus& inputBus, AudioBus& outputBus) override;  // [audio thread]
    using SingleBusAudioProcessorNode::process;

private:
    friend struct EffectState;  // the offline renderer's clear
    class Internals;
    std::unique_ptr<Internals> internals;

    void registerProperties();
};

}  // namespace orvane::extensions::audioeffects
