#include "NodeFactory.h"

#include <stdexcept>

namespace orvane {

NodeFactory::NodeFactory() = default;

NodeFactory::~NodeFactory() = default;

std::vector<NodeTypeInfo> NodeFactory::getNodeTypes() const {
    std::vector<NodeTypeInfo> types;
    types.reserve(registrations.size());
    for (const auto& registration : registrations) types.push_back(registration.info);
    return types;
}

Result<std::unique_ptr<Node>> NodeFactory::createNode(const std::string& type, const OVAnyMap& configuration) {
    for (const auto& registration : registrations) {
        if (registration.info.type != type && registration.info.getFQTypeName() != type) continue;
        std::unique_ptr<Node> node(registration.creator(configuration));
        if (!node) return Result<std::unique_ptr<Node>>::failure("The creator of '" + type + "' made no node");
        return Result<std::unique_ptr<Node>>::success(std::move(node));
    }
    std::string message = "Unknown node type '" + type + "'; known types: ";
    if (registrations.empty()) message += "none";
    for (std::size_t i = 0; i < registrations.size(); ++i)
        message += (i ? ", " : "") + registrations[i].info.getFQTypeName();
    return Result<std::unique_ptr<Node>>::failure(message);
}

void NodeFactory::registerNode(const NodeTypeInfo& info, NodeCreator creator) {
    if (!creator) throw std::invalid_argument("Node type '" + info.getFQTypeName() + "' has no creator");
    for (const auto& registration : registrations)
        if (registration.info.getFQTypeName() == info.getFQTypeName())
            throw std::invalid_argument("Node type '" + info.getFQTypeName() + "' is already registered");
    registrations.push_back({info, std::move(creator)});
}

}  // namespace orvane
