#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "host/SingleBusAudioProcessorNode.h"
#include "nodes/EffectParameters.h"

// What the LV2 bundle offers: nine plugins over the five effect nodes. The plugin and the
// Turtle generator both read this catalogue, and it reads the effects' parameter table, so
// the port descriptions cannot drift from what run() does.
namespace orvane::lv2 {

using extensions::audioeffects::EffectDescription;
using extensions::audioeffects::EffectParameter;

/// One plugin as lv2_descriptor() names it: cheap, known without building any node.
struct PluginKind {
    std::string_view uri;
    std::string_view label;        // also the name of its Turtle file
    std::string_view effect;       // the node type
    std::uint32_t channels;        // 1 or 2
    std::string_view pluginClass;  // local name in the LV2 core vocabulary
};

inline constexpr std::array<PluginKind, 9> pluginKinds{{
    {"urn:orvane:audioeffects:Delay", "Delay", "Delay", 2, "DelayPlugin"},
    {"urn:orvane:audioeffects:PingPongDelay", "PingPongDelay", "PingPongDelay", 2, "DelayPlugin"},
    {"urn:orvane:audioeffects:Chorus", "Chorus", "Chorus", 2, "ChorusPlugin"},
    {"urn:orvane:audioeffects:Flanger", "Flanger", "Flanger", 2, "FlangerPlugin"},
    {"urn:orvane:audioeffects:Vibrato", "Vibrato", "Vibrato", 2, "ModulatorPlugin"},
    {"urn:orvane:audioeffects:DelayMono", "DelayMono", "Delay", 1, "DelayPlugin"},
    {"urn:orvane:audioeffects:ChorusMono", "ChorusMono", "Chorus", 1, "ChorusPlugin"},
    {"urn:orvane:audioeffects:FlangerMono", "FlangerMono", "Flanger", 1, "FlangerPlugin"},
    {"urn:orvane:audioeffects:VibratoMono", "VibratoMono", "Vibrato", 1, "ModulatorPlugin"},
}};

struct PluginType {
    PluginKind kind;
    const EffectDescription& effect;
    std::string name;
    std::string comment;
    std::span<const EffectParameter> controls;  // one control port per parameter, in order

    /// Audio ports come first: inputs, then outputs; the controls follow in order.
    std::uint32_t firstControlIndex() const { return 2 * kind.channels; }
    /// Audio port symbols: in_l, in_r / out_l, out_r, or in / out for mono.
    std::string audioSymbol(bool input, std::uint32_t channel) const;
    /// A fresh node of the plugin's effect and channel count, at its defaults.
    std::unique_ptr<SingleBusAudioProcessorNode> makeNode() const { return effect.create(kind.channels); }
};

/// The nine plugins in the order of pluginKinds, built on first use.
const std::vector<PluginType>& pluginTypes();

/// What a host's control value means: NaN is the default, anything else is limited to
/// the range, and integer ports take the nearest whole number.
float clampControl(const EffectParameter& parameter, float value) noexcept;

}  // namespace orvane::lv2
