// Batches: many signals of one shape, each from a clear state with its own parameters, on
// worker threads with the GIL released. Each worker renders through effects of its own, so
// the effects passed in keep their state and parameters.

#include <pybind11/stl.h>

#include <atomic>
#include <exception>
#include <memory>
#include <optional>
#include <thread>

#include "Binding.h"

namespace orvane::python {

namespace {

/// One item's values: per effect, the parameters it sets and their values.
using Overrides = std::vector<std::vector<std::pair<std::size_t, ParameterValue>>>;

Overrides checkedOverrides(const std::vector<Effect*>& chain, const py::handle& given, bool single, std::size_t item) {
    Overrides overrides(chain.size());
    if (given.is_none()) return overrides;
    const std::string where = "parameters[" + std::to_string(item) + "]";
    const auto settings = [&](std::size_t i, const py::handle& dict) {
        if (dict.is_none()) return;
        if (!py::isinstance<py::dict>(dict))
            throw py::type_error(where + " takes a dict from parameter name to value, or None");
        for (const auto& [key, value] : dict.cast<py::dict>()) {
            if (!py::isinstance<py::str>(key)) throw py::type_error(where + ": parameter names are str");
            const std::size_t index = chain[i]->indexOf(py::str(key));
            overrides[i].emplace_back(
                index, checkedValue(chain[i]->description().type, chain[i]->description().parameters[index], value));
        }
    };
    if (single) {
        settings(0, given);
        return overrides;
    }
    if (!py::isinstance<py::sequence>(given) || py::isinstance<py::str>(given) || py::len(given) != chain.size())
        throw py::type_error(
            where + " takes a list of one dict (or None) per effect of the chain: " + std::to_string(chain.size()));
    for (std::size_t i = 0; i < chain.size(); ++i) settings(i, given.cast<py::sequence>()[i]);
    return overrides;
}

py::array processBatch(const std::vector<Effect*>& chain, bool single, const py::handle& x,
                       const py::handle& sampleRate, const py::handle& parameters, std::size_t threads,
                       const py::handle& blockSize, const py::handle& tail, const py::handle& out) {
    if (!py::isinstance<py::array>(x))
        throw py::type_error(
            "x must be a numpy array (or a CPU torch tensor) of float32 or float64 samples of shape (batch, channels, "
            "frames); got " +
            std::string(py::str(x.get_type().attr("__name__"))));
    const auto input = py::reinterpret_borrow<py::array>(x);
    if (!input.dtype().is(py::dtype::of<float>()) && !input.dtype().is(py::dtype::of<double>()))
        throw py::type_error("x must hold float32 or float64 samples; got " + std::string(py::str(input.dtype())));
    if (input.ndim() != 3)
        throw py::value_error("x must be 3-D (batch, channels, frames); got " + std::to_string(input.ndim()) +
                              " dimensions");
    const auto batch = static_cast<std::size_t>(input.shape(0)), channels = static_cast<std::size_t>(input.shape(1)),
               frames = static_cast<std::size_t>(input.shape(2));
    render::RenderSettings settings = checkedSettings(sampleRate, blockSize, tail);
    settings.channels = channels;
    settings.inputFrames = frames;
    if (threads < 1) throw py::value_error("threads must be a whole number from 1 up");
    std::vector<Overrides> items;
    if (!parameters.is_none() && (!py::isinstance<py::sequence>(parameters) || py::len(parameters) != batch))
        throw py::value_error("parameters takes one entry per item of the batch: " + std::to_string(batch));
    for (std::size_t i = 0; i < batch; ++i)
        items.push_back(checkedOverrides(
            chain, parameters.is_none() ? py::object(py::none()) : py::object(parameters.cast<py::sequence>()[i]),
            single, i));

    // Each worker's effects: the chain's types at the chain's values, as they are now.
    std::vector<std::vector<ParameterValue>> base;
    for (Effect* effect : chain) {
        auto& values = base.emplace_back();
        for (std::size_t p = 0; p < effect->description().parameters.size(); ++p)
            values.push_back(effect->state.value(p));
    }
    const std::size_t workers = std::max<std::size_t>(1, std::min(threads, batch));
    std::vector<std::vector<std::unique_ptr<render::OfflineEffect>>> own(workers);
    for (auto& effects : own)
        for (Effect* effect : chain) {
            effects.push_back(std::make_unique<render::OfflineEffect>(effect->description()));
        }
    const auto pointers = [&](std::size_t worker) {
        std::vector<render::OfflineEffect*> effects;
        for (auto& effect : own[worker]) effects.push_back(effect.get());
        return effects;
    };
    try {  // every check of the settings, before any item runs
        for (std::size_t e = 0; e < chain.size(); ++e)
            for (std::size_t p = 0; p < base[e].size(); ++p) own[0][e]->setValue(p, base[e][p]);
        render::OfflineRender probe(pointers(0), settings);
    } catch (const render::RenderError& refusal) {
        raise(refusal, chain, settings, sampleRate, blockSize, tail);
    }
    const std::size_t total = frames + static_cast<std::size_t>(*render::tailFrames(settings));
    const std::vector<py::ssize_t> shape{static_cast<py::ssize_t>(batch), static_cast<py::ssize_t>(channels),
                                         static_cast<py::ssize_t>(total)};
    py::array_t<float> output = out.is_none() ? py::array_t<float>(shape) : checkedOut(out, shape);
    const auto rows = py::array_t<float, py::array::forcecast | py::array::c_style>::ensure(input);
    const float* const in = rows.data();
    float* const result = output.mutable_data();

    std::atomic<std::size_t> next{0};
    std::vector<std::exception_ptr> failures(workers);
    const auto work = [&](std::size_t worker) {
        try {
            std::vector<render::OfflineEffect*> effects = pointers(worker);
            std::vector<const float*> inputs(channels);
            std::vector<float*> outputs(channels);
            for (std::size_t item; (item = next.fetch_add(1)) < batch;) {
                for (std::size_t e = 0; e < chain.size(); ++e) {
                    for (std::size_t p = 0; p < base[e].size(); ++p) effects[e]->setValue(p, base[e][p]);
                    for (const auto& [index, value] : items[item][e]) effects[e]->setValue(index, value);
                }
                render::OfflineRender renderer(effects, settings);
                for (std::size_t c = 0; c < channels; ++c) {
                    inputs[c] = in + (item * channels + c) * frames;
                    outputs[c] = result + (item * channels + c) * total;
                }
                renderer.renderAll(inputs.data(), frames, outputs.data());
            }
        } catch (...) {
            failures[worker] = std::current_exception();
        }
    };
    {
        py::gil_scoped_release released;
        std::vector<std::thread> running;
        for (std::size_t worker = 1; worker < workers; ++worker) running.emplace_back(work, worker);
        work(0);
        for (auto& thread : running) thread.join();
    }
    for (const auto& failure : failures)
        if (failure) std::rethrow_exception(failure);
    return output;
}

}  // namespace

void bindBatches(py::module_& module) {
    module.def("_process_batch", &processBatch, py::arg("effects"), py::arg("single"), py::arg("x"),
               py::arg("sample_rate"), py::arg("parameters"), py::arg("threads"), py::arg("block_size"),
               py::arg("tail"), py::arg("out"));
}

}  // namespace orvane::python
