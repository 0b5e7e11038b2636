#pragma once

#include "AudioNode.h"

namespace orvane {

/// An audio node with exactly one input and one output bus. The list-level operations
/// forward to the single-bus ones and refuse lists that do not hold exactly one bus each.
class SingleBusAudioProcessorNode : public AudioNode {
public:
    SingleBusAudioProcessorNode();
    ~SingleBusAudioProcessorNode() override;

    bool setBusFormats(AudioBusFormatList& inputFormats, AudioBusFormatList& outputFormats) override;
    bool process(AudioBusList& inputBuses, AudioBusList& outputBuses) override;

    virtual bool setBusFormat(AudioBusFormat& inputFormat, AudioBusFormat& outputFormat) = 0;
    virtual bool process(AudioBus& inputBus, AudioBus& outputBus) = 0;
};

}  // namespace orvane
