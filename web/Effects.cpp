// The effects as a WebAssembly module: a small C interface over the offline renderer, which an
// AudioWorkletProcessor (effects-processor.js) drives one render quantum at a time. Every call
// checks what it is given and refuses with a sentence (orvane_error) rather than throw: the
// module is built without exception handling, where a throw would abort it.
#if defined(__EMSCRIPTEN__)
#include <emscripten/emscripten.h>
#else
#define EMSCRIPTEN_KEEPALIVE  // built natively for its fuzzer (tests/fuzz/FuzzWebEngine.cpp)
#endif

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "render/OfflineRenderer.h"
#include "web/Effects.h"

using namespace orvane::render;

namespace {

/// Frames of a Web Audio render quantum: the block every chain runs, so no frame waits for another.
constexpr std::uint32_t quantum = 128;

std::string lastError;

/// Keeps why for orvane_error; answers 0, the refusal.
int refuse(std::string why) {
    lastError = std::move(why);
    return 0;
}

/// The JSON form of a string from the tables: plain text, quotes and backslashes escaped.
std::string quoted(std::string_view text) {
    std::string json = "\"";
    for (char c : text) json += c == '"' || c == '\\' ? std::string{'\\', c} : std::string{c};
    return json + "\"";
}

std::string json(const ParameterValue& value) {
    if (const bool* flag = std::get_if<bool>(&value)) return *flag ? "true" : "false";
    if (const unsigned int* whole = std::get_if<unsigned int>(&value)) return std::to_string(*whole);
    return shortest(std::get<float>(value));
}

std::string catalogueJson() {
    std::string text = "{\"quantum\":" + std::to_string(quantum) + ",\"effects\":[";
    for (const EffectDescription& effect : effectDescriptions) {
        text += (&effect == effectDescriptions.data() ? "{\"type\":" : ",{\"type\":") + quoted(effect.type) +
                ",\"channels\":" + std::to_string(effect.onlyChannels) + ",\"parameters\":[";
        for (const EffectParameter& p : effect.parameters)
            text += (&p == effect.parameters.data() ? "{\"name\":" : ",{\"name\":") + quoted(p.name) +
                    ",\"label\":" + quoted(p.label) + ",\"description\":" + quoted(p.description) +
                    ",\"kind\":" + quoted(kindName(p.kind)) + ",\"unit\":" + quoted(unitName(p.unit)) +
                    ",\"default\":" + json(p.fromNumber(p.defaultValue)) + ",\"min\":" + json(p.fromNumber(p.minimum)) +
                    ",\"max\":" + json(p.fromNumber(p.maximum)) + ",\"range\":" + quoted(rangeText(p)) + "}";
        text += "],\"presets\":[";
        for (const EffectPreset& preset : presetsOf(effect.type)) {
            text += (&preset == presetsOf(effect.type).data() ? "{\"name\":" : ",{\"name\":") + quoted(preset.name) +
                    ",\"description\":" + quoted(preset.description) + ",\"values\":{";
            for (std::size_t i = 0; i < preset.values.size(); ++i) {
                const EffectParameter& p = effect.parameters[i + 1];  // presets follow the table, past `enabled`
                text += (i == 0 ? "" : ",") + quoted(p.name) + ":" + json(p.fromNumber(preset.values[i].value));
            }
            text += "}}";
        }
        text += "]}";
    }
    return text + "]}";
}

}  // namespace

/// One chain of effects over planar channels at one rate, and the quantum it processes in place.
struct OrvaneChain {
    std::vector<std::unique_ptr<OfflineEffect>> effects;
    std::unique_ptr<OfflineRender> render;
    std::vector<float> samples;  // channel c's frames at c * quantum
    std::vector<float*> rows;
};

extern "C" {

/// Every effect's parameter table (name, label, description, kind, unit, default, min, max, the
/// range as a sentence) and presets, as one JSON document. [any thread]
EMSCRIPTEN_KEEPALIVE const char* orvane_catalogue() {
    static const std::string text = catalogueJson();
    return text.c_str();
}

/// Why the last call that answered 0 or null refused. [any thread]
EMSCRIPTEN_KEEPALIVE const char* orvane_error() { return lastError.c_str(); }

/// A chain of the effects named in types (separated by spaces, "" for none), each at its defaults,
/// over channels channels at sampleRate Hz; null if refused. Allocates. [any thread]
EMSCRIPTEN_KEEPALIVE OrvaneChain* orvane_chain_create(const char* types, std::uint32_t channels,
                                                      std::uint32_t sampleRate) {
    if (channels < 1 || channels > maxChannels || sampleRate < 1 || sampleRate > maxSampleRate) {
        refuse("a chain takes 1 to " + std::to_string(maxChannels) + " channels at 1 to " +
               std::to_string(maxSampleRate) + " Hz; got " + std::to_string(channels) + " at " +
               std::to_string(sampleRate));
        return nullptr;
    }
    auto chain = std::make_unique<OrvaneChain>();
    std::vector<OfflineEffect*> order;
    for (std::string_view rest = types; !rest.empty();) {
        const std::size_t end = std::min(rest.find(' '), rest.size());
        if (const std::string_view type = rest.substr(0, end); !type.empty()) {
            const EffectDescription* description = findEffect(type);
            if (description == nullptr) {
                refuse("no effect is named '" + std::string(type) +
                       "'; the effects are Delay, PingPongDelay, Vibrato, Flanger and Chorus");
                return nullptr;
            }
            if (description->onlyChannels != 0 && description->onlyChannels != channels) {
                refuse(std::string(type) + " accepts " + acceptedChannels(*description) + "; the chain has " +
                       std::to_string(channels));
                return nullptr;
            }
            order.push_back(chain->effects.emplace_back(std::make_unique<OfflineEffect>(*description)).get());
        }
        rest.remove_prefix(std::min(end + 1, rest.size()));
    }
    // Everything the renderer checks is accepted above: it cannot throw here.
    RenderSettings settings;
    settings.channels = channels;
    settings.sampleRate = sampleRate;
    settings.blockSize = quantum;
    chain->render = std::make_unique<OfflineRender>(order, settings);
    chain->samples.assign(std::size_t{channels} * quantum, 0.0f);
    for (std::uint32_t c = 0; c < channels; ++c) chain->rows.push_back(chain->samples.data() + c * quantum);
    return chain.release();
}

/// Sets parameter (its index in the effect's table) of the chain's effect-th effect to value: a
/// switch 0 or 1, a whole number, or a number inside the table's range, stored as a float. The
/// nodes take it at the next quantum. Answers 0 if refused. [the thread that processes]
EMSCRIPTEN_KEEPALIVE int orvane_chain_set(OrvaneChain* chain, std::uint32_t effect, std::uint32_t parameter,
                                          double value) {
    if (effect >= chain->effects.size()) return refuse("the chain has no effect " + std::to_string(effect));
    OfflineEffect& target = *chain->effects[effect];
    const auto& table = target.description.parameters;
    if (parameter >= table.size())
        return refuse(std::string(target.description.type) + " has no parameter " + std::to_string(parameter));
    const EffectParameter& p = table[parameter];
    // Converted only where a float holds it; a switch or a whole number takes no fraction.
    const bool fits = std::fabs(value) <= std::numeric_limits<float>::max() &&
                      (p.kind == ParameterKind::Float || std::trunc(value) == value);
    const float stored = fits ? static_cast<float>(value) : std::numeric_limits<float>::quiet_NaN();
    if (!(stored >= p.minimum && stored <= p.maximum)) {
        char text[32];
        return refuse(std::string(target.description.type) + "." + std::string(p.name) + " must be " + rangeText(p) +
                      "; got " + std::string(text, std::to_chars(text, text + sizeof text, value).ptr));
    }
    target.setValue(parameter, p.fromNumber(stored));
    return 1;
}

/// The value of a parameter as a number (a switch as 0 or 1); NaN where there is none. [any thread]
EMSCRIPTEN_KEEPALIVE double orvane_chain_get(const OrvaneChain* chain, std::uint32_t effect, std::uint32_t parameter) {
    if (effect >= chain->effects.size() || parameter >= chain->effects[effect]->description.parameters.size())
        return std::numeric_limits<double>::quiet_NaN();
    const ParameterValue& value = chain->effects[effect]->value(parameter);
    if (const bool* flag = std::get_if<bool>(&value)) return *flag ? 1 : 0;
    if (const unsigned int* number = std::get_if<unsigned int>(&value)) return *number;
    return std::get<float>(value);
}

/// Applies the named preset to the chain's effect-th effect; answers 0 if refused. [the thread that processes]
EMSCRIPTEN_KEEPALIVE int orvane_chain_preset(OrvaneChain* chain, std::uint32_t effect, const char* name) {
    if (effect >= chain->effects.size()) return refuse("the chain has no effect " + std::to_string(effect));
    OfflineEffect& target = *chain->effects[effect];
    const EffectPreset* preset = findPreset(target.description.type, name);
    if (preset == nullptr) {
        std::string names;
        for (const EffectPreset& known : presetsOf(target.description.type))
            names += (names.empty() ? "" : ", ") + std::string(known.name);
        return refuse(std::string(target.description.type) + " has no preset '" + name + "'; its presets are " + names);
    }
    target.applyPreset(*preset);
    return 1;
}

/// The quantum the chain processes: channel c's 128 frames start at c * 128. [any thread]
EMSCRIPTEN_KEEPALIVE float* orvane_chain_samples(OrvaneChain* chain) { return chain->samples.data(); }

/// Runs the chain over its quantum, in place. Never allocates. [the thread that processes]
EMSCRIPTEN_KEEPALIVE void orvane_chain_process(OrvaneChain* chain) {
    chain->render->push(chain->rows.data(), quantum, chain->rows.data());
}

/// Frees the chain. [the thread that processes]
EMSCRIPTEN_KEEPALIVE void orvane_chain_free(OrvaneChain* chain) { delete chain; }

}  // extern "C"
