#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Effect.h"
#include "host/Extension.h"
#include "host/NodeFactory.h"

namespace orvane::tools {

/// The node types of one registered extension, reached through the host's registry the
/// way a host reaches them.
class EffectCatalogue {
public:
    /// The name of the extension that holds the effects.
    static constexpr const char* effectsExtension = "AudioEffects";

    /// The catalogue of the extension registered under name. Throws ToolError when the
    /// registry holds no such extension or it offers no factory.
    static EffectCatalogue ofExtension(const std::string& name);
    /// The catalogue of the given extension.
    explicit EffectCatalogue(std::shared_ptr<Extension> extension);

    const Extension& extension() const noexcept { return *owner; }
    /// The registered types, in the factory's order.
    const std::vector<NodeTypeInfo>& types() const noexcept { return nodeTypes; }

    /// A new node of the type with the given short or fully qualified name. Throws
    /// ToolError for an unknown name, listing the known ones, or when creation fails.
    Effect create(const std::string& typeName) const;

    /// The short names of all types, comma separated.
    std::string knownTypeNames() const;

private:
    std::shared_ptr<Extension> owner;
    std::shared_ptr<NodeFactory> factory;
    std::vector<NodeTypeInfo> nodeTypes;
};

}  // namespace orvane::tools
