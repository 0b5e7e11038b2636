#pragma once

// Drives the bundle's shared object the way an LV2 host does: dlopen, lv2_descriptor,
// instantiate, connect_port, run. Buffers and controls are allocated with the instance, so
// that runs allocate nothing on the test's side.

#include <dlfcn.h>
#include <lv2/core/lv2.h>

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "lv2/PluginCatalogue.h"
#include "support/NodeTesting.h"

namespace orvane::lv2testing {

using Channels = std::vector<std::vector<float>>;

using testing::noise;  // channels x frames of deterministic noise, seeded

inline LV2_Descriptor_Function descriptors() {
    void* library = dlopen(ORVANE_LV2_PLUGIN, RTLD_NOW | RTLD_LOCAL);
    if (!library) throw std::runtime_error(std::string("cannot load the plugin: ") + dlerror());
    return reinterpret_cast<LV2_Descriptor_Function>(dlsym(library, "lv2_descriptor"));
}

inline const lv2::PluginType& pluginType(const std::string& label) {
    for (const lv2::PluginType& type : lv2::pluginTypes())
        if (type.kind.label == label) return type;
    throw std::runtime_error("no plugin " + label);
}

struct PluginInstance {
    /// Room for blocks of up to maxFrames frames; every control at its default.
    PluginInstance(const std::string& label, double sampleRate, std::uint32_t maxFrames)
        : type(pluginType(label)),
          inputs(type.kind.channels, std::vector<float>(maxFrames)),
          outputs(type.kind.channels, std::vector<float>(maxFrames)) {
        for (std::uint32_t i = 0; (descriptor = descriptors()(i)); ++i)
            if (type.kind.uri == descriptor->URI) break;
        for (const auto& parameter : type.controls) controls.push_back(parameter.defaultValue);
        handle = descriptor->instantiate(descriptor, sampleRate, ORVANE_LV2_BUNDLE, nullptr);
        if (!handle) throw std::runtime_error("instantiate failed for " + label);
        connect(false);
        if (descriptor->activate) descriptor->activate(handle);
    }
    ~PluginInstance() {
        if (descriptor->deactivate) descriptor->deactivate(handle);
        descriptor->cleanup(handle);
    }
    PluginInstance(const PluginInstance&) = delete;
    PluginInstance& operator=(const PluginInstance&) = delete;

    /// The outputs on the inputs' memory (in place), or on their own.
    void connect(bool inPlace) {
        for (std::uint32_t c = 0; c < type.kind.channels; ++c) {
            descriptor->connect_port(handle, c, inputs[c].data());
            descriptor->connect_port(handle, type.kind.channels + c, inPlace ? inputs[c].data() : outputs[c].data());
        }
        for (std::uint32_t i = 0; i < controls.size(); ++i)
            descriptor->connect_port(handle, type.firstControlIndex() + i, &controls[i]);
        this->inPlace = inPlace;
    }

    void set(const std::string& symbol, float value) {
        for (std::size_t i = 0; i < type.controls.size(); ++i)
            if (type.controls[i].name == symbol) controls[i] = value;
    }

    void run(std::uint32_t frames) { descriptor->run(handle, frames); }

    /// The signal in blocks of blockSize frames, empty runs between them when asked; the outputs joined.
    Channels process(const Channels& signal, std::uint32_t blockSize, bool emptyRuns = false) {
        Channels result(signal.size());
        for (std::size_t start = 0; start < signal.front().size(); start += blockSize) {
            const auto length = static_cast<std::uint32_t>(std::min<std::size_t>(blockSize, signal[0].size() - start));
            for (std::size_t c = 0; c < signal.size(); ++c)
                std::copy_n(signal[c].begin() + static_cast<std::ptrdiff_t>(start), length, inputs[c].begin());
            if (emptyRuns) run(0);
            run(length);
            for (std::size_t c = 0; c < signal.size(); ++c)
                result[c].insert(result[c].end(), (inPlace ? inputs : outputs)[c].begin(),
                                 (inPlace ? inputs : outputs)[c].begin() + length);
        }
        return result;
    }

    const lv2::PluginType& type;
    const LV2_Descriptor* descriptor = nullptr;
    LV2_Handle handle = nullptr;
    Channels inputs;
    Channels outputs;
    std::vector<float> controls;
    bool inPlace = false;
};

}  // namespace orvane::lv2testing
