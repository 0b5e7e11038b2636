#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Node.h"
#include "OVAny.h"
#include "Result.h"
#include "metadata/NodeTypeInfo.h"

namespace orvane {

/// Builds a new node from a configuration map; the caller owns the node.
using NodeCreator = std::function<Node*(const OVAnyMap&)>;

/// Catalogue of node types: extensions derive from it and register their types.
class NodeFactory {
public:
    NodeFactory();
    virtual ~NodeFactory();
    NodeFactory(const NodeFactory&) = delete;
    NodeFactory& operator=(const NodeFactory&) = delete;

    /// The namespace of every type this factory registers.
    virtual std::string getNodeTypePrefix() const = 0;

    /// The registered types, in registration order.
    virtual std::vector<NodeTypeInfo> getNodeTypes() const;

    /// Creates a node of the named type: the short type ("Delay") or the fully qualified
    /// name ("AudioEffects.Delay"). An unknown name fails with a message listing the
    /// known types; exceptions of the node's constructor pass to the caller.
    virtual Result<std::unique_ptr<Node>> createNode(const std::string& type, const OVAnyMap& configuration);

protected:
    /// Adds a type. Throws std::invalid_argument for an empty creator or a fully
    /// qualified name that is already registered.
    void registerNode(const NodeTypeInfo& info, NodeCreator creator);

private:
    struct Registration {
        NodeTypeInfo info;
        NodeCreator creator;
    };

    std::vector<Registration> registrations;
};

}  // namespace orvane
