// The Effect base class and one Python class per effect, generated from the effects' table.

#include <memory>
#include <utility>

#include "Binding.h"

namespace orvane::python {

using extensions::audioeffects::effectDescriptions;

void Effect::setAll(const py::dict& keywords) {
    for (const auto& [key, value] : keywords) set(indexOf(py::str(key)), value);
}

std::size_t Effect::indexOf(const std::string& name) const {
    std::string known;
    for (std::size_t i = 0; i < description().parameters.size(); ++i) {
        const std::string snake = snakeCase(description().parameters[i].name);
        if (snake == name) return i;
        known += (known.empty() ? "" : ", ") + snake;
    }
    throw py::type_error(std::string(description().type) + " has no parameter '" + name + "'; its parameters are " +
                         known);
}

std::string Effect::repr() const {
    std::string text = std::string(description().type) + "(";
    for (std::size_t i = 0; i < description().parameters.size(); ++i)
        text += (i ? ", " : "") + snakeCase(description().parameters[i].name) + "=" + std::string(py::repr(get(i)));
    return text + ")";
}

void Effect::applyPreset(const py::handle& name) {
    const std::string type(description().type);
    if (!py::isinstance<py::str>(name)) throw py::type_error(type + " takes a preset's name (str)");
    const std::string wanted = py::str(name);
    const EffectPreset* preset = render::findPreset(type, wanted);
    if (!preset) {
        std::string known;
        for (const EffectPreset& each : render::presetsOf(type))
            known += (known.empty() ? "" : ", ") + std::string(each.name);
        throw py::value_error(type + " has no preset '" + wanted + "'; its presets are " + known);
    }
    state.applyPreset(*preset);
}

namespace {

template <std::size_t index>
class EffectOf : public Effect {
public:
    EffectOf() : Effect(effectDescriptions[index]) {}
};

template <std::size_t index>
void bindEffect(py::module_& module) {
    using Class = EffectOf<index>;
    const EffectDescription& description = effectDescriptions[index];
    std::string doc = description.nodeTypeInfo().description + "\n\nParameters (keyword arguments and properties):\n";
    for (const EffectParameter& parameter : description.parameters)
        doc += "    " + snakeCase(parameter.name) + ": " + parameterDoc(parameter) + "\n";
    py::class_<Class, Effect> effect(module, std::string(description.type).c_str(), doc.c_str());
    effect.def(py::init([](const py::kwargs& keywords) {
                   auto made = std::make_unique<Class>();
                   py::dict settings = keywords;
                   if (settings.contains("preset")) made->applyPreset(settings.attr("pop")("preset"));
                   made->setAll(settings);
                   return made;
               }),
               "preset= starts from a named preset (presets() lists them); keyword arguments then set parameters "
               "by name; the others keep their defaults.");
    effect.def_static(
        "presets", [] { return presetList(effectDescriptions[index]); },
        "The named presets: per preset its name, description and the values it sets.");
    for (std::size_t i = 0; i < description.parameters.size(); ++i)
        effect.def_property(
            snakeCase(description.parameters[i].name).c_str(), [i](const Effect& self) { return self.get(i); },
            [i](Effect& self, const py::object& value) { self.set(i, value); },
            parameterDoc(description.parameters[i]).c_str());
    // A copy has the type and the parameters, and starts with a clear state.
    effect.def(py::pickle(
        [](const Class& self) {
            py::dict state;
            for (std::size_t i = 0; i < self.description().parameters.size(); ++i)
                state[snakeCase(self.description().parameters[i].name).c_str()] = self.get(i);
            return state;
        },
        [](const py::dict& state) {
            auto made = std::make_unique<Class>();
            made->setAll(state);
            return made;
        }));
}

template <std::size_t... indices>
void bindEach(py::module_& module, std::index_sequence<indices...>) {
    (bindEffect<indices>(module), ...);
}

}  // namespace

void bindEffects(py::module_& module) {
    py::class_<Effect> effect(module, "Effect", "What every effect shares: processing, state and parameters.");
    effect.def("__repr__", &Effect::repr)
        .def(
            "reset",
            [](Effect& self) {
                try {
                    self.state.reset();
                } catch (const render::RenderError& refusal) {
                    throw std::runtime_error(refusal.what());
                }
            },
            "Clears the state that reset=False calls carry from one call to the next.")
        .def_property_readonly("parameter_names", [](const Effect& self) {
            std::vector<std::string> names;
            for (const auto& parameter : self.description().parameters) names.push_back(snakeCase(parameter.name));
            return names;
        });
    bindProcessing(module);
    bindEach(module, std::make_index_sequence<effectDescriptions.size()>());
}

}  // namespace orvane::python
