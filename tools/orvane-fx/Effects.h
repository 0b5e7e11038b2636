#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "host/Extension.h"
#include "host/NodeFactory.h"
#include "host/SingleBusAudioProcessorNode.h"
#include "metadata/NodeTypeInfo.h"

namespace orvane::tools {

/// A parameter value; the index is its kind: 0 boolean, 1 int, 2 float.
using ParameterValue = std::variant<bool, unsigned int, float>;

/// One settable parameter bound to one node, through its host properties or its accessors.
struct Parameter {
    std::string name;
    std::size_t kind;  // a ParameterValue index
    std::string description;
    std::optional<ParameterValue> minimum;
    std::optional<ParameterValue> maximum;
    std::function<ParameterValue()> read;
    std::function<std::string(const ParameterValue&)> write;  // why the node refused, or ""
};

/// "boolean", "int" or "float", as the host's descriptions name them.
const char* kindName(std::size_t kind);
/// As a user would type it; floats in their shortest exact form ("0.7").
std::string formatValue(const ParameterValue& value);

/// One node made by a factory, with its description and parameters.
struct Effect {
    NodeTypeInfo info;
    std::unique_ptr<Node> node;
    std::vector<Parameter> parameters;

    SingleBusAudioProcessorNode* processor() const { return dynamic_cast<SingleBusAudioProcessorNode*>(node.get()); }
    /// Parses text strictly and sets it. Throws ToolError naming what the parameter takes.
    void set(const std::string& name, const std::string& text);
};

/// The node types of one registered extension, reached the way a host reaches them.
struct Catalogue {
    /// The extension registered under name. Throws ToolError when there is none.
    static Catalogue named(const std::string& name);
    explicit Catalogue(std::shared_ptr<Extension> extension);

    /// A node of the type with this short or fully qualified name. Throws ToolError for an
    /// unknown name, listing the known ones, or when creation fails.
    Effect create(const std::string& typeName) const;
    /// The channel counts from 1 to 8 a fresh node of this type accepts, as "1 or 2".
    std::string acceptedChannels(const NodeTypeInfo& info, std::uint32_t sampleRate, std::uint32_t frames) const;

    std::shared_ptr<Extension> extension;
    std::shared_ptr<NodeFactory> factory;
    std::vector<NodeTypeInfo> types;
};

}  // namespace orvane::tools
