#pragma once

#include <vector>

#include "Parameter.h"
#include "host/Node.h"
#include "metadata/NodeTypeInfo.h"

namespace orvane::tools {

/// Finds the settable parameters of a node.
///
/// A type whose description lists properties is served through those host properties
/// (getValue/setValue). The extension's other effects publish no properties; their
/// parameters are reached through the node classes' accessors.
class ParameterTable {
public:
    /// The parameters of node, whose type info describes. The parameters are bound to node
    /// and must not outlive it.
    static std::vector<Parameter> describe(const NodeTypeInfo& info, Node& node);
};

}  // namespace orvane::tools
