#include "NodeTypeInfo.h"

#include <stdexcept>

namespace orvane {

std::string NodeTypeInfo::getFQTypeName() const { return nodeNamespace + "." + type; }

OVAnyMap NodeTypeInfo::getProperty(const std::string& key) const {
    if (properties.hasKey(key)) return OVAny::convert<OVAnyMap>(properties.at(key));
    throw std::runtime_error("[NodeTypeInfo] Property key '" + key + "' not found for node type '" + getFQTypeName() +
                             "'.");
}

}  // namespace orvane
