#include "Effect.h"

#include <utility>

#include "ParameterTable.h"
#include "ToolError.h"

namespace orvane::tools {

Effect::Effect(NodeTypeInfo typeInfo, std::unique_ptr<Node> createdNode, std::shared_ptr<NodeFactory> nodeFactory)
    : info(std::move(typeInfo)),
      node(std::move(createdNode)),
      factory(std::move(nodeFactory)),
      singleBus(dynamic_cast<SingleBusAudioProcessorNode*>(node.get())),
      nodeParameters(ParameterTable::describe(info, *node)) {}

void Effect::setParameter(const std::string& name, const std::string& valueText) {
    for (const Parameter& parameter : nodeParameters) {
        if (parameter.name() != name) continue;
        try {
            parameter.write(valueText);
        } catch (const ToolError& error) {
            throw ToolError(info.type + ": " + error.what());
        }
        return;
    }
    std::string known;
    for (const Parameter& parameter : nodeParameters) known += (known.empty() ? "" : ", ") + parameter.name();
    throw ToolError(info.type + " has no parameter '" + name + "'; its parameters are " +
                    (known.empty() ? std::string("none") : known));
}

std::vector<std::uint32_t> Effect::acceptedChannelCounts(std::uint32_t sampleRate, std::uint32_t blockFrames,
                                                         std::uint32_t maxChannels) const {
    std::vector<std::uint32_t> accepted;
    for (std::uint32_t channels = 1; channels <= maxChannels; ++channels) {
        // A fresh node each time, so no earlier agreement can colour the answer.
        auto created = factory->createNode(info.getFQTypeName(), {});
        if (!created) break;
        auto* probe = dynamic_cast<SingleBusAudioProcessorNode*>(created.value().get());
        if (!probe) break;
        AudioBusFormat input{sampleRate, channels, blockFrames};
        AudioBusFormat output{};
        if (probe->setBusFormat(input, output) && output.numberOfChannels == channels) accepted.push_back(channels);
    }
    return accepted;
}

}  // namespace orvane::tools
