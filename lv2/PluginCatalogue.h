#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/SingleBusAudioProcessorNode.h"

// What the LV2 bundle offers: nine plugins over the five effect nodes. The plugin and the
// Turtle generator both read this catalogue, so the port descriptions cannot drift from
// what run() does; defaults come from freshly made nodes, the delay ranges from the
// ping-pong delay's property record.
namespace orvane::lv2 {

enum class Effect { Delay, PingPongDelay, Chorus, Flanger, Vibrato };
enum class Control { Enabled, DelayMs, DryMix, WetMix, FeedbackLevel, SweepWidth, Frequency };

/// One plugin as lv2_descriptor() names it: cheap, known without building any node.
struct PluginKind {
    std::string_view uri;
    std::string_view label;  // also the name of its Turtle file
    Effect effect;
    std::uint32_t channels;  // 1 or 2
};

inline constexpr std::array<PluginKind, 9> pluginKinds{{
    {"urn:orvane:audioeffects:Delay", "Delay", Effect::Delay, 2},
    {"urn:orvane:audioeffects:PingPongDelay", "PingPongDelay", Effect::PingPongDelay, 2},
    {"urn:orvane:audioeffects:Chorus", "Chorus", Effect::Chorus, 2},
    {"urn:orvane:audioeffects:Flanger", "Flanger", Effect::Flanger, 2},
    {"urn:orvane:audioeffects:Vibrato", "Vibrato", Effect::Vibrato, 2},
    {"urn:orvane:audioeffects:DelayMono", "DelayMono", Effect::Delay, 1},
    {"urn:orvane:audioeffects:ChorusMono", "ChorusMono", Effect::Chorus, 1},
    {"urn:orvane:audioeffects:FlangerMono", "FlangerMono", Effect::Flanger, 1},
    {"urn:orvane:audioeffects:VibratoMono", "VibratoMono", Effect::Vibrato, 1},
}};

struct ControlPort {
    Control control;
    std::string symbol;  // the parameter's name, as orvane-fx and the nodes know it
    std::string name;
    std::string comment;
    float minimum;
    float maximum;
    float defaultValue;
    bool integer;
    std::string unit;  // local name in the LV2 units vocabulary; empty for none
};

struct PluginType {
    PluginKind kind;
    std::string name;
    std::string comment;
    std::string pluginClass;  // local name in the LV2 core vocabulary
    std::vector<ControlPort> controls;

    /// Audio ports come first: inputs, then outputs; the controls follow in order.
    std::uint32_t firstControlIndex() const { return 2 * kind.channels; }
    /// Audio port symbols: in_l, in_r / out_l, out_r, or in / out for mono.
    std::string audioSymbol(bool input, std::uint32_t channel) const;
};

/// The nine plugins in the order of pluginKinds, built on first use.
const std::vector<PluginType>& pluginTypes();

/// A node of the plugin's effect and channel count, at its defaults.
std::unique_ptr<SingleBusAudioProcessorNode> makeNode(const PluginKind& kind);

/// What a host's control value means: NaN is the default, anything else is limited to
/// the range, and integer ports take the nearest whole number.
float clampControl(const ControlPort& port, float value) noexcept;

/// Hands a value clampControl() answered to the node (made by makeNode for that effect).
void applyControl(SingleBusAudioProcessorNode& node, Effect effect, Control control, float value) noexcept;

}  // namespace orvane::lv2
