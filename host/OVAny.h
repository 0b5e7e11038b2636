#pragma once

#include <concepts>
#include <functional>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "Result.h"

namespace orvane {

class OVAny;
class OVAnyMap;

/// Reads a property's current value.
using PropertyGetter = std::function<Result<OVAny>()>;
/// Writes a property; answers a failure when the value is refused.
using PropertySetter = std::function<Result<void>(const OVAny&)>;

/// Thrown by OVAny::convert when the held value cannot become the wanted type.
class OVAnyConversionError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

/// A variant value of the host's object model.
///
/// Holds nothing, a bool, int, unsigned int, float, string, OVAnyMap, or a property
/// getter or setter. Maps are held by shared immutable reference, so copies are cheap.
class OVAny {
public:
    OVAny() = default;
    /// Only a real bool: pointers and other types that would convert to bool are refused.
    template <typename B>
    requires std::same_as<B, bool> OVAny(B value) : content(value) {}
    OVAny(int value) : content(value) {}
    OVAny(unsigned int value) : content(value) {}
    OVAny(float value) : content(value) {}
    OVAny(const char* value) : content(std::string(value)) {}
    OVAny(std::string value) : content(std::move(value)) {}
    OVAny(const OVAnyMap& value);
    OVAny(PropertyGetter value) : content(std::move(value)) {}
    OVAny(PropertySetter value) : content(std::move(value)) {}
    /// Any other callable with a getter's or a setter's signature, such as a lambda.
    template <typename F>
    requires(!std::same_as<std::decay_t<F>, OVAny> && !std::same_as<std::decay_t<F>, PropertyGetter> &&
             !std::same_as<std::decay_t<F>, PropertySetter> && std::is_invocable_v<F&>) OVAny(F&& getter)
        : content(PropertyGetter(std::forward<F>(getter))) {}
    template <typename F>
    requires(!std::same_as<std::decay_t<F>, OVAny> && !std::same_as<std::decay_t<F>, PropertyGetter> &&
             !std::same_as<std::decay_t<F>, PropertySetter> && std::is_invocable_v<F&, const OVAny&>) OVAny(F&& setter)
        : content(PropertySetter(std::forward<F>(setter))) {}

    /// Name of the held type: "empty", "bool", "int", "unsigned int", "float", "string",
    /// "map", "getter" or "setter".
    const char* typeName() const noexcept;

    bool isEmpty() const noexcept { return content.index() == 0; }

    /// Converts the held value to T, for T among bool, int, unsigned int, float,
    /// std::string, OVAnyMap, PropertyGetter and PropertySetter.
    ///
    /// Numbers convert into each other only where the value is kept exactly (a negative
    /// int never becomes an unsigned, 2.5 never an int, 1 or 0 alone become a bool);
    /// strings, maps and functions convert only to their own type. Anything else throws
    /// OVAnyConversionError naming the held and the wanted type.
    template <typename T>
    static T convert(const OVAny& value);

    friend bool operator==(const OVAny& a, const OVAny& b);

private:
    using MapPointer = std::shared_ptr<const OVAnyMap>;
    std::variant<std::monostate, bool, int, unsigned int, float, std::string, MapPointer, PropertyGetter,
                 PropertySetter>
        content;
};

template <>
bool OVAny::convert<bool>(const OVAny&);
template <>
int OVAny::convert<int>(const OVAny&);
template <>
unsigned int OVAny::convert<unsigned int>(const OVAny&);
template <>
float OVAny::convert<float>(const OVAny&);
template <>
std::string OVAny::convert<std::string>(const OVAny&);
template <>
OVAnyMap OVAny::convert<OVAnyMap>(const OVAny&);
template <>
PropertyGetter OVAny::convert<PropertyGetter>(const OVAny&);
template <>
PropertySetter OVAny::convert<PropertySetter>(const OVAny&);

/// String-keyed map of OVAny values that keeps its entries in insertion order.
class OVAnyMap {
public:
    using Entry = std::pair<std::string, OVAny>;
    using const_iterator = std::vector<Entry>::const_iterator;

    OVAnyMap() = default;
    /// Later duplicates of a key replace the earlier value in its original place.
    OVAnyMap(std::initializer_list<Entry> entries);

    bool hasKey(const std::string& key) const noexcept;
    /// The value under key; throws std::out_of_range naming the key when it is absent.
    const OVAny& at(const std::string& key) const;
    /// Adds key at the end, or replaces its value where it stands.
    void set(const std::string& key, OVAny value);

    bool empty() const noexcept { return entries.empty(); }
    const_iterator begin() const noexcept { return entries.begin(); }
    const_iterator end() const noexcept { return entries.end(); }
    std::vector<std::string> keys() const;

    friend bool operator==(const OVAnyMap& a, const OVAnyMap& b) { return a.entries == b.entries; }

private:
    const OVAny* find(const std::string& key) const noexcept;

    std::vector<Entry> entries;
};

}  // namespace orvane
