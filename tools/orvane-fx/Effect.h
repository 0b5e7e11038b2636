#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Parameter.h"
#include "host/NodeFactory.h"
#include "host/SingleBusAudioProcessorNode.h"
#include "metadata/NodeTypeInfo.h"

namespace orvane::tools {

/// One node created through a factory, with its type description and its parameters.
class Effect {
public:
    /// Takes ownership of node, which factory made from the type info describes.
    Effect(NodeTypeInfo info, std::unique_ptr<Node> node, std::shared_ptr<NodeFactory> factory);
    Effect(Effect&&) = default;
    Effect& operator=(Effect&&) = default;

    const NodeTypeInfo& typeInfo() const noexcept { return info; }
    /// The short type name, as "Delay".
    const std::string& typeName() const noexcept { return info.type; }
    const std::vector<Parameter>& parameters() const noexcept { return nodeParameters; }

    /// Parses and stores one parameter. Throws ToolError for an unknown name (listing the
    /// effect's parameters) or a value that does not parse.
    void setParameter(const std::string& name, const std::string& valueText);

    /// The node as a single-bus processor, or null when it is none.
    SingleBusAudioProcessorNode* processor() const noexcept { return singleBus; }

    /// The channel counts from 1 to maxChannels for which a fresh node of this type accepts
    /// a format at sampleRate.
    std::vector<std::uint32_t> acceptedChannelCounts(std::uint32_t sampleRate, std::uint32_t blockFrames,
                                                     std::uint32_t maxChannels = 8) const;

private:
    NodeTypeInfo info;
    std::unique_ptr<Node> node;
    std::shared_ptr<NodeFactory> factory;
    SingleBusAudioProcessorNode* singleBus;
    std::vector<Parameter> nodeParameters;
};

}  // namespace orvane::tools
