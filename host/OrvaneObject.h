#pragma once

#include <string>
#include <vector>

#include "OVAny.h"
#include "Result.h"

namespace orvane {

/// Base of every object the host knows: a type name and named properties.
///
/// Properties are registered while the object is built and never change afterwards,
/// so getValue and setValue may be called from any thread without a lock; the property's
/// own getter and setter decide what is safe to read and write concurrently.
class OrvaneObject {
public:
    explicit OrvaneObject(const std::string& objectType);
    virtual ~OrvaneObject();
    OrvaneObject(const OrvaneObject&) = delete;
    OrvaneObject& operator=(const OrvaneObject&) = delete;

    /// Writes a property through its setter. Fails, storing nothing, for an unknown
    /// name, a read-only property or a value the setter refuses; never throws.
    virtual Result<void> setValue(const std::string& name, const OVAny& value);
    /// Reads a property through its getter. Fails for an unknown name; never throws.
    virtual Result<OVAny> getValue(const std::string& name);
    /// Runs a named action. This base has none and answers a failure.
    virtual Result<OVAny> callAction(const std::string& name, const OVAnyMap& arguments);

    const std::string& getObjectType() const noexcept { return objectType; }
    bool hasProperty(const std::string& name) const noexcept;
    /// Names of the registered properties, in registration order.
    std::vector<std::string> getPropertyNames() const;
    /// The description map registered with a property; throws std::out_of_range for an unknown name.
    const OVAnyMap& getPropertyDescription(const std::string& name) const;

protected:
    /// Makes name readable and writable through getValue/setValue. getter must hold a
    /// PropertyGetter; setter a PropertySetter, or nothing for a read-only property.
    /// Throws std::invalid_argument for a duplicate name or unsuitable functions.
    void registerProperty(const std::string& name, const OVAnyMap& description, const OVAny& getter,
                          const OVAny& setter);

private:
    struct Property {
        std::string name;
        OVAnyMap description;
        PropertyGetter getter;
        PropertySetter setter;
    };

    const Property* findProperty(const std::string& name) const noexcept;
    std::string unknownPropertyMessage(const std::string& name) const;

    std::string objectType;
    std::vector<Property> properties;
};

}  // namespace orvane
