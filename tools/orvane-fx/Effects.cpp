#include "Effects.h"

#include <charconv>
#include <limits>

#include "StrictNumber.h"
#include "Tool.h"
#include "host/ExtensionManager.h"

namespace orvane::tools {

namespace {

using extensions::audioeffects::ParameterKind;

std::optional<ParameterValue> parse(ParameterKind kind, const std::string& text) {
    if (kind == ParameterKind::Boolean) {
        if (text == "true" || text == "1") return true;
        if (text == "false" || text == "0") return false;
        return std::nullopt;
    }
    if (kind == ParameterKind::Int) {
        const auto number = StrictNumber::wholeNumber(text, std::numeric_limits<unsigned int>::max());
        return number ? std::optional<ParameterValue>(static_cast<unsigned int>(*number)) : std::nullopt;
    }
    const auto number = StrictNumber::finite<float>(text);
    return number ? std::optional<ParameterValue>(*number) : std::nullopt;
}

}  // namespace

std::string joined(const std::vector<std::string>& items, const char* last) {
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i)
        text += (i == 0 ? "" : i + 1 == items.size() ? last : ", ") + items[i];
    return text.empty() ? "none" : text;
}

const char* kindName(ParameterKind kind) {
    return kind == ParameterKind::Boolean ? "boolean" : kind == ParameterKind::Int ? "int" : "float";
}

std::string formatValue(const ParameterValue& value) {
    if (const bool* flag = std::get_if<bool>(&value)) return *flag ? "true" : "false";
    if (const unsigned int* whole = std::get_if<unsigned int>(&value)) return std::to_string(*whole);
    char text[64];
    return std::string(text, std::to_chars(text, text + sizeof text, std::get<float>(value)).ptr);
}

void Effect::set(const std::string& name, const std::string& text) {
    std::vector<std::string> names;
    for (const EffectParameter& parameter : parameters) {
        names.emplace_back(parameter.name);
        if (parameter.name != name) continue;
        const std::optional<ParameterValue> value = parse(parameter.kind, text);
        if (!value) {
            const char* accepted[] = {"true, false, 1 or 0", "a whole number from 0 to 4294967295",
                                      "a finite decimal number such as 0.25"};
            throw ToolError(info.type + ": the value '" + text + "' of parameter " + name + " does not parse; " + name +
                            " takes " + accepted[static_cast<std::size_t>(parameter.kind)]);
        }
        parameter.set(*processor(), *value);
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
        // The table describes this extension's own types; another's are run without parameters.
        const EffectDescription* described = info.nodeNamespace == extension->getName() && effect.processor()
                                                 ? extensions::audioeffects::findEffect(info.type)
                                                 : nullptr;
        if (described) effect.parameters = described->parameters;
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
