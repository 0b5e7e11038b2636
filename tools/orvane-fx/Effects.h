#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "host/Extension.h"
#include "host/NodeFactory.h"
#include "host/SingleBusAudioProcessorNode.h"
#include "metadata/NodeTypeInfo.h"
#include "nodes/EffectParameters.h"

namespace orvane::tools {

using extensions::audioeffects::EffectDescription;
using extensions::audioeffects::EffectParameter;
using extensions::audioeffects::ParameterValue;

/// "boolean", "int" or "float", as the host's descriptions name them.
const char* kindName(extensions::audioeffects::ParameterKind kind);
/// As a user would type it; floats in their shortest exact form ("0.7").
std::string formatValue(const ParameterValue& value);

/// One node made by a factory, with the parameters its type's table describes (none for a
/// type of another extension).
struct Effect {
    NodeTypeInfo info;
    std::unique_ptr<Node> node;
    std::span<const EffectParameter> parameters;

    SingleBusAudioProcessorNode* processor() const { return dynamic_cast<SingleBusAudioProcessorNode*>(node.get()); }
    ParameterValue get(const EffectParameter& parameter) const { return parameter.get(*processor()); }
    /// Parses text strictly and sets it, any value of the parameter's kind: the node runs
    /// as it is. Throws ToolError naming what the parameter takes.
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
