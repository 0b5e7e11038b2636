#pragma once

#include <string>
#include <vector>

#include "host/OVAny.h"

namespace orvane {

/// Describes one node type to the host: names, description, categories, and the
/// description maps of its configuration entries, properties, actions and events.
struct NodeTypeInfo {
    std::string nodeNamespace;
    std::string type;
    std::string displayName;
    std::string description;
    std::vector<std::string> categories;
    OVAnyMap configuration;
    OVAnyMap properties;
    OVAnyMap actions;
    OVAnyMap events;

    /// nodeNamespace + "." + type; the dot is always there, even around empty parts.
    std::string getFQTypeName() const;

    /// The description map of a property. Throws std::runtime_error naming the key and
    /// the type when the record has no such property.
    OVAnyMap getProperty(const std::string& key) const;

    friend bool operator==(const NodeTypeInfo&, const NodeTypeInfo&) = default;
};

}  // namespace orvane
