#include "AudioNode.h"

namespace orvane {

AudioNode::AudioNode(unsigned int numberOfInputBuses, unsigned int numberOfOutputBuses)
    : inputBuses(numberOfInputBuses), outputBuses(numberOfOutputBuses) {}

AudioNode::~AudioNode() = default;

std::string AudioNode::getDisplayName() const { return {}; }

void AudioNode::onGraphStart() {}

void AudioNode::onGraphStop() {}

}  // namespace orvane
