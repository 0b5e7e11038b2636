#include "SingleBusAudioProcessorNode.h"

namespace orvane {

SingleBusAudioProcessorNode::SingleBusAudioProcessorNode() : AudioNode(1, 1) {}

SingleBusAudioProcessorNode::~SingleBusAudioProcessorNode() = default;

bool SingleBusAudioProcessorNode::setBusFormats(AudioBusFormatList& inputFormats, AudioBusFormatList& outputFormats) {
    if (inputFormats.size() != 1 || outputFormats.size() != 1) return false;
    return setBusFormat(inputFormats.front(), outputFormats.front());
}

bool SingleBusAudioProcessorNode::process(AudioBusList& inputBuses, AudioBusList& outputBuses) {
    if (inputBuses.size() != 1 || outputBuses.size() != 1) return false;
    return process(inputBuses.front(), outputBuses.front());
}

}  // namespace orvane
