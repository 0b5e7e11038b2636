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
            parameters.append(entry);
        }
        py::dict effect;
        effect["name"] = std::string(description.type);
        effect["display_name"] = info.displayName;
        effect["description"] = info.description;
        effect["parameters"] = parameters;
        effects.append(effect);
    }
    return effects;
}

}  // namespace

void bindCatalogue(py::module_& module) {
    module.def("effects", &catalogue,
               "The catalogue: per effect its name, display name and description, and per parameter its name, type, "
               "default, range (min, max), unit, label and description.");
}

}  // namespace orvane::python
