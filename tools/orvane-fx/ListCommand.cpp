#include "ListCommand.h"

#include <iomanip>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "EffectCatalogue.h"
#include "StrictNumber.h"
#include "ToolError.h"
#include "host/ExtensionManager.h"

namespace orvane::tools {

namespace {

struct TypeListing {
    NodeTypeInfo info;
    std::optional<Effect> freshNode;  // read for the parameters' starting values
};

struct ExtensionListing {
    std::string name;
    std::string description;
    std::vector<TypeListing> types;
};

std::vector<ExtensionListing> gatherListings() {
    std::vector<ExtensionListing> listings;
    for (const auto& extension : ExtensionManager::getInstance().getExtensions()) {
        ExtensionListing listing{extension->getName(), extension->getDescription(), {}};
        const EffectCatalogue catalogue(extension);
        for (const NodeTypeInfo& info : catalogue.types()) {
            TypeListing type{info, std::nullopt};
            // A type whose node cannot be built is still listed, only without parameters.
            try {
                type.freshNode.emplace(catalogue.create(info.getFQTypeName()));
            } catch (const ToolError&) {
            }
            listing.types.push_back(std::move(type));
        }
        listings.push_back(std::move(listing));
    }
    return listings;
}

// A float's shortest decimal form, so that 0.7f appears as 0.7 and not 0.699999988.
nlohmann::ordered_json toJson(const ParameterValue& value) {
    if (const bool* flag = std::get_if<bool>(&value)) return *flag;
    if (const unsigned int* whole = std::get_if<unsigned int>(&value)) return *whole;
    return StrictNumber::finiteDouble(Parameter::format(value)).value_or(0.0);
}

nlohmann::ordered_json describeType(const TypeListing& type) {
    const NodeTypeInfo& info = type.info;
    nlohmann::ordered_json parameters = nlohmann::ordered_json::array();
    if (type.freshNode) {
        for (const Parameter& parameter : type.freshNode->parameters()) {
            nlohmann::ordered_json entry{{"name", parameter.name()},
                                         {"type", Parameter::typeName(parameter.type())},
                                         {"default", toJson(parameter.read())}};
            if (parameter.minimum()) entry["min"] = toJson(*parameter.minimum());
            if (parameter.maximum()) entry["max"] = toJson(*parameter.maximum());
            if (!parameter.description().empty()) entry["description"] = parameter.description();
            parameters.push_back(std::move(entry));
        }
    }
    return nlohmann::ordered_json{
        {"name", info.getFQTypeName()},       {"namespace", info.nodeNamespace}, {"type", info.type},
        {"displayName", info.displayName},    {"description", info.description}, {"categories", info.categories},
        {"parameters", std::move(parameters)}};
}

void writeJson(const std::vector<ExtensionListing>& listings, std::ostream& out) {
    nlohmann::ordered_json extensions = nlohmann::ordered_json::array();
    for (const ExtensionListing& listing : listings) {
        nlohmann::ordered_json types = nlohmann::ordered_json::array();
        for (const TypeListing& type : listing.types) types.push_back(describeType(type));
        extensions.push_back(nlohmann::ordered_json{
            {"name", listing.name}, {"description", listing.description}, {"nodeTypes", std::move(types)}});
    }
    out << nlohmann::ordered_json{{"extensions", std::move(extensions)}}.dump(2) << '\n';
}

std::string joined(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items) text += (text.empty() ? "" : ", ") + item;
    return text.empty() ? "none" : text;
}

void writeText(const std::vector<ExtensionListing>& listings, std::ostream& out) {
    for (const ExtensionListing& listing : listings) {
        out << "Extension " << listing.name << ": " << listing.description << "\n";
        for (const TypeListing& type : listing.types) {
            const NodeTypeInfo& info = type.info;
            out << "\n  " << info.getFQTypeName() << "  (" << info.displayName << ")\n"
                << "    " << info.description << "\n"
                << "    categories: " << joined(info.categories) << "\n";
            if (!type.freshNode || type.freshNode->parameters().empty()) {
                out << "    parameters: none\n";
                continue;
            }
            out << "    parameters:\n";
            for (const Parameter& parameter : type.freshNode->parameters()) {
                std::ostringstream line;
                line << "      " << std::left << std::setw(15) << parameter.name() << std::setw(9)
                     << Parameter::typeName(parameter.type()) << "default " << std::setw(7)
                     << Parameter::format(parameter.read());
                if (parameter.minimum()) line << " min " << Parameter::format(*parameter.minimum());
                if (parameter.maximum()) line << " max " << Parameter::format(*parameter.maximum());
                std::string text = line.str();
                text.erase(text.find_last_not_of(' ') + 1);
                out << text << "\n";
            }
        }
        out << "\n";
    }
    if (listings.empty()) out << "No extension is registered.\n";
}

}  // namespace

ListCommand::ListCommand(ListOptions listOptions) : options(listOptions) {}

void ListCommand::run(std::ostream& out) const {
    const std::vector<ExtensionListing> listings = gatherListings();
    if (options.json)
        writeJson(listings, out);
    else
        writeText(listings, out);
}

}  // namespace orvane::tools
