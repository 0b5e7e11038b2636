#include "OrvaneObject.h"

#include <exception>
#include <stdexcept>

namespace orvane {

OrvaneObject::OrvaneObject(const std::string& type) : objectType(type) {}

OrvaneObject::~OrvaneObject() = default;

const OrvaneObject::Property* OrvaneObject::findProperty(const std::string& name) const noexcept {
    for (const auto& property : properties)
        if (property.name == name) return &property;
    return nullptr;
}

std::string OrvaneObject::unknownPropertyMessage(const std::string& name) const {
    std::string message = "Unknown property '" + name + "' of " + objectType + "; ";
    if (properties.empty()) return message + "it has no properties";
    message += "known properties: ";
    for (std::size_t i = 0; i < properties.size(); ++i) message += (i ? ", " : "") + properties[i].name;
    return message;
}

bool OrvaneObject::hasProperty(const std::string& name) const noexcept { return findProperty(name) != nullptr; }

std::vector<std::string> OrvaneObject::getPropertyNames() const {
    std::vector<std::string> names;
    for (const auto& property : properties) names.push_back(property.name);
    return names;
}

const OVAnyMap& OrvaneObject::getPropertyDescription(const std::string& name) const {
    if (const Property* property = findProperty(name)) return property->description;
    throw std::out_of_range(unknownPropertyMessage(name));
}

void OrvaneObject::registerProperty(const std::string& name, const OVAnyMap& description, const OVAny& getter,
                                    const OVAny& setter) {
    if (findProperty(name)) throw std::invalid_argument("Property '" + name + "' is already registered");
    Property property{name, description, {}, {}};
    try {
        property.getter = OVAny::convert<PropertyGetter>(getter);
        if (!setter.isEmpty()) property.setter = OVAny::convert<PropertySetter>(setter);
    } catch (const OVAnyConversionError& error) {
        throw std::invalid_argument("Property '" + name + "': " + error.what());
    }
    if (!property.getter) throw std::invalid_argument("Property '" + name + "' has an empty getter");
    if (!setter.isEmpty() && !property.setter)
        throw std::invalid_argument("Property '" + name +
                                    "' has an empty setter; register a read-only property with an empty OVAny");
    properties.push_back(std::move(property));
}

Result<void> OrvaneObject::setValue(const std::string& name, const OVAny& value) {
    const Property* property = findProperty(name);
    if (!property) return Result<void>::failure(unknownPropertyMessage(name));
    if (!property->setter) return Result<void>::failure("Property '" + name + "' is read-only");
    try {
        Result<void> result = property->setter(value);
        if (!result) return Result<void>::failure("Cannot set property '" + name + "': " + result.error());
        return result;
    } catch (const std::exception& error) {
        return Result<void>::failure("Cannot set property '" + name + "': " + error.what());
    }
}

Result<OVAny> OrvaneObject::getValue(const std::string& name) {
    const Property* property = findProperty(name);
    if (!property) return Result<OVAny>::failure(unknownPropertyMessage(name));
    try {
        return property->getter();
    } catch (const std::exception& error) {
        return Result<OVAny>::failure("Cannot read property '" + name + "': " + error.what());
    }
}

Result<OVAny> OrvaneObject::callAction(const std::string& name, const OVAnyMap&) {
    return Result<OVAny>::failure("Unknown action '" + name + "' of " + objectType + "; it has no actions");
}

}  // namespace orvane
