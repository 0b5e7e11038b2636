// Processing: Python's arrays and arguments checked and converted, then handed to the
// offline renderer with the GIL released.

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <cmath>
#include <optional>

#include "Binding.h"

namespace orvane::python {

namespace {

using render::Check;

/// A curve converted to float64 with the GIL held; the array outlives the render reading it.
struct Curve {
    py::array_t<double> values;
    render::Automation automation;
};

void checkCurves(const Effect& effect, const py::handle& given, std::vector<Curve>& curves) {
    if (given.is_none()) return;
    if (!py::isinstance<py::dict>(given))
        throw py::type_error("automation takes a dict from parameter name to a 1-D array, or None");
    for (const auto& [key, value] : given.cast<py::dict>()) {
        if (!py::isinstance<py::str>(key)) throw py::type_error("automation keys are parameter names (str)");
        const std::size_t index = effect.indexOf(py::str(key));
        const EffectParameter& parameter = effect.description().parameters[index];
        const std::string where =
            "automation of " + std::string(effect.description().type) + "." + std::string(py::str(key));
        const py::array curve = py::array::ensure(value);
        if (!curve || curve.ndim() != 1)
            throw py::value_error(where + " must be a 1-D array of one value per output frame");
        // The dtype stands for the type a property takes: bool, integers, or real numbers.
        const char kind = curve.dtype().kind();
        const bool typed = parameter.kind == ParameterKind::Boolean ? kind == 'b'
                           : parameter.kind == ParameterKind::Int   ? kind == 'i' || kind == 'u'
                                                                    : kind == 'f' || kind == 'i' || kind == 'u';
        if (!typed)
            throw py::type_error(where + " must hold " + render::kindName(parameter.kind) + " values; got dtype " +
                                 std::string(py::str(curve.dtype())));
        auto converted = py::array_t<double, py::array::forcecast | py::array::c_style>::ensure(curve);
        const std::span<const double> perFrame(converted.data(), static_cast<std::size_t>(converted.shape(0)));
        curves.push_back(Curve{std::move(converted), render::Automation{index, perFrame}});
    }
}

}  // namespace

render::RenderSettings checkedSettings(const py::handle& sampleRate, const py::handle& blockSize,
                                       const py::handle& tail) {
    render::RenderSettings settings;
    settings.sampleRate = wholeNumber("sample_rate", sampleRate, render::maxSampleRate);
    settings.blockSize = wholeNumber("block_size", blockSize, render::maxBlockSize);
    if (PyBool_Check(tail.ptr()) || !(PyFloat_Check(tail.ptr()) || PyIndex_Check(tail.ptr())))
        throw py::type_error("tail takes seconds as a number from 0 to 3600");
    settings.tailSeconds = py::float_(py::reinterpret_borrow<py::object>(tail)).cast<double>();
    return settings;
}

py::array_t<float> checkedOut(const py::handle& out, const std::vector<py::ssize_t>& shape) {
    std::string wanted = "(";
    for (std::size_t i = 0; i < shape.size(); ++i) wanted += (i ? ", " : "") + std::to_string(shape[i]);
    wanted += shape.size() == 1 ? ",)" : ")";
    const std::string accepted = "out takes a writeable float32 array in C order of the result's shape " + wanted;
    if (!py::isinstance<py::array>(out))
        throw py::type_error(accepted + "; got " + std::string(py::str(out.get_type().attr("__name__"))));
    const auto array = py::reinterpret_borrow<py::array>(out);
    if (!array.dtype().is(py::dtype::of<float>()))
        throw py::type_error(accepted + "; got dtype " + std::string(py::str(array.dtype())));
    if (static_cast<std::size_t>(array.ndim()) != shape.size() ||
        !std::equal(shape.begin(), shape.end(), array.shape()))
        throw py::value_error(accepted + "; got shape " + std::string(py::str(out.attr("shape"))));
    if (!(array.flags() & py::array::c_style) || !array.writeable())
        throw py::value_error(accepted + "; got one that is not C-contiguous and writeable");
    return py::reinterpret_borrow<py::array_t<float>>(out);
}

void raise(const render::RenderError& refusal, const std::vector<Effect*>& chain,
           const render::RenderSettings& settings, const py::handle& sampleRate, const py::handle& blockSize,
           const py::handle& tail) {
    const std::uint64_t count = settings.channels;  // what the channel checks refuse
    const std::string type = chain.empty() ? "" : std::string(chain[refusal.effect]->description().type);
    switch (refusal.check) {
        case Check::Channels:
            throw py::value_error(
                "x has " + std::to_string(count) + " channels; 1 to " + std::to_string(render::maxChannels) +
                " are accepted, as an array of shape (channels, frames)" +
                (count > render::maxChannels ? " (audio readers give (frames, channels): pass x.T)" : ""));
        case Check::SampleRate:
            throw py::value_error("sample_rate must be a whole number from 1 to " +
                                  std::to_string(render::maxSampleRate) + "; got " + std::string(py::repr(sampleRate)));
        case Check::BlockSize:
            throw py::value_error("block_size must be a whole number from 1 to " +
                                  std::to_string(render::maxBlockSize) + "; got " + std::string(py::repr(blockSize)));
        case Check::Tail:
            throw py::value_error("tail must be a number of seconds from 0 to 3600; got " +
                                  std::string(py::repr(tail)));
        case Check::EffectChannels: {
            const std::string only = std::to_string(chain[refusal.effect]->description().onlyChannels);
            throw py::value_error(type + " takes exactly " + only + " channels (an array of shape (" + only +
                                  ", frames)); got " + std::to_string(count));
        }
        case Check::Continuation: {
            const render::OfflineEffect& state = chain[refusal.effect]->state;
            throw py::value_error(type + " last ran " + std::to_string(state.stateChannels()) + " channels at " +
                                  std::to_string(state.stateSampleRate()) + " Hz; this call has " +
                                  std::to_string(settings.channels) + " at " + std::to_string(settings.sampleRate) +
                                  " Hz: continuing needs the same, pass reset=True to start afresh");
        }
        case Check::RepeatedEffect:
            throw py::value_error(std::string(refusal.what()) + " (copy.deepcopy makes one)");
        case Check::Busy:
            throw std::runtime_error(std::string(refusal.what()) + " (copy.deepcopy makes one)");
        case Check::AutomationLength:
        case Check::AutomationValue: {
            const EffectParameter& parameter = chain[refusal.effect]->description().parameters[refusal.parameter];
            const std::string where = "automation of " + type + "." + snakeCase(parameter.name);
            if (refusal.check == Check::AutomationLength)
                throw py::value_error(where + " must be a 1-D array of one value per output frame (" +
                                      std::to_string(refusal.frame) + ", the input's frames plus the tail's)");
            throw py::value_error(where + " must be " + render::rangeText(parameter) + " at every frame; frame " +
                                  std::to_string(refusal.frame) + " holds " + std::to_string(refusal.value));
        }
    }
    throw py::value_error(refusal.what());
}

namespace {

/// The effects in order over one signal: everything is checked, then the renderer runs the
/// chain from the input into the float32 output with the GIL released.
py::array processChain(const std::vector<Effect*>& chain, const py::handle& x, const py::handle& sampleRateGiven,
                       const py::handle& blockSizeGiven, bool reset, const py::handle& tailGiven,
                       const std::vector<py::object>& automations, const py::handle& out) {
    if (!py::isinstance<py::array>(x))
        throw py::type_error(
            "x must be a numpy array (or a CPU torch tensor) of float32 or float64 samples, 1-D (frames) or 2-D "
            "(channels, frames); got " +
            std::string(py::str(x.get_type().attr("__name__"))));
    auto input = py::reinterpret_borrow<py::array>(x);
    if (!input.dtype().is(py::dtype::of<float>()) && !input.dtype().is(py::dtype::of<double>()))
        throw py::type_error("x must hold float32 or float64 samples; got " + std::string(py::str(input.dtype())));
    if (input.ndim() != 1 && input.ndim() != 2)
        throw py::value_error("x must be 1-D (frames) or 2-D (channels, frames); got " + std::to_string(input.ndim()) +
                              " dimensions");
    const std::size_t channels = input.ndim() == 1 ? 1 : static_cast<std::size_t>(input.shape(0));
    const std::size_t frames = static_cast<std::size_t>(input.shape(input.ndim() - 1));
    render::RenderSettings settings = checkedSettings(sampleRateGiven, blockSizeGiven, tailGiven);
    settings.channels = channels;
    settings.reset = reset;
    settings.inputFrames = frames;
    if (automations.size() != chain.size())
        throw py::value_error("automation takes one dict (or None) per effect: " + std::to_string(chain.size()));
    std::vector<std::vector<Curve>> curves(chain.size());
    std::vector<std::vector<render::Automation>> plans(chain.size());
    for (std::size_t i = 0; i < chain.size(); ++i) {
        checkCurves(*chain[i], automations[i], curves[i]);
        for (const Curve& curve : curves[i]) plans[i].push_back(curve.automation);
    }
    std::vector<render::OfflineEffect*> effects;
    for (Effect* effect : chain) effects.push_back(&effect->state);
    // A given output is checked before the render touches the effects' state.
    std::optional<py::array_t<float>> given;
    const auto tail = render::tailFrames(settings);
    if (!out.is_none() && tail) {
        const auto total = static_cast<py::ssize_t>(frames + *tail);
        given =
            checkedOut(out, input.ndim() == 1 ? std::vector<py::ssize_t>{total}
                                              : std::vector<py::ssize_t>{static_cast<py::ssize_t>(channels), total});
    }

    std::optional<render::OfflineRender> renderer;
    try {
        renderer.emplace(effects, settings, plans);
    } catch (const render::RenderError& refusal) {
        raise(refusal, chain, settings, sampleRateGiven, blockSizeGiven, tailGiven);
    }
    const std::size_t total = frames + static_cast<std::size_t>(renderer->tailFrames());
    py::array_t<float> output = given ? *given : py::array_t<float>({channels, total});
    // Any layout and either precision in, as float32 rows.
    const auto rows = py::array_t<float, py::array::forcecast | py::array::c_style>::ensure(
        input.reshape({static_cast<py::ssize_t>(channels), static_cast<py::ssize_t>(frames)}));
    std::vector<const float*> inputs(channels);
    std::vector<float*> outputs(channels);
    for (std::size_t c = 0; c < channels; ++c) {
        inputs[c] = rows.data() + c * frames;
        outputs[c] = output.mutable_data() + c * total;
    }
    {
        py::gil_scoped_release released;
        renderer->renderAll(inputs.data(), frames, outputs.data());
    }
    renderer.reset();  // the claims and the automated parameters, with the GIL held again
    if (given) return output;
    if (input.ndim() == 1) return output.reshape({static_cast<py::ssize_t>(total)});
    return output;
}

const char* const processDoc = R"(Runs x through the effect and returns a new float32 array.

x: float32 or float64 samples, 1-D (one channel) or 2-D (channels, frames), 1 to 64
    channels; the result has the same number of dimensions and frames + tail frames.
    A CPU torch tensor gives a float32 tensor (not tracked by autograd), no copy either way.
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
    they held before.
out: a float32 array in C order of the result's shape, written in place and returned
    instead of a new one; refused before any work when it does not fit.)";

}  // namespace

void bindProcessing(py::module_& module) {
    auto effect = py::reinterpret_borrow<py::class_<Effect>>(module.attr("Effect"));
    effect.def(
        "process",
        [](Effect& self, const py::object& x, const py::object& sampleRate, const py::object& blockSize, bool reset,
           const py::object& tail, const py::object& automation, const py::object& out) {
            return processChain({&self}, x, sampleRate, blockSize, reset, tail, {automation}, out);
        },
        py::arg("x"), py::arg("sample_rate"), py::kw_only(), py::arg("block_size") = 512, py::arg("reset") = true,
        py::arg("tail") = 0.0, py::arg("automation") = py::none(), py::arg("out") = py::none(), processDoc);
    effect.def(
        "__call__",
        [](Effect& self, const py::object& x, const py::object& sampleRate, const py::object& out) {
            return processChain({&self}, x, sampleRate, py::int_(512), true, py::float_(0.0), {py::none()}, out);
        },
        py::arg("x"), py::arg("sample_rate"), py::kw_only(), py::arg("out") = py::none(),
        "effect(x, sample_rate, out=None) is effect.process(x, sample_rate, out=out).");
    module.def("_process_chain", &processChain, py::arg("effects"), py::arg("x"), py::arg("sample_rate"),
               py::arg("block_size"), py::arg("reset"), py::arg("tail"), py::arg("automations"),
               py::arg("out") = py::none());
}

}  // namespace orvane::python
