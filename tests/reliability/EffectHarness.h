#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/AudioBuffer.h"
#include "host/SingleBusAudioProcessorNode.h"

// Drives any of the five effect nodes with arbitrary formats, parameters and blocks, and
// checks what must hold whatever the input: the output is fully written and nothing else
// is, the input is left alone, and in-range parameters give finite output.
namespace orvane::testing {

enum class EffectType { Delay, PingPongDelay, Chorus, Flanger, Vibrato };

inline constexpr EffectType allEffectTypes[] = {EffectType::Delay, EffectType::PingPongDelay, EffectType::Chorus,
                                                EffectType::Flanger, EffectType::Vibrato};

const char* effectName(EffectType type);

/// A node of the type built for numberOfChannels (the ping-pong delay is always stereo).
std::unique_ptr<SingleBusAudioProcessorNode> makeEffect(EffectType type, unsigned int numberOfChannels);

/// The parameter names of a type, in the order of its accessors.
const std::vector<std::string>& parameterNames(EffectType type);

/// Sets a parameter through the node's accessor (delayMs: the unsigned count; enabled: non-zero).
void setParameter(SingleBusAudioProcessorNode& node, EffectType type, std::string_view name, double value);

/// Reads a parameter through the node's accessor (enabled as 0 or 1).
double getParameter(SingleBusAudioProcessorNode& node, EffectType type, std::string_view name);

/// Sets a parameter through the ping-pong delay's host property; answers whether it was accepted.
bool setProperty(SingleBusAudioProcessorNode& node, std::string_view name, double value);

/// Whether value lies where finite output is promised: gains 0 ... 1, feedback 0 ... 0.99,
/// any delay time, finite sweep widths and frequencies.
bool parameterInRange(std::string_view name, double value);

/// Processes one block of input into a fresh output buffer pre-filled with the marker and
/// answers what went wrong, or an empty string. expectFinite: finite input and in-range
/// parameters, so every output sample must be finite.
std::string processChecked(SingleBusAudioProcessorNode& node, const AudioBuffer<float>& input, bool expectFinite);

/// Deterministic input: channels x frames of uniform noise in [-1, 1) from seed.
AudioBuffer<float> noiseBlock(std::uint32_t channels, std::uint32_t frames, std::uint32_t sampleRate,
                              std::uint32_t seed);

/// Interprets bytes as a script (node type, channel count, then parameter changes, format
/// changes and blocks) and runs it with processChecked. Answers the first violation found,
/// or an empty string. A given forcedType overrides the type the bytes choose.
std::string runScript(const std::uint8_t* data, std::size_t size, const EffectType* forcedType = nullptr);

/// Runs every node through the grid of sample rates, block sizes and bus channel counts
/// (formats switching between blocks), then through every parameter at its extreme values.
/// Answers the violations found, each described.
std::vector<std::string> runFormatGrid(EffectType type);
std::vector<std::string> runParameterGrid(EffectType type);

/// What runScript and the grid did, for the reliability report.
struct HarnessCounters {
    std::atomic<std::uint64_t> blocks{0};
    std::atomic<std::uint64_t> parameterChanges{0};
    /// Called with true right before and false right after every process() call.
    void (*processObserver)(bool starting) = nullptr;
};
HarnessCounters& harnessCounters();

}  // namespace orvane::testing
