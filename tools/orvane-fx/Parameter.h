#pragma once

#include <functional>
#include <optional>
#include <string>
#include <variant>

namespace orvane::tools {

/// The kinds of value a tool user can give an effect parameter.
enum class ParameterType { Boolean, Int, Float };

/// A parameter value of the kind its ParameterType names: bool, unsigned int or float.
using ParameterValue = std::variant<bool, unsigned int, float>;

/// One settable parameter of one node, bound to that node: a name, a type, and how to read
/// and write it (through the node's accessors or its host properties).
class Parameter {
public:
    using Reader = std::function<ParameterValue()>;
    /// Answers an empty string on success, else why the node refused the value.
    using Writer = std::function<std::string(const ParameterValue&)>;

    Parameter(std::string name, ParameterType type, std::string description, Reader reader, Writer writer);

    const std::string& name() const noexcept { return parameterName; }
    ParameterType type() const noexcept { return parameterType; }
    const std::string& description() const noexcept { return parameterDescription; }
    /// The lowest and highest value a type description recommends, where it has them.
    const std::optional<ParameterValue>& minimum() const noexcept { return lowest; }
    const std::optional<ParameterValue>& maximum() const noexcept { return highest; }
    void setRange(std::optional<ParameterValue> minimum, std::optional<ParameterValue> maximum);

    /// The node's current value.
    ParameterValue read() const;
    /// Parses text strictly and stores it in the node. Throws ToolError naming the
    /// parameter, the text and what the parameter accepts.
    void write(const std::string& text) const;

    /// Parses text as a value of this parameter's type, or nothing if it is not one.
    std::optional<ParameterValue> parse(const std::string& text) const;
    /// What parse accepts, in words: "true, false, 1 or 0", ...
    std::string acceptedValues() const;

    /// "boolean", "int" or "float", the type names of the host's descriptions.
    static const char* typeName(ParameterType type) noexcept;
    /// The value as a user would type it; floats in their shortest exact form ("0.7").
    static std::string format(const ParameterValue& value);

private:
    std::string parameterName;
    ParameterType parameterType;
    std::string parameterDescription;
    std::optional<ParameterValue> lowest;
    std::optional<ParameterValue> highest;
    Reader reader;
    Writer writer;
};

}  // namespace orvane::tools
