#include "ParameterTable.h"

#include <string>
#include <type_traits>
#include <variant>

#include "ToolError.h"
#include "host/OVAny.h"
#include "metadata/Vocabulary.h"
#include "nodes/ChorusNode.h"
#include "nodes/DelayNode.h"
#include "nodes/FlangerNode.h"
#include "nodes/VibratoNode.h"

namespace orvane::tools {

namespace {

using extensions::audioeffects::ChorusNode;
using extensions::audioeffects::DelayNode;
using extensions::audioeffects::FlangerNode;
using extensions::audioeffects::VibratoNode;

std::optional<ParameterType> typeFromDescription(const std::string& name) {
    if (name == PROPERTY_TYPE_BOOLEAN) return ParameterType::Boolean;
    if (name == PROPERTY_TYPE_INT) return ParameterType::Int;
    if (name == PROPERTY_TYPE_FLOAT) return ParameterType::Float;
    return std::nullopt;
}

ParameterValue convert(const OVAny& value, ParameterType type) {
    switch (type) {
        case ParameterType::Boolean:
            return OVAny::convert<bool>(value);
        case ParameterType::Int:
            return OVAny::convert<unsigned int>(value);
        case ParameterType::Float:
            return OVAny::convert<float>(value);
    }
    return false;
}

// A "min" or "max" that does not convert to the parameter's type is left out of the
// listing rather than shown wrongly.
std::optional<ParameterValue> boundFrom(const OVAnyMap& description, const std::string& key, ParameterType type) {
    if (!description.hasKey(key)) return std::nullopt;
    try {
        return convert(description.at(key), type);
    } catch (const OVAnyConversionError&) {
        return std::nullopt;
    }
}

std::string stringFrom(const OVAnyMap& description, const std::string& key) {
    if (!description.hasKey(key)) return {};
    try {
        return OVAny::convert<std::string>(description.at(key));
    } catch (const OVAnyConversionError&) {
        return {};
    }
}

bool isReadOnly(const OVAnyMap& description) {
    if (!description.hasKey(PROPERTY_FIELD_READ_ONLY)) return false;
    try {
        return OVAny::convert<bool>(description.at(PROPERTY_FIELD_READ_ONLY));
    } catch (const OVAnyConversionError&) {
        return false;
    }
}

std::vector<Parameter> fromProperties(const NodeTypeInfo& info, Node& node) {
    std::vector<Parameter> parameters;
    for (const auto& [name, entry] : info.properties) {
        OVAnyMap description;
        try {
            description = OVAny::convert<OVAnyMap>(entry);
        } catch (const OVAnyConversionError&) {
            continue;
        }
        const auto type = typeFromDescription(stringFrom(description, PROPERTY_FIELD_TYPE));
        if (!type || isReadOnly(description) || !node.hasProperty(name)) continue;

        Node* target = &node;
        auto reader = [target, name = name, type = *type]() {
            const Result<OVAny> value = target->getValue(name);
            if (!value) throw ToolError("cannot read parameter " + name + ": " + value.error());
            return convert(value.value(), type);
        };
        auto writer = [target, name = name](const ParameterValue& value) {
            const OVAny any = std::visit([](auto held) { return OVAny(held); }, value);
            return target->setValue(name, any).error();
        };
        Parameter parameter(name, *type, stringFrom(description, PROPERTY_FIELD_DESCRIPTION), reader, writer);
        parameter.setRange(boundFrom(description, PROPERTY_FIELD_MIN_VALUE, *type),
                           boundFrom(description, PROPERTY_FIELD_MAX_VALUE, *type));
        parameters.push_back(std::move(parameter));
    }
    return parameters;
}

// Binds a getter/setter pair of an accessor class to a Parameter of type T.
template <typename T, typename NodeClass>
Parameter accessor(NodeClass& node, const char* name, const char* description, T (NodeClass::*getter)(),
                   void (NodeClass::*setter)(T)) {
    constexpr ParameterType type = std::is_same_v<T, bool>           ? ParameterType::Boolean
                                   : std::is_same_v<T, unsigned int> ? ParameterType::Int
                                                                     : ParameterType::Float;
    NodeClass* target = &node;
    return Parameter(
        name, type, description, [target, getter]() { return ParameterValue((target->*getter)()); },
        [target, setter](const ParameterValue& value) {
            (target->*setter)(std::get<T>(value));
            return std::string();
        });
}

std::vector<Parameter> delayParameters(DelayNode& node) {
    std::vector<Parameter> parameters;
    parameters.push_back(accessor(node, "enabled", "Turns the effect on or off; off passes the input through.",
                                  &DelayNode::getIsEnabled, &DelayNode::setIsEnabled));
    parameters.push_back(
        accessor(node, "delayMs", "The delay time in milliseconds.", &DelayNode::getDelayMs, &DelayNode::setDelayMs));
    parameters.push_back(
        accessor(node, "dryMix", "Gain of the input in the output.", &DelayNode::getDryMix, &DelayNode::setDryMix));
    parameters.push_back(accessor(node, "wetMix", "Gain of the delayed signal in the output.", &DelayNode::getWetMix,
                                  &DelayNode::setWetMix));
    parameters.push_back(accessor(node, "feedbackLevel", "Share of the delayed signal fed back into the delay line.",
                                  &DelayNode::getFeedbackLevel, &DelayNode::setFeedbackLevel));
    return parameters;
}

// Chorus, flanger and vibrato share their parameters and accessor names.
template <typename SweepNode>
std::vector<Parameter> sweepParameters(SweepNode& node) {
    std::vector<Parameter> parameters;
    parameters.push_back(accessor(node, "enabled", "Turns the effect on or off; off passes the input through.",
                                  &SweepNode::getIsEnabled, &SweepNode::setIsEnabled));
    parameters.push_back(accessor(node, "sweepWidth", "Depth of the delay-time sweep in seconds.",
                                  &SweepNode::getSweepWidth, &SweepNode::setSweepWidth));
    parameters.push_back(accessor(node, "frequency", "Rate of the delay-time sweep in Hz.", &SweepNode::getFrequency,
                                  &SweepNode::setFrequency));
    return parameters;
}

}  // namespace

std::vector<Parameter> ParameterTable::describe(const NodeTypeInfo& info, Node& node) {
    if (!info.properties.empty()) return fromProperties(info, node);
    if (auto* delay = dynamic_cast<DelayNode*>(&node)) return delayParameters(*delay);
    if (auto* chorus = dynamic_cast<ChorusNode*>(&node)) return sweepParameters(*chorus);
    if (auto* flanger = dynamic_cast<FlangerNode*>(&node)) return sweepParameters(*flanger);
    if (auto* vibrato = dynamic_cast<VibratoNode*>(&node)) return sweepParameters(*vibrato);
    return {};
}

}  // namespace orvane::tools
