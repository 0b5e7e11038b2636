#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>
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
    /// The index of the named parameter and text parsed strictly as any value of its kind:
    /// the node runs as it is. Throws ToolError naming what the parameter takes.
    std::pair<std::size_t, ParameterValue> parse(const std::string& name, const std::string& text) const;
};

/// The node types of one registered extension, reached the way a host reaches them.
struct Catalogue {
    /// The extension registered under name. Throws ToolError when there is none.
    static Catalogue named(const std::string& name);
    explicit Catalogue(std::shared_ptr<Extension> extension);

    /// A node of the type with this short or fully qualified name. Throws ToolError for an
    /// unknown name, listing the known ones, or when creation fails.
    Effect create(const std::string& typeName) const;

    std::shared_ptr<Extension> extension;
    std::shared_ptr<NodeFactory> factory;
    std::vector<NodeTypeInfo> types;
};

}  // namespace orvane::tools
