#include "OVAny.h"

#include <cmath>
#include <cstdint>
#include <iomanip>
#include <limits>
#include <sstream>

namespace orvane {

namespace {

std::string describe(const OVAny& value);

[[noreturn]] void refuse(const OVAny& value, const char* wanted, const char* why) {
    throw OVAnyConversionError("cannot convert OVAny holding " + describe(value) + " to " + wanted + ": " + why);
}

}  // namespace

OVAny::OVAny(const OVAnyMap& value) : content(std::make_shared<const OVAnyMap>(value)) {}

const char* OVAny::typeName() const noexcept {
    static constexpr const char* names[] = {"empty",  "bool", "int",    "unsigned int", "float",
                                            "string", "map",  "getter", "setter"};
    return names[content.index()];
}

bool operator==(const OVAny& a, const OVAny& b) {
    if (a.content.index() != b.content.index()) return false;
    return std::visit(
        [&](const auto& left) -> bool {
            using T = std::decay_t<decltype(left)>;
            const auto& right = std::get<T>(b.content);
            if constexpr (std::is_same_v<T, OVAny::MapPointer>) {
                return *left == *right;
            } else if constexpr (std::is_same_v<T, PropertyGetter> || std::is_same_v<T, PropertySetter>) {
                return !left && !right;  // functions have no comparable identity
            } else {
                return left == right;
            }
        },
        a.content);
}

namespace {

std::string describe(const OVAny& value) {
    std::ostringstream text;
    text << std::setprecision(std::numeric_limits<float>::max_digits10) << value.typeName();
    const std::string type = value.typeName();
    if (type == "int") text << " (" << OVAny::convert<int>(value) << ")";
    if (type == "unsigned int") text << " (" << OVAny::convert<unsigned int>(value) << ")";
    if (type == "float") text << " (" << OVAny::convert<float>(value) << ")";
    if (type == "bool") text << " (" << (OVAny::convert<bool>(value) ? "true" : "false") << ")";
    return text.str();
}

}  // namespace

namespace {

// The held number as a double, or false when the value is not a number. Exact for every
// bool, int, unsigned int and float.
template <typename Variant>
bool asDouble(const Variant& content, double& out) {
    if (auto v = std::get_if<bool>(&content)) return out = *v ? 1.0 : 0.0, true;
    if (auto v = std::get_if<int>(&content)) return out = *v, true;
    if (auto v = std::get_if<unsigned int>(&content)) return out = *v, true;
    if (auto v = std::get_if<float>(&content)) return out = *v, true;
    return false;
}

}  // namespace

template <>
bool OVAny::convert<bool>(const OVAny& value) {
    if (auto v = std::get_if<bool>(&value.content)) return *v;
    double number = 0;
    if (!asDouble(value.content, number)) refuse(value, "bool", "only bools and the numbers 0 and 1 convert");
    if (number == 0.0) return false;
    if (number == 1.0) return true;
    refuse(value, "bool", "only 0 and 1 convert to a bool");
}

template <>
int OVAny::convert<int>(const OVAny& value) {
    if (auto v = std::get_if<int>(&value.content)) return *v;
    double number = 0;
    if (!asDouble(value.content, number)) refuse(value, "int", "only numeric values convert");
    if (!std::isfinite(number) || std::trunc(number) != number) refuse(value, "int", "the value is not whole");
    if (number < static_cast<double>(std::numeric_limits<int>::min()) ||
        number > static_cast<double>(std::numeric_limits<int>::max()))
        refuse(value, "int", "the value is out of range");
    return static_cast<int>(number);
}

template <>
unsigned int OVAny::convert<unsigned int>(const OVAny& value) {
    if (auto v = std::get_if<unsigned int>(&value.content)) return *v;
    double number = 0;
    if (!asDouble(value.content, number)) refuse(value, "unsigned int", "only numeric values convert");
    if (!std::isfinite(number) || std::trunc(number) != number) refuse(value, "unsigned int", "the value is not whole");
    if (number < 0.0 || number > static_cast<double>(std::numeric_limits<unsigned int>::max()))
        refuse(value, "unsigned int", "the value is out of range");
    return static_cast<unsigned int>(number);
}

template <>
float OVAny::convert<float>(const OVAny& value) {
    if (auto v = std::get_if<float>(&value.content)) return *v;
    double number = 0;
    if (!asDouble(value.content, number)) refuse(value, "float", "only numeric values convert");
    const auto converted = static_cast<float>(number);
    if (static_cast<double>(converted) != number) refuse(value, "float", "the value has no exact float");
    return converted;
}

template <>
std::string OVAny::convert<std::string>(const OVAny& value) {
    if (auto v = std::get_if<std::string>(&value.content)) return *v;
    refuse(value, "string", "only strings convert");
}

template <>
OVAnyMap OVAny::convert<OVAnyMap>(const OVAny& value) {
    if (auto v = std::get_if<MapPointer>(&value.content)) return **v;
    refuse(value, "map", "only maps convert");
}

template <>
PropertyGetter OVAny::convert<PropertyGetter>(const OVAny& value) {
    if (auto v = std::get_if<PropertyGetter>(&value.content)) return *v;
    refuse(value, "getter", "only getters convert");
}

template <>
PropertySetter OVAny::convert<PropertySetter>(const OVAny& value) {
    if (auto v = std::get_if<PropertySetter>(&value.content)) return *v;
    refuse(value, "setter", "only setters convert");
}

OVAnyMap::OVAnyMap(std::initializer_list<Entry> initial) {
    for (const auto& [key, value] : initial) set(key, value);
}

const OVAny* OVAnyMap::find(const std::string& key) const noexcept {
    for (const auto& entry : entries)
        if (entry.first == key) return &entry.second;
    return nullptr;
}

bool OVAnyMap::hasKey(const std::string& key) const noexcept { return find(key) != nullptr; }

const OVAny& OVAnyMap::at(const std::string& key) const {
    if (const OVAny* value = find(key)) return *value;
    throw std::out_of_range("OVAnyMap has no key '" + key + "'");
}

void OVAnyMap::set(const std::string& key, OVAny value) {
    for (auto& entry : entries) {
        if (entry.first == key) {
            entry.second = std::move(value);
            return;
        }
    }
    entries.emplace_back(key, std::move(value));
}

std::vector<std::string> OVAnyMap::keys() const {
    std::vector<std::string> names;
    names.reserve(entries.size());
    for (const auto& entry : entries) names.push_back(entry.first);
    return names;
}

}  // namespace orvane
