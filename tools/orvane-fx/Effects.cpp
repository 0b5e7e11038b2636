#include "Effects.h"

#include <charconv>
#include <limits>
#include <type_traits>

#include "StrictNumber.h"
#include "Tool.h"
#include "host/ExtensionManager.h"
#include "metadata/Vocabulary.h"
#include "nodes/ChorusNode.h"
#include "nodes/DelayNode.h"
#include "nodes/FlangerNode.h"
#include "nodes/VibratoNode.h"

namespace orvane::tools {

namespace {

using namespace extensions::audioeffects;

std::string joined(const std::vector<std::string>& items, const char* last = ", ") {
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i)
        text += (i == 0 ? "" : i + 1 == items.size() ? last : ", ") + items[i];
    return text.empty() ? "none" : text;
}

// The value as T, or nothing when it is of another type.
template <typename T>
std::optional<T> as(const OVAny& value) {
    try {
        return OVAny::convert<T>(value);
    } catch (const OVAnyConversionError&) {
        return std::nullopt;
    }
}

std::optional<ParameterValue> as(const OVAny& value, std::size_t kind) {
    if (kind == 0) return as<bool>(value);
    if (kind == 1) return as<unsigned int>(value);
    return as<float>(value);
}

template <typename T>
std::optional<T> field(const OVAnyMap& description, const std::string& key) {
    return description.hasKey(key) ? as<T>(description.at(key)) : std::nullopt;
}

std::optional<ParameterValue> bound(const OVAnyMap& description, const std::string& key, std::size_t kind) {
    return description.hasKey(key) ? as(description.at(key), kind) : std::nullopt;
}

// A type that lists properties is served through getValue/setValue, as a host would.
std::vector<Parameter> fromProperties(const NodeTypeInfo& info, Node& node) {
    std::vector<Parameter> parameters;
    for (const auto& [name, entry] : info.properties) {
        const OVAnyMap description = as<OVAnyMap>(entry).value_or(OVAnyMap{});
        const std::string type = field<std::string>(description, PROPERTY_FIELD_TYPE).value_or("");
        const std::size_t kind = type == PROPERTY_TYPE_BOOLEAN ? 0 : type == PROPERTY_TYPE_INT ? 1 : 2;
        if ((kind == 2 && type != PROPERTY_TYPE_FLOAT) ||
            field<bool>(description, PROPERTY_FIELD_READ_ONLY).value_or(false) || !node.hasProperty(name))
            continue;
        Node* target = &node;
        auto read = [target, name = name, kind] {
            const Result<OVAny> value = target->getValue(name);
            if (!value) throw ToolError("cannot read parameter " + name + ": " + value.error());
            return as(value.value(), kind).value();
        };
        auto write = [target, name = name](const ParameterValue& value) {
            return target->setValue(name, std::visit([](auto held) { return OVAny(held); }, value)).error();
        };
        parameters.push_back({name, kind, field<std::string>(description, PROPERTY_FIELD_DESCRIPTION).value_or(""),
                              bound(description, PROPERTY_FIELD_MIN_VALUE, kind),
                              bound(description, PROPERTY_FIELD_MAX_VALUE, kind), read, write});
    }
    return parameters;
}

// The extension's other nodes publish no properties: their accessors are all there is.
template <typename T, typename NodeClass>
Parameter accessor(NodeClass& node, const char* name, const char* description, T (NodeClass::*get)(),
                   void (NodeClass::*set)(T)) {
    const std::size_t kind = std::is_same_v<T, bool> ? 0 : std::is_same_v<T, unsigned int> ? 1 : 2;
    return {name,
            kind,
            description,
            std::nullopt,
            std::nullopt,
            [&node, get] { return ParameterValue((node.*get)()); },
            [&node, set](const ParameterValue& value) {
                (node.*set)(std::get<T>(value));
                return std::string();
            }};
}

template <typename SweepNode>
std::vector<Parameter> sweepParameters(SweepNode& node) {
    return {accessor(node, "enabled", "Turns the effect on or off; off passes the input through.",
                     &SweepNode::getIsEnabled, &SweepNode::setIsEnabled),
            accessor(node, "sweepWidth", "Depth of the delay-time sweep in seconds.", &SweepNode::getSweepWidth,
                     &SweepNode::setSweepWidth),
            accessor(node, "frequency", "Rate of the delay-time sweep in Hz.", &SweepNode::getFrequency,
                     &SweepNode::setFrequency)};
}

std::vector<Parameter> describe(const NodeTypeInfo& info, Node& node) {
    if (!info.properties.empty()) return fromProperties(info, node);
    if (auto* delay = dynamic_cast<DelayNode*>(&node))
        return {accessor(*delay, "enabled", "Turns the effect on or off; off passes the input through.",
                         &DelayNode::getIsEnabled, &DelayNode::setIsEnabled),
                accessor(*delay, "delayMs", "The delay time in milliseconds.", &DelayNode::getDelayMs,
                         &DelayNode::setDelayMs),
                accessor(*delay, "dryMix", "Gain of the input in the output.", &DelayNode::getDryMix,
                         &DelayNode::setDryMix),
                accessor(*delay, "wetMix", "Gain of the delayed signal in the output.", &DelayNode::getWetMix,
                         &DelayNode::setWetMix),
                accessor(*delay, "feedbackLevel", "Share of the delayed signal fed back into the delay line.",
                         &DelayNode::getFeedbackLevel, &DelayNode::setFeedbackLevel)};
    if (auto* chorus = dynamic_cast<ChorusNode*>(&node)) return sweepParameters(*chorus);
    if (auto* flanger = dynamic_cast<FlangerNode*>(&node)) return sweepParameters(*flanger);
    if (auto* vibrato = dynamic_cast<VibratoNode*>(&node)) return sweepParameters(*vibrato);
    return {};
}

std::optional<ParameterValue> parse(std::size_t kind, const std::string& text) {
    if (kind == 0) {
        if (text == "true" || text == "1") return true;
        if (text == "false" || text == "0") return false;
        return std::nullopt;
    }
    if (kind == 1) {
        const auto number = StrictNumber::wholeNumber(text, std::numeric_limits<unsigned int>::max());
        return number ? std::optional<ParameterValue>(static_cast<unsigned int>(*number)) : std::nullopt;
    }
    const auto number = StrictNumber::finite<float>(text);
    return number ? std::optional<ParameterValue>(*number) : std::nullopt;
}

}  // namespace

const char* kindName(std::size_t kind) { return kind == 0 ? "boolean" : kind == 1 ? "int" : "float"; }

std::string formatValue(const ParameterValue& value) {
    if (const bool* flag = std::get_if<bool>(&value)) return *flag ? "true" : "false";
    if (const unsigned int* whole = std::get_if<unsigned int>(&value)) return std::to_string(*whole);
    char text[64];
    return std::string(text, std::to_chars(text, text + sizeof text, std::get<float>(value)).ptr);
}

void Effect::set(const std::string& name, const std::string& text) {
    std::vector<std::string> names;
    for (const Parameter& parameter : parameters) {
        names.push_back(parameter.name);
        if (parameter.name != name) continue;
        const std::optional<ParameterValue> value = parse(parameter.kind, text);
        if (!value) {
            const char* accepted[] = {"true, false, 1 or 0", "a whole number from 0 to 4294967295",
                                      "a finite decimal number such as 0.25"};
            throw ToolError(info.type + ": the value '" + text + "' of parameter " + name + " does not parse; " + name +
                            " takes " + accepted[parameter.kind]);
        }
        const std::string refusal = parameter.write(*value);
        if (!refusal.empty())
            throw ToolError(info.type + ": parameter " + name + " refused '" + text + "': " + refusal);
        return;
    }
    throw ToolError(info.type + " has no parameter '" + name + "'; its parameters are " + joined(names));
}

Catalogue Catalogue::named(const std::string& name) {
    ExtensionManager& manager = ExtensionManager::getInstance();
    if (auto extension = manager.findExtension(name)) return Catalogue(extension);
    std::vector<std::string> registered;
    for (const auto& other : manager.getExtensions()) registered.push_back(other->getName());
    throw ToolError("the extension '" + name + "' is not registered; registered extensions: " + joined(registered));
}

Catalogue::Catalogue(std::shared_ptr<Extension> owner)
    : extension(std::move(owner)), factory(extension->getNodeFactory()) {
    if (!factory) throw ToolError("the extension '" + extension->getName() + "' offers no node factory");
    types = factory->getNodeTypes();
}

Effect Catalogue::create(const std::string& typeName) const {
    std::vector<std::string> known;
    for (const NodeTypeInfo& info : types) {
        known.push_back(info.type);
        if (info.type != typeName && info.getFQTypeName() != typeName) continue;
        auto created = factory->createNode(info.getFQTypeName(), {});
        if (!created) throw ToolError("cannot create effect '" + typeName + "': " + created.error());
        Effect effect{info, std::move(created.value()), {}};
        effect.parameters = describe(info, *effect.node);
        return effect;
    }
    const std::string example = types.empty() ? "" : " (or full names such as " + types.front().getFQTypeName() + ")";
    throw ToolError("unknown effect '" + typeName + "'; known effects: " + joined(known) + example);
}

std::string Catalogue::acceptedChannels(const NodeTypeInfo& info, std::uint32_t sampleRate,
                                        std::uint32_t frames) const {
    std::vector<std::string> counts;
    for (std::uint32_t channels = 1; channels <= 8; ++channels) {
        // A fresh node each time, so that no earlier agreement colours the answer.
        auto created = factory->createNode(info.getFQTypeName(), {});
        auto* probe = created ? dynamic_cast<SingleBusAudioProcessorNode*>(created.value().get()) : nullptr;
        AudioBusFormat input{sampleRate, channels, frames};
        AudioBusFormat output{};
        if (probe && probe->setBusFormat(input, output) && output.numberOfChannels == channels)
            counts.push_back(std::to_string(channels));
    }
    if (counts.empty()) return "no channel count from 1 to 8";
    const bool range = counts.size() > 2 && std::stoul(counts.back()) - std::stoul(counts.front()) + 1 == counts.size();
    return (range ? counts.front() + " to " + counts.back() : joined(counts, " or ")) +
           (counts == std::vector<std::string>{"1"} ? " channel" : " channels");
}

}  // namespace orvane::tools
