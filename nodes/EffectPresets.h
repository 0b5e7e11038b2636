#pragma once

// Named starting points for every effect, beside the parameter table they draw from. A
// preset sets every parameter but `enabled` (loading one never switches an effect on or
// off), always inside the table's ranges. The LV2 bundle's presets, orvane-fx's --preset,
// the Python package's preset= and the demo page are all generated from this table.

#include <array>
#include <optional>
#include <span>
#include <string_view>

#include "nodes/EffectParameters.h"

namespace orvane::extensions::audioeffects {

/// One parameter's value in a preset, as the table's number.
struct PresetValue {
    std::string_view parameter;  // as the table names it: "delayMs"
    float value;
};

struct EffectPreset {
    std::string_view name;         // what a user types: "slapback"
    std::string_view description;  // one line
    std::span<const PresetValue> values;
};

namespace presetTable {

// The delays' presets set delayMs, dryMix, wetMix and feedbackLevel; the swept effects'
// sweepWidth and frequency.
template <std::size_t count>
using Values = std::array<PresetValue, count>;

inline constexpr Values<4> slapback{{{"delayMs", 90}, {"dryMix", 0.8f}, {"wetMix", 0.45f}, {"feedbackLevel", 0}}};
inline constexpr Values<4> quarterNotes{
    {{"delayMs", 500}, {"dryMix", 0.7f}, {"wetMix", 0.35f}, {"feedbackLevel", 0.35f}}};
inline constexpr Values<4> longRepeats{{{"delayMs", 750}, {"dryMix", 0.7f}, {"wetMix", 0.4f}, {"feedbackLevel", 0.6f}}};
inline constexpr Values<4> tightBounce{{{"delayMs", 120}, {"dryMix", 0.8f}, {"wetMix", 0.4f}, {"feedbackLevel", 0.3f}}};
inline constexpr Values<4> eighthNotes{
    {{"delayMs", 250}, {"dryMix", 0.7f}, {"wetMix", 0.4f}, {"feedbackLevel", 0.45f}}};
inline constexpr Values<4> wideSpace{{{"delayMs", 600}, {"dryMix", 0.7f}, {"wetMix", 0.45f}, {"feedbackLevel", 0.6f}}};

inline constexpr Values<2> chorusSubtle{{{"sweepWidth", 0.005f}, {"frequency", 0.3f}}};
inline constexpr Values<2> chorusSlowDeep{{{"sweepWidth", 0.02f}, {"frequency", 0.15f}}};
inline constexpr Values<2> chorusFastShallow{{{"sweepWidth", 0.003f}, {"frequency", 1.5f}}};
inline constexpr Values<2> flangerSlowDeep{{{"sweepWidth", 0.01f}, {"frequency", 0.1f}}};
inline constexpr Values<2> flangerSlowShallow{{{"sweepWidth", 0.002f}, {"frequency", 0.25f}}};
inline constexpr Values<2> flangerFastShallow{{{"sweepWidth", 0.0015f}, {"frequency", 2}}};
inline constexpr Values<2> vibratoSlowShallow{{{"sweepWidth", 0.002f}, {"frequency", 2}}};
inline constexpr Values<2> vibratoFastShallow{{{"sweepWidth", 0.0005f}, {"frequency", 7}}};
inline constexpr Values<2> vibratoSlowDeep{{{"sweepWidth", 0.006f}, {"frequency", 1.5f}}};

inline constexpr std::array<EffectPreset, 3> delay{{
    {"slapback", "One short echo, as on rockabilly vocals.", slapback},
    {"quarter-notes", "Echoes a quarter note apart at 120 BPM, fading over a few repeats.", quarterNotes},
    {"long-repeats", "Long, slowly fading repeats for ambient swells.", longRepeats},
}};
inline constexpr std::array<EffectPreset, 3> pingPongDelay{{
    {"tight-bounce", "Quick echoes that bounce between the sides.", tightBounce},
    {"eighth-notes", "Echoes an eighth note apart at 120 BPM, alternating sides.", eighthNotes},
    {"wide-space", "Long echoes crossing the stereo field for a wide space.", wideSpace},
}};
inline constexpr std::array<EffectPreset, 3> chorus{{
    {"subtle", "A shallow, slow sweep that thickens without wobble.", chorusSubtle},
    {"slow-deep", "A deep, slow sweep for a lush ensemble.", chorusSlowDeep},
    {"fast-shallow", "A shallow, quick sweep that shimmers.", chorusFastShallow},
}};
inline constexpr std::array<EffectPreset, 3> flanger{{
    {"slow-deep", "A deep sweep once every ten seconds.", flangerSlowDeep},
    {"slow-shallow", "A shallow sweep once every four seconds.", flangerSlowShallow},
    {"fast-shallow", "A shallow sweep twice a second.", flangerFastShallow},
}};
inline constexpr std::array<EffectPreset, 3> vibrato{{
    {"slow-shallow", "A shallow pitch sway twice a second.", vibratoSlowShallow},
    {"fast-shallow", "A shallow, quick pitch flutter seven times a second.", vibratoFastShallow},
    {"slow-deep", "A deep pitch sway one and a half times a second.", vibratoSlowDeep},
}};

}  // namespace presetTable

/// The presets of the effect of this type name ("Chorus"); empty for an unknown name.
constexpr std::span<const EffectPreset> presetsOf(std::string_view type) {
    if (type == "Delay") return presetTable::delay;
    if (type == "PingPongDelay") return presetTable::pingPongDelay;
    if (type == "Chorus") return presetTable::chorus;
    if (type == "Flanger") return presetTable::flanger;
    if (type == "Vibrato") return presetTable::vibrato;
    return {};
}

/// The named preset of the effect, or null.
constexpr const EffectPreset* findPreset(std::string_view type, std::string_view name) {
    for (const EffectPreset& preset : presetsOf(type))
        if (preset.name == name) return &preset;
    return nullptr;
}

/// Every preset sets every parameter of its effect but `enabled`, inside the table's range,
/// once each and in the table's order: checked when the library is compiled.
consteval bool presetsFitTheTable() {
    for (const EffectDescription& effect : effectDescriptions)
        for (const EffectPreset& preset : presetsOf(effect.type)) {
            if (preset.values.size() + 1 != effect.parameters.size()) return false;
            for (std::size_t i = 0; i < preset.values.size(); ++i) {
                const EffectParameter& parameter = effect.parameters[i + 1];
                const float value = preset.values[i].value;
                if (preset.values[i].parameter != parameter.name || !(value >= parameter.minimum) ||
                    !(value <= parameter.maximum))
                    return false;
            }
        }
    return true;
}
static_assert(presetsFitTheTable());

}  // namespace orvane::extensions::audioeffects
