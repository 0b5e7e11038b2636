#pragma once

#include <string>

#include "AudioBus.h"
#include "AudioBusFormat.h"
#include "Node.h"

namespace orvane {

/// A node with audio input and output buses.
///
/// The host agrees bus formats with setBusFormats, then calls process once per block
/// from one thread at a time.
class AudioNode : public Node {
public:
    AudioNode(unsigned int numberOfInputBuses, unsigned int numberOfOutputBuses);
    ~AudioNode() override;

    virtual std::string getDisplayName() const;
    virtual void onGraphStart();
    virtual void onGraphStop();
    /// Agrees the formats of all buses; answers whether the node accepts them.
    virtual bool setBusFormats(AudioBusFormatList& inputFormats, AudioBusFormatList& outputFormats) = 0;
    /// Processes one block; answers whether it succeeded.
    virtual bool process(AudioBusList& inputBuses, AudioBusList& outputBuses) = 0;

    unsigned int getNumberOfInputBuses() const noexcept { return inputBuses; }
    unsigned int getNumberOfOutputBuses() const noexcept { return outputBuses; }

private:
    unsigned int inputBuses;
    unsigned int outputBuses;
};

}  // namespace orvane
