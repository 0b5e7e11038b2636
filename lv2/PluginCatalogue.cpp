#include "PluginCatalogue.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace orvane::lv2 {

std::string PluginType::audioSymbol(bool input, std::uint32_t channel) const {
    const std::string base = input ? "in" : "out";
    if (kind.channels == 1) return base;
    return base + (channel == 0 ? "_l" : "_r");
}

const std::vector<PluginType>& pluginTypes() {
    static const std::vector<PluginType> types = [] {
        std::vector<PluginType> all;
        for (const PluginKind& kind : pluginKinds) {
            const EffectDescription* effect = extensions::audioeffects::findEffect(kind.effect);
            if (!effect) throw std::logic_error("no effect " + std::string(kind.effect));
            const NodeTypeInfo info = effect->nodeTypeInfo();
            all.push_back({kind, *effect, "Orvane " + info.displayName + (kind.channels == 1 ? " (mono)" : ""),
                           info.description, effect->parameters});
        }
        return all;
    }();
    return types;
}

float clampControl(const EffectParameter& parameter, float value) noexcept {
    if (std::isnan(value)) return parameter.defaultValue;
    const float limited = std::clamp(value, parameter.minimum, parameter.maximum);
    return parameter.kind == extensions::audioeffects::ParameterKind::Float ? limited : std::round(limited);
}

}  // namespace orvane::lv2
