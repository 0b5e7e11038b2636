#pragma once

// Runs chains of effects over planar float32 samples offline: the one block loop behind
// orvane-fx, the Python package and the benchmarks. A render checks everything it is given
// before the first sample, allocates only while it is being set up, then takes its input a
// piece at a time and, once told the input has ended, writes the tail.

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/AudioBuffer.h"
#include "nodes/EffectParameters.h"
#include "nodes/EffectPresets.h"

namespace orvane::render {

using extensions::audioeffects::EffectDescription;
using extensions::audioeffects::effectDescriptions;
using extensions::audioeffects::EffectParameter;
using extensions::audioeffects::EffectPreset;
using extensions::audioeffects::findEffect;
using extensions::audioeffects::findPreset;
using extensions::audioeffects::ParameterKind;
using extensions::audioeffects::ParameterUnit;
using extensions::audioeffects::ParameterValue;
using extensions::audioeffects::presetsOf;

inline constexpr std::uint64_t maxChannels = 64;
inline constexpr std::uint64_t maxSampleRate = 384000;
inline constexpr std::uint64_t maxBlockSize = 65536;
inline constexpr double maxTailSeconds = 3600;

// --- The words every front end shares -------------------------------------------------------

/// "boolean", "int" or "float", as the host's vocabulary names a property's type.
const char* kindName(ParameterKind kind);
/// "ms", "s", "Hz", "gain" or "".
const char* unitName(ParameterUnit unit);
/// A float in the shortest decimal that reads back as it: "0.7", not "0.699999988".
std::string shortest(float value);
/// The values a front end offers for the parameter: "a number from 0 to 10 Hz".
std::string rangeText(const EffectParameter& parameter);
/// The channel counts an effect takes: "1 to 64 channels" or "2 channels".
std::string acceptedChannels(const EffectDescription& description);

// --- Refusals -------------------------------------------------------------------------------

/// Which check refused a render.
enum class Check {
    Channels,          // the signal's channel count
    SampleRate,        // outside 1 to 384000
    BlockSize,         // outside 1 to 65536
    Tail,              // seconds outside 0 to 3600, or NaN
    EffectChannels,    // an effect that takes one channel count only
    Continuation,      // continuing an effect that last ran another channel count or rate
    RepeatedEffect,    // one effect in two places of a chain
    Busy,              // an effect already rendering in another thread
    AutomationLength,  // a curve not of one value per output frame
    AutomationValue,   // a curve value outside its parameter's range, or NaN
};

/// A render refused before any sample was processed: which check, on what, and a sentence
/// that says what is accepted. Front ends with other idioms reword it from these fields.
class RenderError : public std::invalid_argument {
public:
    RenderError(Check check, const std::string& message, std::size_t effect = 0, std::size_t parameter = 0,
                std::uint64_t frame = 0, double value = 0)
        : std::invalid_argument(message),
          check(check),
          effect(effect),
          parameter(parameter),
          frame(frame),
          value(value) {}
    Check check;
    std::size_t effect;     // its place in the chain
    std::size_t parameter;  // its index in the effect's table (automation)
    std::uint64_t frame;    // the frame (automation value), the frames wanted (automation length)
    double value;           // the value refused
};

// --- Effects and renders --------------------------------------------------------------------

/// One effect: its parameters' values and, between renders, the nodes that carry the
/// signal's state (one node for one or two channels, one one-channel node per channel
/// beyond).
class OfflineEffect {
public:
    explicit OfflineEffect(const EffectDescription& description);  // [any thread]
    ~OfflineEffect();

    const EffectDescription& description;

    const ParameterValue& value(std::size_t parameter) const { return values[parameter]; }  // [any thread]
    /// Any value of the parameter's kind: the node runs as it is; ranges are the front ends'.
    /// Reaches the nodes at their next block, also during a render. [any thread, one at a time]
    void setValue(std::size_t parameter, const ParameterValue& value);
    /// Sets every value the preset holds (all but `enabled`). [any thread, one at a time]
    void applyPreset(const EffectPreset& preset);
    /// The table index of the parameter with this name, or none.
    std::optional<std::size_t> indexOf(std::string_view name) const;
    /// Forgets the state carried from the last render; refused during one (RenderError).
    /// [any thread]
    void reset();
    /// The channel count and rate the carried state belongs to; 0 when there is none.
    std::uint32_t stateChannels() const { return channels; }
    std::uint32_t stateSampleRate() const { return sampleRate; }

private:
    friend class OfflineRender;
    struct NodeRun;
    std::vector<ParameterValue> values;
    std::vector<NodeRun> nodes;
    std::uint32_t channels = 0;
    std::uint32_t sampleRate = 0;
    std::atomic<bool> busy{false};
};

/// One parameter's values over a render, one per output frame (input frames, then the
/// tail's); each block takes the value at its first frame.
struct Automation {
    std::size_t parameter;
    std::span<const double> perFrame;  // outlives the render
};

struct RenderSettings {
    std::uint64_t channels = 0;
    std::uint64_t sampleRate = 0;
    std::uint64_t blockSize = 512;
    double tailSeconds = 0;
    bool reset = true;                         // false: each effect continues from its last render
    std::optional<std::uint64_t> inputFrames;  // needed with automation
};

/// The frames a render with these settings appends after its input; none when the rate or
/// the tail is out of range.
std::optional<std::uint64_t> tailFrames(const RenderSettings& settings);

/// One run of a chain over one signal. The chain's effects are claimed for the render's
/// life; automated parameters return to the effects' values when it ends.
class OfflineRender {
public:
    /// Checks everything (throws RenderError), then claims the effects and builds or
    /// prepares their nodes. automation: one list per effect, or empty for none.
    OfflineRender(std::span<OfflineEffect* const> chain, const RenderSettings& settings,
                  std::span<const std::vector<Automation>> automation = {});
    ~OfflineRender();
    OfflineRender(const OfflineRender&) = delete;
    OfflineRender& operator=(const OfflineRender&) = delete;

    /// Frames the tail adds after the input.
    std::uint64_t tailFrames() const { return tailLeft; }

    /// Takes frames of input (one pointer per channel) and writes every output frame that
    /// completes a block, in order: fewer than frames + blockSize. Returns how many.
    std::size_t push(const float* const* input, std::size_t frames, float* const* output);
    /// After the last piece: writes the held frames and the tail, whole blocks up to capacity
    /// frames a call (at least the next block's length). Returns how many; 0 when all are written.
    std::size_t finish(float* const* output, std::size_t capacity);

    /// The whole signal at once: push, then finish. output's rows hold frames + tailFrames().
    void renderAll(const float* const* input, std::size_t frames, float* const* output);

private:
    /// Runs the chain over the first length frames of block, in place.
    void processBlock(std::uint32_t length);
    void writeBlock(float* const* output, std::size_t at, std::uint32_t length) const;

    std::vector<OfflineEffect*> effects;
    std::vector<std::vector<Automation>> plans;
    std::size_t claimed = 0;  // effects[0, claimed) are this render's
    std::uint32_t channels;
    std::uint32_t blockSize;
    std::uint64_t tailLeft = 0;
    std::uint64_t position = 0;   // output frames processed
    AudioBuffer<float> block;     // the block the chain runs on, in place
    std::vector<float> gathered;  // input of a block that spans pieces: channels x blockSize
    std::uint32_t gatheredFrames = 0;
    std::vector<float*> rows;  // renderAll's place in each output row
};

}  // namespace orvane::render
