// The LV2 entry point: one shared object serves the nine plugins of the catalogue.

#include <lv2/core/lv2.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <exception>
#include <limits>
#include <memory>
#include <vector>

#include "PluginCatalogue.h"
#include "host/AudioBuffer.h"
#include "host/AudioBus.h"
#include "host/AudioBusFormat.h"

namespace orvane::lv2 {

namespace {

// Longest stretch handed to a node at once; longer runs go in pieces, so that the block
// buffer is allocated once, in instantiate.
constexpr std::uint32_t pieceFrames = 4096;

class Instance {
public:
    Instance(const PluginType& type, std::uint32_t sampleRate)
        : type(type),
          sampleRate(sampleRate),
          node(type.makeNode()),
          block(type.kind.channels, pieceFrames, sampleRate),
          controls(type.controls.size(), nullptr),
          applied(type.controls.size(), std::numeric_limits<float>::quiet_NaN()) {}

    bool agreeFormat() {
        AudioBusFormat input{sampleRate, type.kind.channels, pieceFrames};
        AudioBusFormat output{};
        return node->setBusFormat(input, output);
    }

    /// Leaves the instance as if it had no history: the nodes never clear their lines, so
    /// a node that has run is replaced by a fresh one, which the next run() gives every
    /// control. Out of memory, the old node stays.
    void reset() noexcept {
        if (!hasRun) return;
        try {
            node = type.makeNode();
            agreeFormat();
            std::fill(applied.begin(), applied.end(), std::numeric_limits<float>::quiet_NaN());
            hasRun = false;
        } catch (const std::exception&) {
        }
    }

    void connect(std::uint32_t port, void* data) noexcept {
        const std::uint32_t channels = type.kind.channels;
        if (port < channels) {
            inputs[port] = static_cast<const float*>(data);
        } else if (port < 2 * channels) {
            outputs[port - channels] = static_cast<float*>(data);
        } else if (port - 2 * channels < controls.size()) {
            controls[port - 2 * channels] = static_cast<const float*>(data);
        }
    }

    void run(std::uint32_t frames) noexcept {
        applyControls();
        hasRun = true;
        const std::uint32_t channels = type.kind.channels;
        for (std::uint32_t done = 0; done < frames;) {
            const std::uint32_t piece = std::min(pieceFrames, frames - done);
            // Within capacity: resizing never allocates.
            if (block.getNumberOfFrames() != piece) block.resize(channels, piece);
            // Every input is read before any output is written: hosts may hand the same
            // memory to both, ffmpeg always does.
            for (std::uint32_t c = 0; c < channels; ++c) {
                float* target = block.getChannelData(c);
                if (inputs[c])
                    std::memcpy(target, inputs[c] + done, piece * sizeof(float));
                else
                    std::fill_n(target, piece, 0.0f);
            }
            AudioBus bus(block);
            node->process(bus, bus);
            for (std::uint32_t c = 0; c < channels; ++c)
                if (outputs[c]) std::memcpy(outputs[c] + done, block.getChannelData(c), piece * sizeof(float));
            done += piece;
        }
    }

private:
    void applyControls() noexcept {
        for (std::size_t i = 0; i < controls.size(); ++i) {
            const EffectParameter& parameter = type.controls[i];
            const float value = clampControl(parameter, controls[i] ? *controls[i] : parameter.defaultValue);
            // Bit patterns: the first run always applies (applied starts as NaN).
            if (std::bit_cast<std::uint32_t>(value) == std::bit_cast<std::uint32_t>(applied[i])) continue;
            parameter.set(*node, parameter.fromNumber(value));
            applied[i] = value;
        }
    }

    const PluginType& type;
    const std::uint32_t sampleRate;
    std::unique_ptr<SingleBusAudioProcessorNode> node;
    AudioBuffer<float> block;
    std::array<const float*, 2> inputs{};
    std::array<float*, 2> outputs{};
    std::vector<const float*> controls;
    std::vector<float> applied;
    bool hasRun = false;
};

LV2_Handle instantiate(const LV2_Descriptor* descriptor, double sampleRate, const char*,
                       const LV2_Feature* const*) noexcept {
    // The nodes count time in whole frames per second.
    if (!(sampleRate >= 1.0 && sampleRate <= static_cast<double>(std::numeric_limits<std::uint32_t>::max())))
        return nullptr;
    const auto rate = static_cast<std::uint32_t>(std::lround(sampleRate));
    try {
        for (const PluginType& type : pluginTypes()) {
            if (type.kind.uri != descriptor->URI) continue;
            auto instance = std::make_unique<Instance>(type, rate);
            if (!instance->agreeFormat()) return nullptr;
            return instance.release();
        }
    } catch (const std::exception&) {
        // Out of memory: the host hears that the plugin did not instantiate.
    }
    return nullptr;
}

void connectPort(LV2_Handle handle, uint32_t port, void* data) noexcept {
    static_cast<Instance*>(handle)->connect(port, data);
}

void activate(LV2_Handle handle) noexcept { static_cast<Instance*>(handle)->reset(); }

void run(LV2_Handle handle, uint32_t frames) noexcept { static_cast<Instance*>(handle)->run(frames); }

void deactivate(LV2_Handle) noexcept {}

void cleanup(LV2_Handle handle) noexcept { delete static_cast<Instance*>(handle); }

const void* extensionData(const char*) noexcept { return nullptr; }

// Descriptors need URIs that live as long as the library: the catalogue's literals do.
constexpr std::array<LV2_Descriptor, pluginKinds.size()> makeDescriptors() {
    std::array<LV2_Descriptor, pluginKinds.size()> descriptors{};
    for (std::size_t i = 0; i < pluginKinds.size(); ++i)
        descriptors[i] = {
            pluginKinds[i].uri.data(), instantiate, connectPort, activate, run, deactivate, cleanup, extensionData};
    return descriptors;
}

constexpr std::array<LV2_Descriptor, pluginKinds.size()> descriptors = makeDescriptors();

}  // namespace

}  // namespace orvane::lv2

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
    return index < orvane::lv2::descriptors.size() ? &orvane::lv2::descriptors[index] : nullptr;
}
