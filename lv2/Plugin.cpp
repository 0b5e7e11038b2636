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
// Switching `enabled` crossfades between the effect and the dry input for this long.
constexpr double fadeSeconds = 0.01;

class Instance {
public:
    Instance(const PluginType& type, std::uint32_t sampleRate)
        : type(type),
          sampleRate(sampleRate),
          node(type.makeNode()),
          block(type.kind.channels, pieceFrames, sampleRate),
          dry(type.kind.channels, pieceFrames, sampleRate),
          controls(type.controls.size(), nullptr),
          applied(type.controls.size(), std::numeric_limits<float>::quiet_NaN()),
          fadeFrames(static_cast<std::uint32_t>(std::max(1l, std::lround(fadeSeconds * sampleRate)))) {}

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
        // The bypass switch never reaches the node, which keeps running: the plugin fades its
        // output between the node's and the dry input. A first run after instantiate or
        // activate starts settled.
        const bool on = clampControl(type.controls[enabled], controls[enabled] ? *controls[enabled] : 1.0f) != 0.0f;
        if (!hasRun) wetFrames = on ? fadeFrames : 0;
        hasRun = true;
        const std::uint32_t channels = type.kind.channels;
        for (std::uint32_t done = 0; done < frames;) {
            const std::uint32_t piece = std::min(pieceFrames, frames - done);
            const bool fading = !on || wetFrames != fadeFrames;  // some of the output is dry
            // Within capacity: resizing never allocates.
            if (block.getNumberOfFrames() != piece) block.resize(channels, piece);
            if (fading && dry.getNumberOfFrames() != piece) dry.resize(channels, piece);
            // Every input is read before any output is written: hosts may hand the same
            // memory to both, ffmpeg always does.
            for (std::uint32_t c = 0; c < channels; ++c) {
                float* target = block.getChannelData(c);
                if (inputs[c])
                    std::memcpy(target, inputs[c] + done, piece * sizeof(float));
                else
                    std::fill_n(target, piece, 0.0f);
                if (fading) std::memcpy(dry.getChannelData(c), target, piece * sizeof(float));
            }
            AudioBus bus(block);
            node->process(bus, bus);
            // Bypassed and settled, the output is the dry input as it came.
            const bool bypassed = !on && wetFrames == 0;
            if (fading && !bypassed) crossfade(piece, on);
            const AudioBuffer<float>& result = bypassed ? dry : block;
            for (std::uint32_t c = 0; c < channels; ++c)
                if (outputs[c]) std::memcpy(outputs[c] + done, result.getChannelData(c), piece * sizeof(float));
            done += piece;
        }
    }

private:
    /// Mixes the node's output in block with the dry input, the wet share moving one frame
    /// a sample towards all (on) or nothing (off): a linear crossfade of fadeFrames. At either
    /// end the sample is the wet or the dry one as it is, so a bypassed plugin gives its input
    /// bit for bit, as a switched-off node does.
    void crossfade(std::uint32_t piece, bool on) noexcept {
        for (std::uint32_t f = 0; f < piece; ++f) {
            if (on && wetFrames < fadeFrames) ++wetFrames;
            if (!on && wetFrames > 0) --wetFrames;
            const float wetShare = static_cast<float>(wetFrames) / static_cast<float>(fadeFrames);
            for (std::uint32_t c = 0; c < type.kind.channels; ++c) {
                float& sample = block.getChannelData(c)[f];
                const float drySample = dry.getChannelData(c)[f];
                if (wetFrames == 0)
                    sample = drySample;
                else if (wetFrames < fadeFrames)
                    sample = sample * wetShare + drySample * (1.0f - wetShare);
            }
        }
    }

    void applyControls() noexcept {
        for (std::size_t i = 0; i < controls.size(); ++i) {
            if (i == enabled) continue;  // the bypass switch, which run() fades and the node never sees
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
    AudioBuffer<float> dry;  // the input of a piece that is faded
    std::array<const float*, 2> inputs{};
    std::array<float*, 2> outputs{};
    std::vector<const float*> controls;
    std::vector<float> applied;
    static constexpr std::size_t enabled = 0;  // the table's first parameter
    const std::uint32_t fadeFrames;
    std::uint32_t wetFrames = 0;  // the effect's share of the output, in frames of the fade
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
