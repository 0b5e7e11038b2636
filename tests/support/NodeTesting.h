#pragma once

// Helpers for the effect-node tests: deterministic signals, blocks the Blocks.h helpers cannot
// express (in-place buses, channel-less blocks), bit-exact comparison, and plain re-statements
// of the delay line and sweep oscillator that the reference models of the nodes are built from.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#endif

#include "host/AudioBuffer.h"
#include "host/AudioBus.h"
#include "host/AudioBusFormat.h"
#include "host/SingleBusAudioProcessorNode.h"
#include "nodes/DenormalGuard.h"
#include "support/Blocks.h"

namespace orvane::nodetesting {

using testing::Channels;

/// channels x frames of deterministic noise in [-1, 1), different for every seed.
inline Channels noise(std::size_t channels, std::size_t frames, std::uint32_t seed) {
    std::uint64_t state = 0x9E3779B97F4A7C15ull ^ (std::uint64_t{seed} * 0xD1B54A32D192ED03ull);
    Channels signal(channels, std::vector<float>(frames));
    for (auto& channel : signal)
        for (float& sample : channel) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            sample = static_cast<float>(static_cast<std::int64_t>(state >> 40) - (1 << 23)) / 8388608.0f;
        }
    return signal;
}

/// Every sample multiplied by factor (in float).
inline Channels scaled(Channels signal, float factor) {
    for (auto& channel : signal)
        for (float& sample : channel) sample *= factor;
    return signal;
}

/// Whether any sample is subnormal: the tiny values that flushing to zero would lose.
/// The processor's floating-point control word (MXCSR on x86; 0 where not read).
inline unsigned int floatingPointMode() {
#if defined(__SSE__) || defined(__x86_64__)
    return _mm_getcsr();
#else
    return 0;
#endif
}

/// Runs f in the mode process() runs in, subnormals flushed to zero, and answers its result.
template <typename F>
auto flushingSubnormals(F&& f) {
    const orvane::extensions::audioeffects::DenormalGuard guard;
    return f();
}

inline bool hasSubnormal(const Channels& signal) {
    for (const auto& channel : signal)
        for (float sample : channel)
            if (std::fpclassify(sample) == FP_SUBNORMAL) return true;
    return false;
}

/// channels x frames of silence.
inline Channels silence(std::size_t channels, std::size_t frames) {
    return Channels(channels, std::vector<float>(frames, 0.0f));
}

/// The first `channels` channels of frames [start, start + length) of signal.
inline Channels slice(const Channels& signal, std::size_t channels, std::size_t start, std::size_t length) {
    Channels part(channels);
    for (std::size_t c = 0; c < channels; ++c)
        part[c].assign(signal[c].begin() + static_cast<std::ptrdiff_t>(start),
                       signal[c].begin() + static_cast<std::ptrdiff_t>(start + length));
    return part;
}

/// Runs one block with one buffer serving as input and output bus at once.
inline Channels processInPlace(SingleBusAudioProcessorNode& node, const Channels& input, std::uint32_t sampleRate) {
    AudioBuffer<float> buffer = testing::makeBuffer(input, sampleRate);
    AudioBus bus(buffer);
    EXPECT_TRUE(node.process(bus, bus));
    return testing::toChannels(buffer);
}

/// Runs one block of the given shape whose samples are all 0 (channels may be 0 while frames
/// is not, which Blocks.h cannot express); answers the output buffer.
inline AudioBuffer<float> processShape(SingleBusAudioProcessorNode& node, std::uint32_t channels, std::uint32_t frames,
                                       std::uint32_t sampleRate) {
    AudioBuffer<float> in(channels, frames, sampleRate);
    AudioBuffer<float> out(3, 7, 1);  // another shape: the node must make it the input's
    AudioBus inBus(in);
    AudioBus outBus(out);
    EXPECT_TRUE(node.process(inBus, outBus));
    return out;
}

/// Bit pattern of a float: NaNs compare equal to themselves, -0 differs from +0.
inline std::uint32_t bitsOf(float value) { return std::bit_cast<std::uint32_t>(value); }

/// Whether both hold the same shape and the same bit pattern in every sample. Reports the first
/// difference (with `what` naming the context) as a test failure.
inline bool expectSameBits(const Channels& actual, const Channels& expected, const std::string& what = "") {
    if (actual.size() != expected.size()) {
        ADD_FAILURE() << what << ": " << actual.size() << " channels, expected " << expected.size();
        return false;
    }
    for (std::size_t c = 0; c < actual.size(); ++c) {
        if (actual[c].size() != expected[c].size()) {
            ADD_FAILURE() << what << ": channel " << c << " has " << actual[c].size() << " frames, expected "
                          << expected[c].size();
            return false;
        }
        for (std::size_t f = 0; f < actual[c].size(); ++f)
            if (bitsOf(actual[c][f]) != bitsOf(expected[c][f])) {
                ADD_FAILURE() << what << ": channel " << c << " frame " << f << " is " << actual[c][f] << ", expected "
                              << expected[c][f];
                return false;
            }
    }
    return true;
}

/// Indices of the non-zero samples of one channel.
inline std::vector<std::size_t> nonZeroFrames(const std::vector<float>& channel) {
    std::vector<std::size_t> frames;
    for (std::size_t f = 0; f < channel.size(); ++f)
        if (channel[f] != 0.0f) frames.push_back(f);
    return frames;
}

/// Joins blocks of the same channel count end to end.
inline void append(Channels& all, const Channels& block) {
    if (all.empty()) all.resize(block.size());
    for (std::size_t c = 0; c < block.size(); ++c) all[c].insert(all[c].end(), block[c].begin(), block[c].end());
}

/// Processes `blocks` stereo blocks of noise at 48 kHz while another thread keeps calling
/// change(i) for i = 0, 1, ...; expects every output sample to be finite.
template <typename Change>
void processWhileChanging(SingleBusAudioProcessorNode& node, Change change, std::uint32_t blocks) {
    std::atomic<bool> done{false};
    std::atomic<unsigned int> changes{0};
    std::thread writer([&] {
        for (unsigned int i = 0; !done.load() || i < 100; ++i) {
            change(i);
            changes.store(i + 1);
        }
    });
    const Channels input = noise(2, 256, 12345);
    std::size_t nonFinite = 0;
    for (std::uint32_t block = 0; block < blocks; ++block) {
        const Channels output = testing::processBlock(node, input, 48000);
        for (const auto& channel : output)
            for (float sample : channel)
                if (!std::isfinite(sample)) ++nonFinite;
    }
    done.store(true);
    writer.join();
    EXPECT_EQ(nonFinite, 0u);
    EXPECT_GE(changes.load(), 100u);
}

/// Format of one block of a scripted run.
struct BlockFormat {
    std::uint32_t sampleRate = 48000;
    std::uint32_t channels = 2;
};

/// Runs signal (whose channel count bounds every block's) through node and model in blocks of
/// blockSize frames. Before each block, prepare(blockIndex) applies the same parameter changes
/// to node and model and answers the block's format. Every output sample must match the model
/// bit for bit; the run stops at the first block that differs. With inPlace the node processes
/// each block with one buffer as both buses.
template <typename Model, typename Prepare>
void expectMatchesModel(SingleBusAudioProcessorNode& node, Model& model, const Channels& signal,
                        std::uint32_t blockSize, Prepare prepare, bool inPlace = false) {
    const std::size_t frames = signal.front().size();
    std::size_t index = 0;
    for (std::size_t start = 0; start < frames; start += blockSize, ++index) {
        const std::size_t length = std::min<std::size_t>(blockSize, frames - start);
        const BlockFormat format = prepare(index);
        const Channels input = slice(signal, format.channels, start, length);
        const Channels expected = model.process(input, format.sampleRate);
        const Channels actual = inPlace ? processInPlace(node, input, format.sampleRate)
                                        : testing::processBlock(node, input, format.sampleRate);
        if (!expectSameBits(actual, expected,
                            "block " + std::to_string(index) + " of size " + std::to_string(blockSize) +
                                " from frame " + std::to_string(start)))
            return;
    }
}

/// A ring of 48000 floats with the write/read pointer arithmetic and linear interpolation of a
/// delay line, written out plainly.
struct ReferenceLine {
    static constexpr int capacity = 48000;
    std::vector<float> data = std::vector<float>(capacity, 0.0f);
    int writePointer = 0;
    int readPointer = 0;

    static int wrap(long long position) {
        const long long slot = (position + capacity) % capacity;
        return static_cast<int>(slot < 0 ? slot + capacity : slot);
    }
    void reset() {
        data.assign(capacity, 0.0f);
        writePointer = 0;
        readPointer = 0;
    }
    float interpolate(float position) const {
        const float base = std::floor(position);
        const float frac = position - base;
        const int i = static_cast<int>(base);
        const float upper = frac * data[static_cast<std::size_t>(wrap(i + 1LL))];
        return static_cast<float>(static_cast<double>(data[static_cast<std::size_t>(wrap(i))]) *
                                      (1.0 - static_cast<double>(frac)) +
                                  static_cast<double>(upper));
    }
    /// The swept read position baseDelay + sweep slots behind the write pointer; a sweep that
    /// makes it non-finite reads as no sweep.
    float sweptPosition(float sweep, float baseDelay) const {
        const auto cap = static_cast<float>(capacity);
        float position = std::fmod(((static_cast<float>(writePointer) - sweep) - baseDelay) + cap, cap);
        if (!std::isfinite(position))
            position = std::fmod(((static_cast<float>(writePointer) - 0.0f) - baseDelay) + cap, cap);
        return position;
    }
};

/// A sine oscillator stepped once per sample, written out plainly (frequencies 0 ... rate).
struct ReferenceOscillator {
    float frequency = 10.0f;
    float amplitude = 1.0f;
    float offset = 0.0f;
    float phaseOffset = 0.0f;
    float phase = 0.0f;
    int cachedSampleRate = 0;
    float samplePeriod = 0.0f;

    /// The oscillators of the sweep effects: over [0, 1], channel i a quarter cycle ahead of i - 1.
    static ReferenceOscillator sweep(float hertz, std::uint32_t channel) {
        ReferenceOscillator oscillator;
        oscillator.frequency = hertz;
        oscillator.amplitude = 0.5f;
        oscillator.offset = 0.5f;
        oscillator.phaseOffset = static_cast<float>(channel * 1.5707963267948966);
        return oscillator;
    }

    float step(int sampleRate) {
        if (sampleRate != cachedSampleRate) {
            samplePeriod = sampleRate > 0 ? static_cast<float>(1.0 / sampleRate) : 0.0f;
            cachedSampleRate = sampleRate;
        }
        const float current = phase;
        float next = frequency * samplePeriod + current;
        if (next >= 1.0f) next -= 1.0f;
        phase = next;
        const auto angle =
            static_cast<float>(static_cast<double>(current) * 6.283185307179586 + static_cast<double>(phaseOffset));
        return std::sin(angle) * amplitude + offset;
    }
};

/// Runs fresh nodes and models (from makeNode and makeModel) through signal in blocks of 1,
/// 17 and 512 frames, with separate buffers and in place, applying each scripted event
/// (frame, apply(node, model, format)) before the first block starting at or after its frame.
template <typename Event, typename MakeNode, typename MakeModel>
void expectMatchesModelUnderScript(const Channels& signal, const std::vector<Event>& script, MakeNode makeNode,
                                   MakeModel makeModel) {
    for (bool inPlace : {false, true})
        for (std::uint32_t blockSize : {1u, 17u, 512u}) {
            SCOPED_TRACE(::testing::Message() << "block size " << blockSize << (inPlace ? " in place" : ""));
            auto node = makeNode();
            auto model = makeModel();
            std::size_t next = 0;
            BlockFormat current;
            expectMatchesModel(
                *node, model, signal, blockSize,
                [&](std::size_t index) {
                    const std::size_t start = index * blockSize;
                    while (next < script.size() && script[next].frame <= start)
                        script[next++].apply(*node, model, current);
                    return current;
                },
                inPlace);
        }
}

/// Runs a model (anything with process(const Channels&, std::uint32_t)) block by block,
/// the way processInBlocks runs a node.
template <typename Model>
Channels modelInBlocks(Model& model, const Channels& input, std::uint32_t sampleRate, std::size_t blockSize) {
    Channels output;
    const std::size_t frames = input.front().size();
    for (std::size_t start = 0; start < frames; start += blockSize)
        append(output,
               model.process(slice(input, input.size(), start, std::min(blockSize, frames - start)), sampleRate));
    return output;
}

inline AudioBusFormat format(std::uint32_t sampleRate, std::uint32_t channels, std::uint32_t frames) {
    AudioBusFormat result;
    result.sampleRate = sampleRate;
    result.numberOfChannels = channels;
    result.numberOfFrames = frames;
    return result;
}

inline bool allFinite(const Channels& channels) {
    for (const auto& channel : channels)
        for (float sample : channel)
            if (!std::isfinite(sample)) return false;
    return true;
}

}  // namespace orvane::nodetesting
