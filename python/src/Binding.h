#pragma once

// What the binding's files share: Python values as the effects' table takes them, and the
// Python object that holds one effect.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <string>
#include <string_view>
#include <vector>

#include "render/OfflineRenderer.h"

namespace orvane::python {

namespace py = pybind11;

using extensions::audioeffects::EffectDescription;
using extensions::audioeffects::EffectParameter;
using extensions::audioeffects::EffectPreset;
using extensions::audioeffects::ParameterKind;
using extensions::audioeffects::ParameterValue;

// --- Values ---------------------------------------------------------------------------------

/// "delayMs" -> "delay_ms": the table's names as Python spells them.
std::string snakeCase(std::string_view name);
/// A parameter's value as Python shows it: True, 200, 0.7.
py::object toPython(const ParameterValue& value);
/// A value for the parameter from Python: the right type (TypeError) and inside the range,
/// not NaN (ValueError).
ParameterValue checkedValue(std::string_view effect, const EffectParameter& parameter, const py::handle& value);
/// A Python int, saturated into [0, UINT64_MAX]; ValueError naming what for anything else.
std::uint64_t wholeNumber(const char* name, const py::handle& value, std::uint64_t maximum);

// --- Effects --------------------------------------------------------------------------------

/// One effect as Python holds it: the renderer's effect, its parameters read and written by
/// their snake_case names.
class Effect {
public:
    explicit Effect(const EffectDescription& description) : state(description) {}
    virtual ~Effect() = default;

    render::OfflineEffect state;
    const EffectDescription& description() const { return state.description; }

    py::object get(std::size_t index) const { return toPython(state.value(index)); }
    // [any thread, GIL held] The nodes load it at their next block.
    void set(std::size_t index, const py::handle& value) {
        state.setValue(index, checkedValue(description().type, description().parameters[index], value));
    }
    void setAll(const py::dict& keywords);
    /// Sets the values of the preset of this name (all but enabled); ValueError listing the
    /// known names otherwise.
    void applyPreset(const py::handle& name);
    /// The index of the snake_case name; TypeError listing the names otherwise.
    std::size_t indexOf(const std::string& name) const;
    std::string repr() const;
};

// --- Processing -----------------------------------------------------------------------------

/// sample_rate, block_size and tail as the renderer takes them; the ranges are its to check.
render::RenderSettings checkedSettings(const py::handle& sampleRate, const py::handle& blockSize,
                                       const py::handle& tail);
/// A renderer's refusal as the Python exception and words this package has always raised.
[[noreturn]] void raise(const render::RenderError& refusal, const std::vector<Effect*>& chain,
                        const render::RenderSettings& settings, const py::handle& sampleRate,
                        const py::handle& blockSize, const py::handle& tail);
/// An array the caller gave for the result: float32, C order, writeable, of this shape.
py::array_t<float> checkedOut(const py::handle& out, const std::vector<py::ssize_t>& shape);

// --- The module's parts ---------------------------------------------------------------------

void bindEffects(py::module_& module);     // Effect, the five classes, pickling
void bindProcessing(py::module_& module);  // process, __call__, _process_chain
void bindBatches(py::module_& module);     // _process_batch
void bindCatalogue(py::module_& module);   // effects()
std::string parameterDoc(const EffectParameter& parameter);
/// The effect's presets as Python lists them: name, description, values by snake_case name.
py::list presetList(const EffectDescription& description);

}  // namespace orvane::python
