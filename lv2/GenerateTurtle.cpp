// Writes the bundle's manifest.ttl, one <label>.ttl per plugin from the catalogue and
// presets.ttl from the effects' preset table, at build time, so that the port descriptions always match the plugin that
// serves them.
//
//   orvane-lv2-turtle BUNDLE_DIR BINARY_FILE_NAME LICENSE_URI

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "PluginCatalogue.h"
#include "nodes/EffectPresets.h"

namespace {

using orvane::extensions::audioeffects::EffectPreset;
using orvane::extensions::audioeffects::presetsOf;
using orvane::lv2::EffectParameter;
using orvane::lv2::PluginType;

const char* const prefixes =
    "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
    "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix pg: <http://lv2plug.in/ns/ext/port-groups#> .\n"
    "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n\n";

std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

// The shortest decimal that reads back as the same float, so that a host's default is
// exactly the node's; Turtle needs the point to make it a decimal.
std::string number(float value, bool integer) {
    if (integer) return std::to_string(static_cast<long long>(value));
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
    std::string out(text, result.ptr);
    if (out.find('.') == std::string::npos) out += ".0";
    return out;
}

void writeAudioPort(std::ostream& out, const PluginType& type, bool input, std::uint32_t channel) {
    const std::uint32_t index = (input ? 0 : type.kind.channels) + channel;
    const std::string uri(type.kind.uri);
    out << "\t\ta lv2:AudioPort , " << (input ? "lv2:InputPort" : "lv2:OutputPort") << " ;\n"
        << "\t\tlv2:index " << index << " ;\n"
        << "\t\tlv2:symbol " << quoted(type.audioSymbol(input, channel)) << " ;\n";
    const std::string direction = input ? "Input" : "Output";
    if (type.kind.channels == 1) {
        out << "\t\tlv2:name " << quoted(direction) << "\n";
        return;
    }
    out << "\t\tlv2:name " << quoted(direction + (channel == 0 ? " left" : " right")) << " ;\n"
        << "\t\tpg:group <" << uri << (input ? "#in" : "#out") << "> ;\n"
        << "\t\tlv2:designation " << (channel == 0 ? "pg:left" : "pg:right") << "\n";
}

// Local name in the LV2 units vocabulary; empty for none.
std::string_view unitOf(const EffectParameter& parameter) {
    using orvane::extensions::audioeffects::ParameterUnit;
    const ParameterUnit unit = parameter.unit;
    return unit == ParameterUnit::Gain           ? "coef"
           : unit == ParameterUnit::Milliseconds ? "ms"
           : unit == ParameterUnit::Seconds      ? "s"
           : unit == ParameterUnit::Hertz        ? "hz"
                                                 : "";
}

void writeControlPort(std::ostream& out, const EffectParameter& parameter, std::uint32_t index) {
    const bool integer = parameter.kind != orvane::extensions::audioeffects::ParameterKind::Float;
    out << "\t\ta lv2:InputPort , lv2:ControlPort ;\n"
        << "\t\tlv2:index " << index << " ;\n"
        << "\t\tlv2:symbol " << quoted(parameter.name) << " ;\n"
        << "\t\tlv2:name " << quoted(parameter.label) << " ;\n"
        << "\t\trdfs:comment " << quoted(parameter.description) << " ;\n"
        << "\t\tlv2:default " << number(parameter.defaultValue, integer) << " ;\n"
        << "\t\tlv2:minimum " << number(parameter.minimum, integer) << " ;\n"
        << "\t\tlv2:maximum " << number(parameter.maximum, integer);
    if (integer) out << " ;\n\t\tlv2:portProperty lv2:integer";
    if (parameter.name == "enabled") out << " ;\n\t\tlv2:designation lv2:enabled";
    if (!unitOf(parameter).empty()) out << " ;\n\t\tunits:unit units:" << unitOf(parameter);
    out << "\n";
}

std::string pluginTurtle(const PluginType& type, const std::string& license) {
    std::ostringstream out;
    const std::string uri(type.kind.uri);
    out << prefixes;
    if (type.kind.channels == 2) {
        // Hosts such as GStreamer map stereo streams through these groups.
        out << "<" << uri << "#in>\n\ta pg:StereoGroup , pg:InputGroup ;\n\tlv2:symbol \"in\" ;\n"
            << "\trdfs:label \"Input\" .\n\n"
            << "<" << uri << "#out>\n\ta pg:StereoGroup , pg:OutputGroup ;\n\tlv2:symbol \"out\" ;\n"
            << "\trdfs:label \"Output\" ;\n\tpg:source <" << uri << "#in> .\n\n";
    }
    out << "<" << uri << ">\n"
        << "\ta lv2:Plugin , lv2:" << type.kind.pluginClass << " ;\n"
        << "\tdoap:name " << quoted(type.name) << " ;\n"
        << "\trdfs:comment " << quoted(type.comment) << " ;\n"
        << "\tdoap:license <" << license << "> ;\n"
        << "\tlv2:optionalFeature lv2:hardRTCapable ;\n";
    if (type.kind.channels == 2) out << "\tpg:mainInput <" << uri << "#in> ;\n\tpg:mainOutput <" << uri << "#out> ;\n";
    out << "\tlv2:port [\n";
    bool first = true;
    auto separate = [&out, &first] {
        if (!first) out << "\t] , [\n";
        first = false;
    };
    for (bool input : {true, false})
        for (std::uint32_t c = 0; c < type.kind.channels; ++c) {
            separate();
            writeAudioPort(out, type, input, c);
        }
    for (std::size_t i = 0; i < type.controls.size(); ++i) {
        separate();
        writeControlPort(out, type.controls[i], type.firstControlIndex() + static_cast<std::uint32_t>(i));
    }
    out << "\t] .\n";
    return out.str();
}

std::string presetUri(const PluginType& type, const EffectPreset& preset) {
    return std::string(type.kind.uri) + "#preset-" + std::string(preset.name);
}

// Every plugin's presets, from the effects' preset table: the values of the ports they set.
std::string presetsTurtle() {
    std::ostringstream out;
    out << "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
        << "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
        << "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n\n";
    for (const PluginType& type : orvane::lv2::pluginTypes())
        for (const EffectPreset& preset : presetsOf(type.effect.type)) {
            out << "<" << presetUri(type, preset) << ">\n\ta pset:Preset ;\n\tlv2:appliesTo <" << type.kind.uri
                << "> ;\n\trdfs:label " << quoted(preset.name) << " ;\n\trdfs:comment " << quoted(preset.description)
                << " ;\n\tlv2:port";
            for (std::size_t i = 0; i < preset.values.size(); ++i) {
                const std::string_view name = preset.values[i].parameter;
                const float value = preset.values[i].value;
                const EffectParameter& port = *std::find_if(type.controls.begin(), type.controls.end(),
                                                            [name](const EffectParameter& p) { return p.name == name; });
                const bool integer = port.kind != orvane::extensions::audioeffects::ParameterKind::Float;
                out << (i ? " , [\n" : " [\n") << "\t\tlv2:symbol " << quoted(name) << " ;\n\t\tpset:value "
                    << number(value, integer) << "\n\t]";
            }
            out << " .\n\n";
        }
    return out.str();
}

std::string manifestTurtle(const std::string& binary) {
    std::ostringstream out;
    out << "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
        << "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
        << "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n\n";
    for (const PluginType& type : orvane::lv2::pluginTypes()) {
        out << "<" << type.kind.uri << ">\n\ta lv2:Plugin ;\n\tlv2:binary <" << binary << "> ;\n\trdfs:seeAlso <"
            << type.kind.label << ".ttl> .\n\n";
        for (const EffectPreset& preset : presetsOf(type.effect.type))
            out << "<" << presetUri(type, preset) << ">\n\ta pset:Preset ;\n\tlv2:appliesTo <" << type.kind.uri
                << "> ;\n\trdfs:seeAlso <presets.ttl> .\n\n";
    }
    return out.str();
}

void writeFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    if (!file) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: orvane-lv2-turtle BUNDLE_DIR BINARY_FILE_NAME LICENSE_URI\n";
        return 2;
    }
    try {
        const std::filesystem::path bundle = argv[1];
        std::filesystem::create_directories(bundle);
        for (const PluginType& type : orvane::lv2::pluginTypes())
            writeFile(bundle / (std::string(type.kind.label) + ".ttl"), pluginTurtle(type, argv[3]));
        writeFile(bundle / "presets.ttl", presetsTurtle());
        // Last: the build takes the manifest as the sign that the whole set is written.
        writeFile(bundle / "manifest.ttl", manifestTurtle(argv[2]));
    } catch (const std::exception& error) {
        std::cerr << "orvane-lv2-turtle: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
