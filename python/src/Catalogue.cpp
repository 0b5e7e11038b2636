// What the package tells about the effects: the catalogue and the parameters' documentation.

#include <pybind11/stl.h>

#include "Binding.h"

namespace orvane::python {

using extensions::audioeffects::effectDescriptions;

std::string parameterDoc(const EffectParameter& parameter) {
    return std::string(render::kindName(parameter.kind)) + ", " + render::rangeText(parameter) + ", default " +
           std::string(py::repr(toPython(parameter.fromNumber(parameter.defaultValue)))) + ". " +
           std::string(parameter.description);
}

py::list presetList(const EffectDescription& description) {
    py::list presets;
    for (const EffectPreset& preset : render::presetsOf(description.type)) {
        py::dict values;
        for (const auto& [name, number] : preset.values)
            for (const EffectParameter& parameter : description.parameters)
                if (parameter.name == name) values[snakeCase(name).c_str()] = toPython(parameter.fromNumber(number));
        py::dict entry;
        entry["name"] = std::string(preset.name);
        entry["description"] = std::string(preset.description);
        entry["values"] = values;
        presets.append(entry);
    }
    return presets;
}

namespace {

py::list catalogue() {
    py::list effects;
    for (const EffectDescription& description : effectDescriptions) {
        const NodeTypeInfo info = description.nodeTypeInfo();
        py::list parameters;
        for (const EffectParameter& parameter : description.parameters) {
            py::dict entry;
            entry["name"] = snakeCase(parameter.name);
            entry["type"] = render::kindName(parameter.kind);
            entry["default"] = toPython(parameter.fromNumber(parameter.defaultValue));
            entry["min"] = toPython(parameter.fromNumber(parameter.minimum));
            entry["max"] = toPython(parameter.fromNumber(parameter.maximum));
            entry["unit"] = render::unitName(parameter.unit);
            entry["label"] = std::string(parameter.label);
            entry["description"] = std::string(parameter.description);
            if (parameter.kind != ParameterKind::Boolean) {
                const auto& range = parameter.augment;
                py::dict augment;
                augment["min"] = toPython(parameter.fromNumber(range.minimum));
                augment["max"] = toPython(parameter.fromNumber(range.maximum));
                augment["scale"] =
                    range.scale == extensions::audioeffects::AugmentRange::Scale::Logarithmic ? "log" : "linear";
                entry["augment"] = augment;
            }
            parameters.append(entry);
        }
        py::dict effect;
        effect["name"] = std::string(description.type);
        effect["display_name"] = info.displayName;
        effect["description"] = info.description;
        effect["parameters"] = parameters;
        effect["presets"] = presetList(description);
        effects.append(effect);
    }
    return effects;
}

}  // namespace

void bindCatalogue(py::module_& module) {
    module.def("effects", &catalogue,
               "The catalogue: per effect its name, display name, description, parameters and presets; per "
               "parameter its name, type, default, range (min, max), unit, label, description and the range "
               "random() draws from (augment: min, max, scale 'linear' or 'log'); per preset its name, description "
               "and values.");
}

}  // namespace orvane::python
