// The effects as Python classes over numpy arrays. Everything a call is given is checked
// before any sample is processed; samples are processed with the GIL released.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/AudioBuffer.h"
#include "host/AudioBus.h"
#include "host/AudioBusFormat.h"
#include "nodes/EffectParameters.h"

namespace py = pybind11;

namespace orvane::python {

namespace {

using extensions::audioeffects::EffectDescription;
using extensions::audioeffects::effectDescriptions;
using extensions::audioeffects::EffectParameter;
using extensions::audioeffects::ParameterKind;
using extensions::audioeffects::ParameterUnit;

constexpr std::uint32_t maxChannels = 64;
constexpr std::uint32_t maxSampleRate = 384000;
constexpr std::uint32_t maxBlockSize = 65536;
constexpr double maxTailSeconds = 3600;

// "delayMs" -> "delay_ms"
std::string snakeCase(std::string_view name) {
    std::string snake;
    for (char c : name) {
        if (c >= 'A' && c <= 'Z')
            snake += {'_', static_cast<char>(c - 'A' + 'a')};
        else
            snake += c;
    }
    return snake;
}

// A float in the shortest decimal that reads back as it: 0.7, not 0.699999988.
std::string shortest(float value) {
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

const char* kindName(ParameterKind kind) {
    return kind == ParameterKind::Boolean ? "bool" : kind == ParameterKind::Int ? "int" : "float";
}

const char* unitName(ParameterUnit unit) {
    switch (unit) {
        case ParameterUnit::Milliseconds:
            return "ms";
        case ParameterUnit::Seconds:
            return "s";
        case ParameterUnit::Hertz:
            return "Hz";
        case ParameterUnit::Gain:
            return "gain";
        default:
            return "";
    }
}

// A table number as Python shows it: True, 200, 0.7.
py::object toPython(const EffectParameter& parameter, float number) {
    if (parameter.kind == ParameterKind::Boolean) return py::bool_(number != 0.0f);
    if (parameter.kind == ParameterKind::Int) return py::int_(static_cast<long>(number));
    return py::float_(std::stod(shortest(number)));
}

std::string rangeText(const EffectParameter& parameter) {
    if (parameter.kind == ParameterKind::Boolean) return "True or False";
    const std::string unit = unitName(parameter.unit);
    return std::string(parameter.kind == ParameterKind::Int ? "a whole number" : "a number") + " from " +
           shortest(parameter.minimum) + " to " + shortest(parameter.maximum) +
           (unit.empty() || unit == "gain" ? "" : " " + unit);
}

/// A value for the parameter from Python, as the table's number: the right type (TypeError)
/// and inside the range, not NaN (ValueError).
float checkedValue(std::string_view effect, const EffectParameter& parameter, const py::handle& value) {
    const std::string where = std::string(effect) + "." + snakeCase(parameter.name);
    const bool isBool = PyBool_Check(value.ptr()) || py::isinstance(value, py::module_::import("numpy").attr("bool_"));
    if (parameter.kind == ParameterKind::Boolean) {
        if (!isBool)
            throw py::type_error(where + " takes a bool, not " +
                                 std::string(py::str(value.get_type().attr("__name__"))));
        return value.cast<bool>() ? 1.0f : 0.0f;
    }
    if (parameter.kind == ParameterKind::Int) {
        if (isBool || !PyIndex_Check(value.ptr()))
            throw py::type_error(where + " takes an int, not " +
                                 std::string(py::str(value.get_type().attr("__name__"))));
        const py::int_ whole = py::reinterpret_steal<py::int_>(PyNumber_Index(value.ptr()));
        const bool inside = whole >= py::int_(static_cast<long>(parameter.minimum)) &&
                            whole <= py::int_(static_cast<long>(parameter.maximum));
        if (!inside)
            throw py::value_error(where + " must be " + rangeText(parameter) + "; got " + std::string(py::repr(value)));
        return static_cast<float>(whole.cast<long>());
    }
    if (isBool || !(PyFloat_Check(value.ptr()) || PyIndex_Check(value.ptr()) || py::hasattr(value, "__float__")) ||
        py::isinstance<py::str>(value))
        throw py::type_error(where + " takes a float, not " + std::string(py::str(value.get_type().attr("__name__"))));
    const auto number =
        static_cast<float>(PyFloat_AsDouble(py::float_(py::reinterpret_borrow<py::object>(value)).ptr()));
    if (!(number >= parameter.minimum && number <= parameter.maximum))
        throw py::value_error(where + " must be " + rangeText(parameter) + "; got " + std::string(py::repr(value)));
    return number;
}

/// One effect as Python holds it: its parameters' values, and between calls with
/// reset=False the nodes that carry the signal's state.
class Effect {
public:
    explicit Effect(const EffectDescription& description) : description(description) {
        for (const EffectParameter& parameter : description.parameters) values.push_back(parameter.defaultValue);
    }
    virtual ~Effect() = default;

    const EffectDescription& description;
    std::vector<float> values;  // written and read with the GIL held

    py::object get(std::size_t index) const { return toPython(description.parameters[index], values[index]); }

    // [any thread, GIL held] The nodes load it at their next block.
    void set(std::size_t index, const py::handle& value) {
        const EffectParameter& parameter = description.parameters[index];
        values[index] = checkedValue(description.type, parameter, value);
        for (auto& node : nodes) parameter.set(*node.processor, parameter.fromNumber(values[index]));
    }

    void setAll(const py::dict& keywords) {
        for (const auto& [key, value] : keywords) set(indexOf(py::str(key)), value);
    }

    std::size_t indexOf(const std::string& name) const {
        std::string known;
        for (std::size_t i = 0; i < description.parameters.size(); ++i) {
            const std::string snake = snakeCase(description.parameters[i].name);
            if (snake == name) return i;
            known += (known.empty() ? "" : ", ") + snake;
        }
        throw py::type_error(std::string(description.type) + " has no parameter '" + name + "'; its parameters are " +
                             known);
    }

    std::string repr() const {
        std::string text = std::string(description.type) + "(";
        for (std::size_t i = 0; i < values.size(); ++i)
            text += (i ? ", " : "") + snakeCase(description.parameters[i].name) + "=" + std::string(py::repr(get(i)));
        return text + ")";
    }

    void reset() {
        Busy busy(*this);
        nodes.clear();
        channels = sampleRate = 0;
    }

    /// Claims the effect for one call; a second call at the same moment is refused.
    class Busy {
    public:
        explicit Busy(Effect& effect) : effect(effect) {
            if (effect.busy.exchange(true))
                throw std::runtime_error(std::string(effect.description.type) +
                                         " is already processing in another thread; give each thread its own effect "
                                         "(copy.deepcopy makes one)");
        }
        ~Busy() { effect.busy.store(false); }
        Busy(const Busy&) = delete;
        Busy& operator=(const Busy&) = delete;

    private:
        Effect& effect;
    };

    struct NodeRun {
        std::unique_ptr<SingleBusAudioProcessorNode> processor;
        std::uint32_t firstChannel;
        std::uint32_t channels;
        AudioBuffer<float> block;
    };
    std::vector<NodeRun> nodes;
    std::uint32_t channels = 0;  // of the signal the nodes carry; 0 when there are none
    std::uint32_t sampleRate = 0;
    std::atomic<bool> busy{false};

    /// Why the effect cannot take count channels, or "" when it can.
    std::string refusal(std::uint32_t count) const {
        const unsigned int only = description.onlyChannels;
        if (only != 0 && count != only)
            return std::string(description.type) + " takes exactly " + std::to_string(only) +
                   " channels (an array of shape (" + std::to_string(only) + ", frames)); got " + std::to_string(count);
        return "";
    }

    /// Fresh nodes for the layout, at the current values: one node for one or two channels,
    /// one one-channel node per channel beyond.
    void build(std::uint32_t signalChannels, std::uint32_t rate, std::uint32_t blockSize) {
        nodes.clear();
        const bool perChannel = signalChannels > 2;
        for (std::uint32_t first = 0; first < signalChannels; first += perChannel ? 1 : signalChannels) {
            const std::uint32_t count = perChannel ? 1 : signalChannels;
            NodeRun& run = nodes.emplace_back(NodeRun{description.create(count), first, count, {}});
            for (std::size_t i = 0; i < values.size(); ++i)
                description.parameters[i].set(*run.processor, description.parameters[i].fromNumber(values[i]));
            AudioBusFormat input{rate, count, blockSize}, output{};
            if (!run.processor->setBusFormat(input, output))
                throw py::value_error(std::string(description.type) + " refuses " + std::to_string(count) +
                                      " channels");
        }
        channels = signalChannels;
        sampleRate = rate;
    }
};

template <std::size_t index>
class EffectOf : public Effect {
public:
    EffectOf() : Effect(effectDescriptions[index]) {}
};

/// One parameter's values at the first frame of every block.
struct Automation {
    std::size_t parameter;
    std::vector<float> blockValues;
};

std::vector<Automation> checkedAutomation(const Effect& effect, const py::handle& given, std::size_t frames,
                                          std::uint32_t blockSize) {
    std::vector<Automation> automation;
    if (given.is_none()) return automation;
    if (!py::isinstance<py::dict>(given))
        throw py::type_error("automation takes a dict from parameter name to a 1-D array, or None");
    const std::string type(effect.description.type);
    for (const auto& [key, value] : given.cast<py::dict>()) {
        if (!py::isinstance<py::str>(key)) throw py::type_error("automation keys are parameter names (str)");
        const std::size_t index = effect.indexOf(py::str(key));
        const EffectParameter& parameter = effect.description.parameters[index];
        const std::string where = "automation of " + type + "." + std::string(py::str(key));
        const py::array curve = py::array::ensure(value);
        if (!curve || curve.ndim() != 1 || static_cast<std::size_t>(curve.shape(0)) != frames)
            throw py::value_error(where + " must be a 1-D array of one value per output frame (" +
                                  std::to_string(frames) + ", the input's frames plus the tail's)");
        // The dtype stands for the type a property takes: bool, integers, or real numbers.
        const char kind = curve.dtype().kind();
        const bool typed = parameter.kind == ParameterKind::Boolean ? kind == 'b'
                           : parameter.kind == ParameterKind::Int   ? kind == 'i' || kind == 'u'
                                                                    : kind == 'f' || kind == 'i' || kind == 'u';
        if (!typed)
            throw py::type_error(where + " must hold " + kindName(parameter.kind) + " values; got dtype " +
                                 std::string(py::str(curve.dtype())));
        // The converted array is a temporary of its own: it must outlive the view.
        const auto converted = py::array_t<double, py::array::forcecast>::ensure(curve);
        const auto numbers = converted.unchecked<1>();
        Automation& entry = automation.emplace_back(Automation{index, {}});
        for (py::ssize_t f = 0; f < numbers.shape(0); ++f) {
            const double number = numbers(f);
            const float stored = parameter.kind == ParameterKind::Float ? static_cast<float>(number)
                                                                        : static_cast<float>(std::min(number, 1e9));
            if (!(stored >= parameter.minimum && stored <= parameter.maximum))
                throw py::value_error(where + " must be " + rangeText(parameter) + " at every frame; frame " +
                                      std::to_string(f) + " holds " + std::to_string(number));
            if (f % blockSize == 0) entry.blockValues.push_back(stored);
        }
    }
    return automation;
}

// An int for sample rates and block sizes: whole numbers only, in [1, maximum].
std::uint32_t checkedCount(const char* name, const py::handle& value, std::uint32_t maximum) {
    if (PyBool_Check(value.ptr()) || !PyIndex_Check(value.ptr()))
        throw py::value_error(std::string(name) + " must be a whole number from 1 to " + std::to_string(maximum) +
                              "; got " + std::string(py::repr(value)));
    const py::int_ whole = py::reinterpret_steal<py::int_>(PyNumber_Index(value.ptr()));
    if (!(whole >= py::int_(1) && whole <= py::int_(maximum)))
        throw py::value_error(std::string(name) + " must be a whole number from 1 to " + std::to_string(maximum) +
                              "; got " + std::string(py::repr(value)));
    return whole.cast<std::uint32_t>();
}

/// The effects in order over one signal: everything is checked, then the samples are copied
/// into the float32 output and processed there, one effect after the other.
py::array processChain(const std::vector<Effect*>& effects, const py::handle& x, const py::handle& sampleRateGiven,
                       const py::handle& blockSizeGiven, bool reset, const py::handle& tailGiven,
                       const std::vector<py::object>& automations) {
    if (!py::isinstance<py::array>(x))
        throw py::type_error(
            "x must be a numpy array of float32 or float64 samples, 1-D (frames) or 2-D "
            "(channels, frames); got " +
            std::string(py::str(x.get_type().attr("__name__"))));
    auto input = py::reinterpret_borrow<py::array>(x);
    const bool isFloat32 = input.dtype().is(py::dtype::of<float>());
    if (!isFloat32 && !input.dtype().is(py::dtype::of<double>()))
        throw py::type_error("x must hold float32 or float64 samples; got " + std::string(py::str(input.dtype())));
    if (input.ndim() != 1 && input.ndim() != 2)
        throw py::value_error("x must be 1-D (frames) or 2-D (channels, frames); got " + std::to_string(input.ndim()) +
                              " dimensions");
    const std::size_t channelCount = input.ndim() == 1 ? 1 : static_cast<std::size_t>(input.shape(0));
    const std::size_t frames = static_cast<std::size_t>(input.shape(input.ndim() - 1));
    if (channelCount == 0 || channelCount > maxChannels)
        throw py::value_error("x has " + std::to_string(channelCount) + " channels; 1 to " +
                              std::to_string(maxChannels) + " are accepted, as an array of shape (channels, frames)" +
                              (channelCount > maxChannels ? " (audio readers give (frames, channels): pass x.T)" : ""));
    const auto channels = static_cast<std::uint32_t>(channelCount);
    const std::uint32_t sampleRate = checkedCount("sample_rate", sampleRateGiven, maxSampleRate);
    const std::uint32_t blockSize = checkedCount("block_size", blockSizeGiven, maxBlockSize);
    if (PyBool_Check(tailGiven.ptr()) || !(PyFloat_Check(tailGiven.ptr()) || PyIndex_Check(tailGiven.ptr())))
        throw py::type_error("tail takes seconds as a number from 0 to 3600");
    const double tail = py::float_(py::reinterpret_borrow<py::object>(tailGiven)).cast<double>();
    if (!(tail >= 0 && tail <= maxTailSeconds))
        throw py::value_error("tail must be a number of seconds from 0 to 3600; got " +
                              std::string(py::repr(tailGiven)));
    const std::size_t total = frames + static_cast<std::size_t>(std::llround(tail * sampleRate));
    if (automations.size() != effects.size())
        throw py::value_error("automation takes one dict (or None) per effect: " + std::to_string(effects.size()));

    for (std::size_t i = 0; i < effects.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (effects[i] == effects[j])
                throw py::value_error(
                    "the same " + std::string(effects[i]->description.type) +
                    " appears twice in the chain; each place needs its own (copy.deepcopy makes one)");
    std::vector<std::unique_ptr<Effect::Busy>> claims;
    std::vector<std::vector<Automation>> plans;
    for (std::size_t i = 0; i < effects.size(); ++i) {
        Effect& effect = *effects[i];
        claims.push_back(std::make_unique<Effect::Busy>(effect));
        if (const std::string refusal = effect.refusal(channels); !refusal.empty()) throw py::value_error(refusal);
        if (!reset && effect.channels != 0 && (effect.channels != channels || effect.sampleRate != sampleRate))
            throw py::value_error(std::string(effect.description.type) + " last ran " +
                                  std::to_string(effect.channels) + " channels at " +
                                  std::to_string(effect.sampleRate) + " Hz; this call has " + std::to_string(channels) +
                                  " at " + std::to_string(sampleRate) +
                                  " Hz: continuing needs the same, pass reset=True to start afresh");
        plans.push_back(checkedAutomation(effect, automations[i], total, blockSize));
    }

    py::array_t<float> output({channelCount, total});
    float* const samples = output.mutable_data();
    // Any layout and either precision in, as float32 rows. The first effect reads them (silence
    // past their end) and writes the output, whose pages are thus first touched with the GIL
    // released; later effects run on the output in place.
    const auto rows = py::array_t<float, py::array::forcecast | py::array::c_style>::ensure(
        input.reshape({static_cast<py::ssize_t>(channelCount), static_cast<py::ssize_t>(frames)}));
    const float* const inputRows = rows.data();
    if (effects.empty())
        for (std::size_t c = 0; c < channelCount; ++c) {
            std::copy_n(inputRows + c * frames, frames, samples + c * total);
            std::fill(samples + c * total + frames, samples + (c + 1) * total, 0.0f);
        }

    for (std::size_t i = 0; i < effects.size(); ++i) {
        Effect& effect = *effects[i];
        if (reset || effect.channels == 0) effect.build(channels, sampleRate, blockSize);
        for (Effect::NodeRun& node : effect.nodes)
            node.block = AudioBuffer<float>(node.channels, blockSize, sampleRate);
        const std::vector<Automation>& plan = plans[i];
        {
            py::gil_scoped_release released;
            for (std::size_t start = 0, block = 0; start < total; start += blockSize, ++block) {
                const auto length = static_cast<std::uint32_t>(std::min<std::size_t>(blockSize, total - start));
                for (const Automation& curve : plan) {
                    const EffectParameter& parameter = effect.description.parameters[curve.parameter];
                    for (Effect::NodeRun& node : effect.nodes)
                        parameter.set(*node.processor, parameter.fromNumber(curve.blockValues[block]));
                }
                for (Effect::NodeRun& node : effect.nodes) {
                    // Within the capacity allocated above: resizing never allocates.
                    if (node.block.getNumberOfFrames() != length) node.block.resize(node.channels, length);
                    for (std::uint32_t c = 0; c < node.channels; ++c) {
                        const std::size_t channel = node.firstChannel + c;
                        float* const target = node.block.getChannelData(c);
                        if (i > 0) {
                            std::copy_n(samples + channel * total + start, length, target);
                            continue;
                        }
                        const std::size_t given = start < frames ? std::min<std::size_t>(length, frames - start) : 0;
                        std::copy_n(inputRows + channel * frames + start, given, target);
                        std::fill(target + given, target + length, 0.0f);
                    }
                    AudioBus bus(node.block);
                    node.processor->process(bus, bus);
                    for (std::uint32_t c = 0; c < node.channels; ++c)
                        std::copy_n(node.block.getChannelData(c), length,
                                    samples + (node.firstChannel + c) * total + start);
                }
            }
        }
        // Automation holds for this call only: the properties are what they were.
        for (const Automation& curve : plan) {
            const EffectParameter& parameter = effect.description.parameters[curve.parameter];
            for (Effect::NodeRun& node : effect.nodes)
                parameter.set(*node.processor, parameter.fromNumber(effect.values[curve.parameter]));
        }
    }
    if (input.ndim() == 1) return output.reshape({static_cast<py::ssize_t>(total)});
    return output;
}

std::string parameterDoc(const EffectParameter& parameter) {
    return std::string(kindName(parameter.kind)) + ", " + rangeText(parameter) + ", default " +
           std::string(py::repr(toPython(parameter, parameter.defaultValue))) + ". " +
           std::string(parameter.description);
}

template <std::size_t index>
void bindEffect(py::module_& module) {
    using Class = EffectOf<index>;
    const EffectDescription& description = effectDescriptions[index];
    const NodeTypeInfo info = description.nodeTypeInfo();
    std::string doc = info.description + "\n\nParameters (keyword arguments and properties):\n";
    for (const EffectParameter& parameter : description.parameters)
        doc += "    " + snakeCase(parameter.name) + ": " + parameterDoc(parameter) + "\n";
    py::class_<Class, Effect> effect(module, std::string(description.type).c_str(), doc.c_str());
    effect.def(py::init([](const py::kwargs& keywords) {
                   auto made = std::make_unique<Class>();
                   made->setAll(keywords);
                   return made;
               }),
               "Keyword arguments set parameters by name; the others keep their defaults.");
    for (std::size_t i = 0; i < description.parameters.size(); ++i)
        effect.def_property(
            snakeCase(description.parameters[i].name).c_str(), [i](const Effect& self) { return self.get(i); },
            [i](Effect& self, const py::object& value) { self.set(i, value); },
            parameterDoc(description.parameters[i]).c_str());
    // A copy has the type and the parameters, and starts with a clear state.
    effect.def(py::pickle(
        [](const Class& self) {
            py::dict state;
            for (std::size_t i = 0; i < self.values.size(); ++i)
                state[snakeCase(self.description.parameters[i].name).c_str()] = self.get(i);
            return state;
        },
        [](const py::dict& state) {
            auto made = std::make_unique<Class>();
            made->setAll(state);
            return made;
        }));
}

template <std::size_t... indices>
void bindEffects(py::module_& module, std::index_sequence<indices...>) {
    (bindEffect<indices>(module), ...);
}

py::list catalogue() {
    py::list effects;
    for (const EffectDescription& description : effectDescriptions) {
        const NodeTypeInfo info = description.nodeTypeInfo();
        py::list parameters;
        for (const EffectParameter& parameter : description.parameters) {
            py::dict entry;
            entry["name"] = snakeCase(parameter.name);
            entry["type"] = kindName(parameter.kind);
            entry["default"] = toPython(parameter, parameter.defaultValue);
            entry["min"] = toPython(parameter, parameter.minimum);
            entry["max"] = toPython(parameter, parameter.maximum);
            entry["unit"] = unitName(parameter.unit);
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

}  // namespace orvane::python

namespace {

const char* const processDoc = R"(Runs x through the effect and returns a new float32 array.

x: float32 or float64 samples, 1-D (one channel) or 2-D (channels, frames), 1 to 64
    channels; the result has the same number of dimensions and frames + tail frames.
    One channel runs through the effect built for one, two through the effect built for
    two, and 3 to 64 each through an effect of its own, as a DAW runs a mono plugin on
    each channel of a wider track. The ping-pong delay takes exactly two.
sample_rate: a whole number of Hz from 1 to 384000.
block_size: frames per block, 1 to 65536; the result is what the node gives in blocks of
    that size.
reset: True starts from a clear state; False continues from where the last call ended
    (same channels and sample rate), so that chunks give what one call gives.
tail: seconds of silence (0 to 3600) appended to x, so that echoes ring out.
automation: {parameter name: 1-D array of one value per output frame}; each block takes
    the value at its first frame. For this call only: afterwards the properties hold what
    they held before.)";

}  // namespace

PYBIND11_MODULE(_native, module) {
    using namespace orvane::python;
    module.doc() = "The Orvane audio effects over numpy arrays.";
    module.attr("__version__") = ORVANE_VERSION;
    py::class_<Effect> effect(module, "Effect", "What every effect shares: processing, state and parameters.");
    effect.def("__repr__", &Effect::repr)
        .def("reset", &Effect::reset, "Clears the state that reset=False calls carry from one call to the next.")
        .def_property_readonly("parameter_names", [](const Effect& self) {
            std::vector<std::string> names;
            for (const auto& parameter : self.description.parameters) names.push_back(snakeCase(parameter.name));
            return names;
        });
    effect.def(
        "process",
        [](Effect& self, const py::object& x, const py::object& sampleRate, const py::object& blockSize, bool reset,
           const py::object& tail, const py::object& automation) {
            return processChain({&self}, x, sampleRate, blockSize, reset, tail, {automation});
        },
        py::arg("x"), py::arg("sample_rate"), py::kw_only(), py::arg("block_size") = 512, py::arg("reset") = true,
        py::arg("tail") = 0.0, py::arg("automation") = py::none(), processDoc);
    effect.def(
        "__call__",
        [](Effect& self, const py::object& x, const py::object& sampleRate) {
            return processChain({&self}, x, sampleRate, py::int_(512), true, py::float_(0.0), {py::none()});
        },
        py::arg("x"), py::arg("sample_rate"), "effect(x, sample_rate) is effect.process(x, sample_rate).");
    bindEffects(module, std::make_index_sequence<orvane::extensions::audioeffects::effectDescriptions.size()>());
    module.def("_process_chain", &processChain, py::arg("effects"), py::arg("x"), py::arg("sample_rate"),
               py::arg("block_size"), py::arg("reset"), py::arg("tail"), py::arg("automations"));
    module.def("effects", &catalogue,
               "The catalogue: per effect its name, display name and description, and per parameter its name, type, "
               "default, range (min, max), unit, label and description.");
}
