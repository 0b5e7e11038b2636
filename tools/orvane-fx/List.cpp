#include <iomanip>
#include <optional>
#include <ostream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "Effects.h"
#include "StrictNumber.h"
#include "Tool.h"
#include "host/ExtensionManager.h"
#include "render/OfflineRenderer.h"

namespace orvane::tools {

namespace {

using Json = nlohmann::ordered_json;

// A float's shortest decimal form, so that 0.7f is listed as 0.7 and not 0.699999988.
Json toJson(const ParameterValue& value) {
    if (const bool* flag = std::get_if<bool>(&value)) return *flag;
    if (const unsigned int* whole = std::get_if<unsigned int>(&value)) return *whole;
    return StrictNumber::finite<double>(formatValue(value)).value_or(0.0);
}

// As typed on the command line: 4 rather than JSON's 4.0.
std::string shown(const Json& value) {
    const std::string text = value.dump();
    return text.ends_with(".0") ? text.substr(0, text.size() - 2) : text;
}

void writeText(const Json& listing, std::ostream& out) {
    for (const Json& extension : listing["extensions"]) {
        out << "Extension " << extension["name"].get<std::string>() << ": "
            << extension["description"].get<std::string>() << "\n";
        for (const Json& type : extension["nodeTypes"]) {
            out << "\n  " << type["name"].get<std::string>() << "  (" << type["displayName"].get<std::string>()
                << ")\n    " << type["description"].get<std::string>()
                << "\n    categories: " << joined(type["categories"].get<std::vector<std::string>>())
                << "\n    parameters:" << (type["parameters"].empty() ? " none" : "") << "\n";
            for (const Json& parameter : type["parameters"]) {
                std::ostringstream line;
                line << "      " << std::left << std::setw(15) << parameter["name"].get<std::string>() << std::setw(9)
                     << parameter["type"].get<std::string>() << "default " << std::setw(7)
                     << shown(parameter["default"]);
                if (parameter.contains("min")) line << " min " << shown(parameter["min"]);
                if (parameter.contains("max")) line << " max " << shown(parameter["max"]);
                std::string text = line.str();
                out << text.erase(text.find_last_not_of(' ') + 1) << "\n";
            }
            if (!type["presets"].empty()) out << "    presets:\n";
            for (const Json& preset : type["presets"]) {
                std::string values;
                for (const auto& [name, value] : preset["values"].items())
                    values += (values.empty() ? "" : ", ") + name + "=" + shown(value);
                out << "      " << std::left << std::setw(15) << preset["name"].get<std::string>()
                    << preset["description"].get<std::string>() << " (" << values << ")\n";
            }
        }
        out << "\n";
    }
}

}  // namespace

void listEffects(bool json, std::ostream& out) {
    Json extensions = Json::array();
    for (const auto& extension : ExtensionManager::getInstance().getExtensions()) {
        const Catalogue catalogue(extension);
        Json types = Json::array();
        for (const NodeTypeInfo& info : catalogue.types) {
            Json parameters = Json::array();
            // A type whose node cannot be made is still listed, only without parameters.
            std::optional<Effect> fresh;
            try {
                fresh.emplace(catalogue.create(info.getFQTypeName()));
            } catch (const ToolError&) {
            }
            for (const EffectParameter& parameter : fresh ? fresh->parameters : std::span<const EffectParameter>{}) {
                Json entry{{"name", parameter.name},
                           {"type", render::kindName(parameter.kind)},
                           {"default", toJson(fresh->get(parameter))}};
                if (parameter.kind != extensions::audioeffects::ParameterKind::Boolean) {
                    entry["min"] = toJson(parameter.fromNumber(parameter.minimum));
                    entry["max"] = toJson(parameter.fromNumber(parameter.maximum));
                }
                entry["description"] = parameter.description;
                parameters.push_back(entry);
            }
            // This extension's own types have presets; another's have none.
            Json presets = Json::array();
            for (const render::EffectPreset& preset : fresh && !fresh->parameters.empty()
                                                          ? render::presetsOf(info.type)
                                                          : std::span<const render::EffectPreset>{}) {
                Json values = Json::object();
                for (const auto& [name, number] : preset.values)
                    for (const EffectParameter& parameter : fresh->parameters)
                        if (parameter.name == name) values[std::string(name)] = toJson(parameter.fromNumber(number));
                presets.push_back({{"name", preset.name}, {"description", preset.description}, {"values", values}});
            }
            types.push_back({{"name", info.getFQTypeName()},
                             {"namespace", info.nodeNamespace},
                             {"type", info.type},
                             {"displayName", info.displayName},
                             {"description", info.description},
                             {"categories", info.categories},
                             {"parameters", std::move(parameters)},
                             {"presets", std::move(presets)}});
        }
        extensions.push_back(
            {{"name", extension->getName()}, {"description", extension->getDescription()}, {"nodeTypes", types}});
    }
    const Json listing{{"extensions", std::move(extensions)}};
    if (json)
        out << listing.dump(2) << '\n';
    else if (listing["extensions"].empty())
        out << "No extension is registered.\n";
    else
        writeText(listing, out);
}

}  // namespace orvane::tools
