#include "PluginCatalogue.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "host/OVAny.h"
#include "metadata/Vocabulary.h"
#include "nodes/ChorusNode.h"
#include "nodes/DelayNode.h"
#include "nodes/FlangerNode.h"
#include "nodes/PingPongDelayNode.h"
#include "nodes/VibratoNode.h"

namespace orvane::lv2 {

namespace {

using extensions::audioeffects::ChorusNode;
using extensions::audioeffects::DelayNode;
using extensions::audioeffects::FlangerNode;
using extensions::audioeffects::PingPongDelayNode;
using extensions::audioeffects::VibratoNode;

struct Range {
    float minimum;
    float maximum;
};

// The swept effects have no range record: depths and rates a user would choose, all of
// which stay well inside a 48000-slot line up to 384 kHz.
struct SweepRanges {
    Range sweepWidth;
    Range frequency;
};

SweepRanges sweepRangesOf(Effect effect) {
    switch (effect) {
        case Effect::Chorus:
            return {{0.0f, 0.1f}, {0.0f, 10.0f}};
        case Effect::Flanger:
            return {{0.0f, 0.02f}, {0.0f, 10.0f}};
        case Effect::Vibrato:
            return {{0.0f, 0.05f}, {0.0f, 20.0f}};
        default:
            throw std::logic_error("not a swept effect");
    }
}

// min and max of one of the ping-pong delay's property records.
Range recordedRange(const NodeTypeInfo& record, const std::string& name) {
    const OVAnyMap property = record.getProperty(name);
    return {OVAny::convert<float>(property.at(PROPERTY_FIELD_MIN_VALUE)),
            OVAny::convert<float>(property.at(PROPERTY_FIELD_MAX_VALUE))};
}

ControlPort enabledPort(bool defaultValue) {
    return {Control::Enabled,
            "enabled",
            "Enabled",
            "Turns the effect on or off; off passes the input through.",
            0.0f,
            1.0f,
            defaultValue ? 1.0f : 0.0f,
            true,
            ""};
}

// Delay and ping-pong delay share their parameters; the ping-pong record bounds both.
template <typename Node>
std::vector<ControlPort> delayPorts(Node& node) {
    const NodeTypeInfo record = PingPongDelayNode::getNodeTypeInfo();
    const Range delay = recordedRange(record, "delayMs");
    const Range dry = recordedRange(record, "dryMix");
    const Range wet = recordedRange(record, "wetMix");
    const Range feedback = recordedRange(record, "feedbackLevel");
    return {enabledPort(node.getIsEnabled()),
            {Control::DelayMs, "delayMs", "Delay", "The delay time in milliseconds.", delay.minimum, delay.maximum,
             static_cast<float>(node.getDelayMs()), true, "ms"},
            {Control::DryMix, "dryMix", "Dry mix", "Gain of the input in the output.", dry.minimum, dry.maximum,
             node.getDryMix(), false, "coef"},
            {Control::WetMix, "wetMix", "Wet mix", "Gain of the delayed signal in the output.", wet.minimum,
             wet.maximum, node.getWetMix(), false, "coef"},
            {Control::FeedbackLevel, "feedbackLevel", "Feedback", "Share of the delayed signal fed back into the line.",
             feedback.minimum, feedback.maximum, node.getFeedbackLevel(), false, "coef"}};
}

template <typename Node>
std::vector<ControlPort> sweepPorts(Node& node, Effect effect) {
    const SweepRanges ranges = sweepRangesOf(effect);
    return {enabledPort(node.getIsEnabled()),
            {Control::SweepWidth, "sweepWidth", "Sweep width", "Depth of the delay-time sweep in seconds.",
             ranges.sweepWidth.minimum, ranges.sweepWidth.maximum, node.getSweepWidth(), false, "s"},
            {Control::Frequency, "frequency", "Frequency", "Rate of the delay-time sweep in Hz.",
             ranges.frequency.minimum, ranges.frequency.maximum, node.getFrequency(), false, "hz"}};
}

PluginType describe(const PluginKind& kind) {
    PluginType type{kind, {}, {}, {}, {}};
    const std::unique_ptr<SingleBusAudioProcessorNode> node = makeNode(kind);
    NodeTypeInfo info;
    switch (kind.effect) {
        case Effect::Delay:
            info = DelayNode::getNodeTypeInfo();
            type.pluginClass = "DelayPlugin";
            type.controls = delayPorts(static_cast<DelayNode&>(*node));
            break;
        case Effect::PingPongDelay:
            info = PingPongDelayNode::getNodeTypeInfo();
            type.pluginClass = "DelayPlugin";
            type.controls = delayPorts(static_cast<PingPongDelayNode&>(*node));
            break;
        case Effect::Chorus:
            info = ChorusNode::getNodeTypeInfo();
            type.pluginClass = "ChorusPlugin";
            type.controls = sweepPorts(static_cast<ChorusNode&>(*node), kind.effect);
            break;
        case Effect::Flanger:
            info = FlangerNode::getNodeTypeInfo();
            type.pluginClass = "FlangerPlugin";
            type.controls = sweepPorts(static_cast<FlangerNode&>(*node), kind.effect);
            break;
        case Effect::Vibrato:
            info = VibratoNode::getNodeTypeInfo();
            type.pluginClass = "ModulatorPlugin";
            type.controls = sweepPorts(static_cast<VibratoNode&>(*node), kind.effect);
            break;
    }
    type.name = "Orvane " + info.displayName + (kind.channels == 1 ? " (mono)" : "");
    type.comment = info.description;
    for (const ControlPort& port : type.controls)
        if (!(port.minimum <= port.defaultValue && port.defaultValue <= port.maximum))
            throw std::logic_error(std::string(kind.label) + "." + port.symbol + ": default outside its range");
    return type;
}

}  // namespace

std::string PluginType::audioSymbol(bool input, std::uint32_t channel) const {
    const std::string base = input ? "in" : "out";
    if (kind.channels == 1) return base;
    return base + (channel == 0 ? "_l" : "_r");
}

const std::vector<PluginType>& pluginTypes() {
    static const std::vector<PluginType> types = [] {
        std::vector<PluginType> all;
        for (const PluginKind& kind : pluginKinds) all.push_back(describe(kind));
        return all;
    }();
    return types;
}

std::unique_ptr<SingleBusAudioProcessorNode> makeNode(const PluginKind& kind) {
    switch (kind.effect) {
        case Effect::Delay:
            return std::make_unique<DelayNode>(kind.channels);
        case Effect::PingPongDelay:
            return std::make_unique<PingPongDelayNode>(OVAnyMap{});
        case Effect::Chorus:
            return std::make_unique<ChorusNode>(kind.channels);
        case Effect::Flanger:
            return std::make_unique<FlangerNode>(kind.channels);
        case Effect::Vibrato:
            return std::make_unique<VibratoNode>(kind.channels);
    }
    throw std::logic_error("unknown effect");
}

float clampControl(const ControlPort& port, float value) noexcept {
    if (std::isnan(value)) return port.defaultValue;
    const float limited = std::clamp(value, port.minimum, port.maximum);
    return port.integer ? std::round(limited) : limited;
}

namespace {

template <typename Node>
void applyDelayControl(Node& node, Control control, float value) noexcept {
    switch (control) {
        case Control::Enabled:
            node.setIsEnabled(value != 0.0f);
            break;
        case Control::DelayMs:
            node.setDelayMs(static_cast<unsigned int>(value));
            break;
        case Control::DryMix:
            node.setDryMix(value);
            break;
        case Control::WetMix:
            node.setWetMix(value);
            break;
        case Control::FeedbackLevel:
            node.setFeedbackLevel(value);
            break;
        default:
            break;
    }
}

template <typename Node>
void applySweepControl(Node& node, Control control, float value) noexcept {
    switch (control) {
        case Control::Enabled:
            node.setIsEnabled(value != 0.0f);
            break;
        case Control::SweepWidth:
            node.setSweepWidth(value);
            break;
        case Control::Frequency:
            node.setFrequency(value);
            break;
        default:
            break;
    }
}

}  // namespace

void applyControl(SingleBusAudioProcessorNode& node, Effect effect, Control control, float value) noexcept {
    switch (effect) {
        case Effect::Delay:
            return applyDelayControl(static_cast<DelayNode&>(node), control, value);
        case Effect::PingPongDelay:
            return applyDelayControl(static_cast<PingPongDelayNode&>(node), control, value);
        case Effect::Chorus:
            return applySweepControl(static_cast<ChorusNode&>(node), control, value);
        case Effect::Flanger:
            return applySweepControl(static_cast<FlangerNode&>(node), control, value);
        case Effect::Vibrato:
            return applySweepControl(static_cast<VibratoNode&>(node), control, value);
    }
}

}  // namespace orvane::lv2
