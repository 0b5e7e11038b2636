#include "EffectCatalogue.h"

#include <utility>

#include "ToolError.h"
#include "host/ExtensionManager.h"

namespace orvane::tools {

EffectCatalogue EffectCatalogue::ofExtension(const std::string& name) {
    std::shared_ptr<Extension> extension = ExtensionManager::getInstance().findExtension(name);
    if (!extension) {
        std::string registered;
        for (const auto& other : ExtensionManager::getInstance().getExtensions())
            registered += (registered.empty() ? "" : ", ") + other->getName();
        throw ToolError("the extension '" + name + "' is not registered; registered extensions: " +
                        (registered.empty() ? std::string("none") : registered));
    }
    return EffectCatalogue(std::move(extension));
}

EffectCatalogue::EffectCatalogue(std::shared_ptr<Extension> extension)
    : owner(std::move(extension)), factory(owner->getNodeFactory()) {
    if (!factory) throw ToolError("the extension '" + owner->getName() + "' offers no node factory");
    nodeTypes = factory->getNodeTypes();
}

Effect EffectCatalogue::create(const std::string& typeName) const {
    for (const NodeTypeInfo& info : nodeTypes) {
        if (info.type != typeName && info.getFQTypeName() != typeName) continue;
        auto created = factory->createNode(info.getFQTypeName(), {});
        if (!created) throw ToolError("cannot create effect '" + typeName + "': " + created.error());
        return Effect(info, std::move(created.value()), factory);
    }
    std::string example =
        nodeTypes.empty() ? std::string() : " (or full names such as " + nodeTypes.front().getFQTypeName() + ")";
    throw ToolError("unknown effect '" + typeName + "'; known effects: " + knownTypeNames() + example);
}

std::string EffectCatalogue::knownTypeNames() const {
    std::string names;
    for (const NodeTypeInfo& info : nodeTypes) names += (names.empty() ? "" : ", ") + info.type;
    return names.empty() ? std::string("none") : names;
}

}  // namespace orvane::tools
