#include "Parameter.h"

#include <charconv>
#include <limits>
#include <utility>

#include "StrictNumber.h"
#include "ToolError.h"

namespace orvane::tools {

Parameter::Parameter(std::string name, ParameterType type, std::string description, Reader reader, Writer writer)
    : parameterName(std::move(name)),
      parameterType(type),
      parameterDescription(std::move(description)),
      reader(std::move(reader)),
      writer(std::move(writer)) {}

void Parameter::setRange(std::optional<ParameterValue> minimum, std::optional<ParameterValue> maximum) {
    lowest = std::move(minimum);
    highest = std::move(maximum);
}

ParameterValue Parameter::read() const { return reader(); }

void Parameter::write(const std::string& text) const {
    const std::optional<ParameterValue> value = parse(text);
    if (!value)
        throw ToolError("the value '" + text + "' of parameter " + parameterName + " does not parse; " + parameterName +
                        " takes " + acceptedValues());
    const std::string refusal = writer(*value);
    if (!refusal.empty()) throw ToolError("parameter " + parameterName + " refused '" + text + "': " + refusal);
}

std::optional<ParameterValue> Parameter::parse(const std::string& text) const {
    switch (parameterType) {
        case ParameterType::Boolean:
            if (text == "true" || text == "1") return ParameterValue(true);
            if (text == "false" || text == "0") return ParameterValue(false);
            return std::nullopt;
        case ParameterType::Int:
            if (auto number = StrictNumber::wholeNumber(text, std::numeric_limits<unsigned int>::max()))
                return ParameterValue(static_cast<unsigned int>(*number));
            return std::nullopt;
        case ParameterType::Float:
            if (auto number = StrictNumber::finiteFloat(text)) return ParameterValue(*number);
            return std::nullopt;
    }
    return std::nullopt;
}

std::string Parameter::acceptedValues() const {
    switch (parameterType) {
        case ParameterType::Boolean:
            return "true, false, 1 or 0";
        case ParameterType::Int:
            return "a whole number from 0 to " + std::to_string(std::numeric_limits<unsigned int>::max());
        case ParameterType::Float:
            return "a finite decimal number such as 0.25";
    }
    return {};
}

const char* Parameter::typeName(ParameterType type) noexcept {
    switch (type) {
        case ParameterType::Boolean:
            return "boolean";
        case ParameterType::Int:
            return "int";
        case ParameterType::Float:
            return "float";
    }
    return "unknown";
}

std::string Parameter::format(const ParameterValue& value) {
    if (const bool* flag = std::get_if<bool>(&value)) return *flag ? "true" : "false";
    if (const unsigned int* whole = std::get_if<unsigned int>(&value)) return std::to_string(*whole);
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, std::get<float>(value));
    return std::string(text, result.ptr);
}

}  // namespace orvane::tools
