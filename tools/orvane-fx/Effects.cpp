#include "Effects.h"

#include <limits>

#include "StrictNumber.h"
#include "Tool.h"
#include "host/ExtensionManager.h"
#include "render/OfflineRenderer.h"

namespace orvane::tools {

namespace {

using extensions::audioeffects::ParameterKind;

std::optional<ParameterValue> parseText(ParameterKind kind, const std::string& text) {
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

std::string formatValue(const ParameterValue& value) {
    if (const bool* flag = std::get_if<bool>(&value)) return *flag ? "true" : "false";
    if (const unsigned int* whole = std::get_if<unsigned int>(&value)) return std::to_string(*whole);
    return render::shortest(std::get<float>(value));
}

std::pair<std::size_t, ParameterValue> Effect::parse(const std::string& name, const std::string& text) const {
    std::vector<std::string> names;
    for (std::size_t index = 0; index < parameters.size(); ++index) {
        const EffectParameter& parameter = parameters[index];
        names.emplace_back(parameter.name);
        if (parameter.name != name) continue;
        const std::optional<ParameterValue> value = parseText(parameter.kind, text);
        if (!value) {
            const char* accepted[] = {"true, false, 1 or 0", "a whole number from 0 to 4294967295",
                                      "a finite decimal number such as 0.25"};
            throw ToolError(info.type + ": the value '" + text + "' of parameter " + name + " does not parse; " + name +
                            " takes " + accepted[static_cast<std::size_t>(parameter.kind)]);
        }
        return {index, *value};
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

}  // namespace orvane::tools
