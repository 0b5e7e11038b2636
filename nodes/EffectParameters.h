#pragma once

// The one description of every effect's parameters: names, labels, texts, units, the
// ranges front ends offer, the nodes' own defaults, and the accessors that reach them.
// The nodes take their starting values from it; the LV2 bundle, orvane-fx and the
// ping-pong delay's host property records are generated from it.

#include <array>
#include <functional>
#include <memory>
#include <span>
#include <string_view>
#include <type_traits>
#include <variant>

#include "host/SingleBusAudioProcessorNode.h"
#include "metadata/NodeTypeInfo.h"
#include "nodes/ChorusNode.h"
#include "nodes/DelayNode.h"
#include "nodes/FlangerNode.h"
#include "nodes/PingPongDelayNode.h"
#include "nodes/VibratoNode.h"

namespace orvane::extensions::audioeffects {

/// A parameter's value; the alternative held is the parameter's kind.
using ParameterValue = std::variant<bool, unsigned int, float>;

/// The index of the ParameterValue alternative a parameter takes.
enum class ParameterKind : std::size_t { Boolean = 0, Int = 1, Float = 2 };

enum class ParameterUnit { None, Gain, Milliseconds, Seconds, Hertz };

/// Where data augmentation draws a parameter from: a useful part of its range, uniformly on
/// a linear or a logarithmic scale (a logarithmic one has a positive minimum).
struct AugmentRange {
    enum class Scale { Linear, Logarithmic };
    float minimum;
    float maximum;
    Scale scale;
};

/// One parameter of one effect. The node itself takes any value of the kind (its setters
/// never clamp); the range is what front ends offer their users.
struct EffectParameter {
    std::string_view name;         // as the accessors and host properties name it: "delayMs"
    std::string_view label;        // a control's caption: "Delay"
    std::string_view description;  // one line
    ParameterKind kind;
    ParameterUnit unit;
    float defaultValue;  // a switch as 0 or 1; every default is exact in a float
    float minimum;
    float maximum;
    ParameterValue (*get)(SingleBusAudioProcessorNode& node);                     // [any thread]
    void (*set)(SingleBusAudioProcessorNode& node, const ParameterValue& value);  // [any thread], value of kind
    AugmentRange augment;  // not drawn for `enabled`, which augmentation leaves on

    /// number as this parameter's kind: a switch is on unless 0; an int is truncated, so
    /// the number must lie in [0, 2^32).
    ParameterValue fromNumber(float number) const {
        if (kind == ParameterKind::Boolean) return number != 0.0f;
        if (kind == ParameterKind::Int) return static_cast<unsigned int>(number);
        return number;
    }
};

/// One effect node type and the parameters its accessors serve.
struct EffectDescription {
    std::string_view type;  // "Delay", as the node factory names it
    NodeTypeInfo (*nodeTypeInfo)();
    /// A fresh node at its defaults, built for channels (the ping-pong delay has two always).
    std::unique_ptr<SingleBusAudioProcessorNode> (*create)(unsigned int channels);
    unsigned int onlyChannels;  // the one channel count the node takes, or 0 for any it is built for
    std::span<const EffectParameter> parameters;
};

namespace parameterTable {

// The accessor pair of one node class as plain functions over the host's node type.
template <typename NodeClass, auto getter, auto setter>
struct Accessors {
    using Value = std::remove_cvref_t<std::invoke_result_t<decltype(getter), NodeClass&>>;
    static ParameterValue get(SingleBusAudioProcessorNode& node) {
        return std::invoke(getter, static_cast<NodeClass&>(node));
    }
    static void set(SingleBusAudioProcessorNode& node, const ParameterValue& value) {
        std::invoke(setter, static_cast<NodeClass&>(node), std::get<Value>(value));
    }
};

template <typename NodeClass>
constexpr EffectParameter enabled(std::string_view description) {
    using A = Accessors<NodeClass, &NodeClass::getIsEnabled, &NodeClass::setIsEnabled>;
    return {"enabled", "Enabled", description, ParameterKind::Boolean, ParameterUnit::None, 1, 0, 1, A::get, A::set,
            {1, 1, AugmentRange::Scale::Linear}};
}

// The delay and the ping-pong delay share their parameters and ranges.
template <typename NodeClass>
constexpr std::array<EffectParameter, 5> delayParameters(std::string_view enabledDescription) {
    using Delay = Accessors<NodeClass, &NodeClass::getDelayMs, &NodeClass::setDelayMs>;
    using Dry = Accessors<NodeClass, &NodeClass::getDryMix, &NodeClass::setDryMix>;
    using Wet = Accessors<NodeClass, &NodeClass::getWetMix, &NodeClass::setWetMix>;
    using Feedback = Accessors<NodeClass, &NodeClass::getFeedbackLevel, &NodeClass::setFeedbackLevel>;
    return {{enabled<NodeClass>(enabledDescription),
             {"delayMs", "Delay", "The delay time in milliseconds.", ParameterKind::Int, ParameterUnit::Milliseconds,
              200, 1, 1000, Delay::get, Delay::set, {20, 500, AugmentRange::Scale::Logarithmic}},
             {"dryMix", "Dry mix", "Level of the dry signal. 0 means no dry signal, 1 means maximum dry signal.",
              ParameterKind::Float, ParameterUnit::Gain, 0.7f, 0, 1, Dry::get, Dry::set,
              {0.6f, 1, AugmentRange::Scale::Linear}},
             {"wetMix", "Wet mix", "Level of the wet signal. 0 means no wet signal, 1 means maximum wet signal.",
              ParameterKind::Float, ParameterUnit::Gain, 0.3f, 0, 1, Wet::get, Wet::set,
              {0.1f, 0.5f, AugmentRange::Scale::Linear}},
             {"feedbackLevel", "Feedback",
              "The feedback level of the delay. 0 means no feedback, 1 means maximum feedback.", ParameterKind::Float,
              ParameterUnit::Gain, 0.2f, 0, 0.99f, Feedback::get, Feedback::set,
              {0, 0.6f, AugmentRange::Scale::Linear}}}};
}

// The swept effects' ranges are depths and rates a user would choose, all of which stay
// well inside a 48000-slot line up to 384 kHz.
// Augmentation draws both on a logarithmic scale, from the ranges given.
template <typename NodeClass>
constexpr std::array<EffectParameter, 3> sweepParameters(std::string_view enabledDescription, float width,
                                                         float widthMaximum, float frequency, float frequencyMaximum,
                                                         AugmentRange widths, AugmentRange frequencies) {
    using Width = Accessors<NodeClass, &NodeClass::getSweepWidth, &NodeClass::setSweepWidth>;
    using Frequency = Accessors<NodeClass, &NodeClass::getFrequency, &NodeClass::setFrequency>;
    return {{enabled<NodeClass>(enabledDescription),
             {"sweepWidth", "Sweep width", "Depth of the delay-time sweep in seconds.", ParameterKind::Float,
              ParameterUnit::Seconds, width, 0, widthMaximum, Width::get, Width::set, widths},
             {"frequency", "Frequency", "Rate of the delay-time sweep in Hz.", ParameterKind::Float,
              ParameterUnit::Hertz, frequency, 0, frequencyMaximum, Frequency::get, Frequency::set, frequencies}}};
}

constexpr AugmentRange logarithmic(float minimum, float maximum) {
    return {minimum, maximum, AugmentRange::Scale::Logarithmic};
}

}  // namespace parameterTable

inline constexpr std::array delayParameters =
    parameterTable::delayParameters<DelayNode>("Enable or disable the delay effect.");
inline constexpr std::array pingPongDelayParameters =
    parameterTable::delayParameters<PingPongDelayNode>("Enable or disable the ping-pong delay effect.");
inline constexpr std::array chorusParameters = parameterTable::sweepParameters<ChorusNode>(
    "Enable or disable the chorus effect.", 0.025f, 0.1f, 0.2f, 10, parameterTable::logarithmic(0.002f, 0.03f),
    parameterTable::logarithmic(0.1f, 3));
inline constexpr std::array flangerParameters = parameterTable::sweepParameters<FlangerNode>(
    "Enable or disable the flanger effect.", 0.005f, 0.02f, 0.4f, 10, parameterTable::logarithmic(0.0005f, 0.01f),
    parameterTable::logarithmic(0.05f, 2));
inline constexpr std::array vibratoParameters = parameterTable::sweepParameters<VibratoNode>(
    "Enable or disable the vibrato effect.", 0.01f, 0.05f, 4, 20, parameterTable::logarithmic(0.0002f, 0.004f),
    parameterTable::logarithmic(1, 8));

/// The starting value of the named parameter, as its node stores it; a name the table does
/// not hold does not compile.
template <typename T, std::size_t count>
consteval T defaultOf(const std::array<EffectParameter, count>& parameters, std::string_view name) {
    for (const EffectParameter& parameter : parameters)
        if (parameter.name == name) return static_cast<T>(parameter.defaultValue);
    throw "no such parameter";
}

namespace parameterTable {

template <typename NodeClass>
std::unique_ptr<SingleBusAudioProcessorNode> create(unsigned int channels) {
    if constexpr (std::is_same_v<NodeClass, PingPongDelayNode>)
        return std::make_unique<PingPongDelayNode>(OVAnyMap{});
    else
        return std::make_unique<NodeClass>(channels);
}

template <typename NodeClass, std::size_t count>
constexpr EffectDescription effect(std::string_view type, const std::array<EffectParameter, count>& parameters) {
    return {type, &NodeClass::getNodeTypeInfo, &create<NodeClass>,
            std::is_same_v<NodeClass, PingPongDelayNode> ? 2u : 0u, parameters};
}

}  // namespace parameterTable

/// The five effects in the node factory's order.
inline constexpr std::array<EffectDescription, 5> effectDescriptions{{
    parameterTable::effect<DelayNode>("Delay", delayParameters),
    parameterTable::effect<PingPongDelayNode>("PingPongDelay", pingPongDelayParameters),
    parameterTable::effect<VibratoNode>("Vibrato", vibratoParameters),
    parameterTable::effect<FlangerNode>("Flanger", flangerParameters),
    parameterTable::effect<ChorusNode>("Chorus", chorusParameters),
}};

/// Augmentation draws inside every range, a logarithmic scale above 0: checked when compiled.
consteval bool augmentRangesFitTheTable() {
    for (const EffectDescription& effect : effectDescriptions)
        for (const EffectParameter& parameter : effect.parameters) {
            const AugmentRange& range = parameter.augment;
            if (!(range.minimum >= parameter.minimum && range.minimum <= range.maximum &&
                  range.maximum <= parameter.maximum) ||
                (range.scale == AugmentRange::Scale::Logarithmic && !(range.minimum > 0)))
                return false;
        }
    return true;
}
static_assert(augmentRangesFitTheTable());

/// The effect of this type name ("Delay"), or null.
constexpr const EffectDescription* findEffect(std::string_view type) {
    for (const EffectDescription& effect : effectDescriptions)
        if (effect.type == type) return &effect;
    return nullptr;
}

}  // namespace orvane::extensions::audioeffects
