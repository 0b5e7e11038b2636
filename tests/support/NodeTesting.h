#pragma once

// Signals, one-block runs, bit-exact comparison, and plain sample-by-sample models of the
// five nodes written straight from their formulas.

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/AudioBuffer.h"
#include "host/AudioBus.h"
#include "host/SingleBusAudioProcessorNode.h"
#include "nodes/DenormalGuard.h"
#include "reliability/EffectHarness.h"

namespace orvane::testing {

/// Planar samples of one channel per inner vector.
using Channels = std::vector<std::vector<float>>;

inline Channels toChannels(const AudioBuffer<float>& buffer) {
    Channels channels(buffer.getNumberOfChannels(), std::vector<float>(buffer.getNumberOfFrames()));
    for (std::uint32_t c = 0; c < buffer.getNumberOfChannels(); ++c)
        for (std::uint32_t f = 0; f < buffer.getNumberOfFrames(); ++f) channels[c][f] = buffer.getSample(c, f);
    return channels;
}

/// channels x frames of deterministic noise in [-1, 1), different for every seed.
inline Channels noise(std::size_t channels, std::size_t frames, std::uint32_t seed, float scale = 1.0f) {
    std::uint64_t state = 0x9E3779B97F4A7C15ull ^ (std::uint64_t{seed} * 0xD1B54A32D192ED03ull);
    Channels signal(channels, std::vector<float>(frames));
    for (auto& channel : signal)
        for (float& sample : channel) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            sample = scale * (static_cast<float>(static_cast<std::int64_t>(state >> 40) - (1 << 23)) / 8388608.0f);
        }
    return signal;
}

/// Frames [start, start + length) of the first `channels` channels.
inline Channels slice(const Channels& signal, std::size_t channels, std::size_t start, std::size_t length) {
    Channels part(channels);
    for (std::size_t c = 0; c < channels; ++c)
        part[c].assign(signal[c].begin() + static_cast<std::ptrdiff_t>(start),
                       signal[c].begin() + static_cast<std::ptrdiff_t>(start + length));
    return part;
}

/// One block of `frames` frames (the input may hold no channels) through the node, with one
/// buffer as both buses or with an output of another shape that the node must take over.
inline Channels runBlock(SingleBusAudioProcessorNode& node, const Channels& input, std::size_t frames,
                         std::uint32_t rate, bool inPlace) {
    AudioBuffer<float> in(static_cast<std::uint32_t>(input.size()), static_cast<std::uint32_t>(frames), rate);
    for (std::uint32_t c = 0; c < input.size(); ++c)
        for (std::uint32_t f = 0; f < frames; ++f) in.setSample(c, f, input[c][f]);
    AudioBuffer<float> other(3, 7, 1);
    AudioBuffer<float>& out = inPlace ? in : other;
    AudioBus inBus(in);
    AudioBus outBus(out);
    EXPECT_TRUE(node.process(inBus, outBus));
    EXPECT_EQ(out.getNumberOfFrames(), frames);
    EXPECT_EQ(out.getSampleRate(), rate);
    return toChannels(out);
}

/// The input through the node in blocks of blockSize frames, the outputs joined.
inline Channels processInBlocks(SingleBusAudioProcessorNode& node, const Channels& input, std::uint32_t rate,
                                std::size_t blockSize) {
    const std::size_t frames = input.empty() ? 0 : input.front().size();
    Channels output(input.size());
    for (std::size_t start = 0; start < frames; start += blockSize) {
        const std::size_t length = std::min(blockSize, frames - start);
        const Channels processed = runBlock(node, slice(input, input.size(), start, length), length, rate, false);
        for (std::size_t c = 0; c < input.size(); ++c)
            output[c].insert(output[c].end(), processed[c].begin(), processed[c].end());
    }
    return output;
}

/// Equal bits, or both NaN (which NaN an operation on two of them gives depends on the
/// operand order the compiler picks).
inline ::testing::AssertionResult sameFloat(float actual, float expected) {
    if (std::bit_cast<std::uint32_t>(actual) == std::bit_cast<std::uint32_t>(expected) ||
        (std::isnan(actual) && std::isnan(expected)))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << actual << " vs " << expected;
}

/// Same shape and sameFloat everywhere.
inline ::testing::AssertionResult sameBits(const Channels& actual, const Channels& expected) {
    if (actual.size() != expected.size())
        return ::testing::AssertionFailure() << actual.size() << " channels, expected " << expected.size();
    for (std::size_t c = 0; c < actual.size(); ++c) {
        if (actual[c].size() != expected[c].size())
            return ::testing::AssertionFailure() << "channel " << c << ": " << actual[c].size() << " frames";
        for (std::size_t f = 0; f < actual[c].size(); ++f)
            if (!sameFloat(actual[c][f], expected[c][f]))
                return ::testing::AssertionFailure()
                       << "channel " << c << " frame " << f << ": " << actual[c][f] << ", expected " << expected[c][f];
    }
    return ::testing::AssertionSuccess();
}

/// A 48000-slot delay line, its positions wrapped as a ring wraps them.
struct ModelLine {
    static constexpr int capacity = 48000;
    std::vector<float> data = std::vector<float>(capacity, 0.0f);
    int write = 0;
    int read = 0;

    static int wrap(long long position) { return static_cast<int>(((position % capacity) + capacity) % capacity); }
    float& at(long long slot) { return data[static_cast<std::size_t>(wrap(slot))]; }
    /// Linear interpolation: floor, the earlier slot weighted by 1 - frac in double.
    float interpolate(float position) {
        const float base = std::floor(position);
        const float frac = position - base;
        const auto index = static_cast<long long>(base);
        const float upper = frac * at(index + 1);
        return static_cast<float>(static_cast<double>(at(index)) * (1.0 - static_cast<double>(frac)) +
                                  static_cast<double>(upper));
    }
    /// baseDelay + sweep slots behind the writer, reduced with fmodf; a non-finite one reads no sweep.
    float sweptPosition(float sweep, float baseDelay) const {
        const auto size = static_cast<float>(capacity);
        const float position = std::fmod(((static_cast<float>(write) - sweep) - baseDelay) + size, size);
        return std::isfinite(position) ? position
                                       : std::fmod(((static_cast<float>(write) - 0.0f) - baseDelay) + size, size);
    }
};

/// The sine oscillator: period 1/rate rounded to float (0 for rates of 0 or below), one cycle
/// taken off at 1.0, a phase that leaves [0, 1) brought back whole cycles (held when not finite).
struct ModelOscillator {
    float frequency = 10.0f;
    float amplitude = 1.0f;
    float offset = 0.0f;
    float phaseOffset = 0.0f;
    float phase = 0.0f;
    int rate = 0;
    float period = 0.0f;

    float step(int sampleRate) {
        if (sampleRate != rate) {
            period = sampleRate > 0 ? static_cast<float>(1.0 / sampleRate) : 0.0f;
            rate = sampleRate;
        }
        const float current = phase;
        float next = frequency * period + current;
        if (next >= 1.0f) next -= 1.0f;
        if (!std::isfinite(next)) {
            next = current;
        } else if (next < 0.0f || next >= 1.0f) {
            next -= std::floor(next);
            if (next >= 1.0f) next = 0.0f;
        }
        phase = next;
        const auto angle =
            static_cast<float>(static_cast<double>(current) * 6.283185307179586 + static_cast<double>(phaseOffset));
        return std::sin(angle) * amplitude + offset;
    }
};

/// One node of any type written out plainly. The swept nodes share one model; they differ in
/// the base delay, what enters the line and leaves it, and one oscillator per channel or shared.
class NodeModel {
public:
    NodeModel(EffectType nodeType, unsigned int built)
        : type(nodeType), lines(nodeType == EffectType::PingPongDelay ? 2 : built) {
        const bool vibrato = type == EffectType::Vibrato;
        const float hertz = type == EffectType::Chorus ? 0.2f : type == EffectType::Flanger ? 0.4f : 4.0f;
        width = type == EffectType::Chorus ? 0.025f : type == EffectType::Flanger ? 0.005f : 0.01f;
        baseDelay = type == EffectType::Chorus ? 1002.0f : type == EffectType::Flanger ? 2.0f : 1.0f;
        for (unsigned int c = 0; c < (vibrato ? 1 : built); ++c)
            oscillators.push_back({hertz, 0.5f, 0.5f, static_cast<float>(c * 1.5707963267948966)});
    }

    /// The same conversions as testing::setParameter.
    void set(std::string_view name, double value) {
        if (name == "enabled") enabled = value != 0.0;
        if (name == "delayMs") delayMs = static_cast<unsigned int>(value);
        if (name == "dryMix") dry = static_cast<float>(value);
        if (name == "wetMix") wet = static_cast<float>(value);
        if (name == "feedbackLevel") feedback = static_cast<float>(value);
        if (name == "sweepWidth") width = static_cast<float>(value);
        if (name == "frequency")
            for (auto& oscillator : oscillators) oscillator.frequency = static_cast<float>(value);
    }

    /// Subnormals are flushed as process() flushes them.
    Channels process(const Channels& input, std::size_t frames, std::uint32_t rate) {
        const extensions::audioeffects::DenormalGuard guard;
        Channels output = input;
        if (!enabled) return output;
        if (type == EffectType::Delay) echo(output, frames, rate);
        if (type == EffectType::PingPongDelay) pingPong(output, frames, rate);
        if (type != EffectType::Delay && type != EffectType::PingPongDelay) sweep(output, frames, rate);
        return output;
    }

private:
    std::uint32_t delaySamples(std::uint32_t rate) const {
        const double exact = static_cast<double>(delayMs) * (static_cast<double>(rate) / 1000.0);
        return exact >= 48000.0 ? 48000u : static_cast<std::uint32_t>(exact);
    }
    bool formatChanged(std::uint32_t rate, std::size_t channels) {
        if (rate == lastRate && channels == lastChannels) return false;
        lines.assign(lines.size(), ModelLine{});
        lastRate = rate;
        lastChannels = channels;
        return true;
    }

    void echo(Channels& io, std::size_t frames, std::uint32_t rate) {
        if (delayMs == 0) return;
        if (formatChanged(rate, io.size()) || delayMs != lastDelayMs) {
            for (auto& line : lines)
                line.read = ModelLine::wrap(line.write - static_cast<long long>(delaySamples(rate)));
            lastDelayMs = delayMs;
        }
        for (std::size_t f = 0; f < frames; ++f)
            for (std::size_t c = 0; c < std::min(io.size(), lines.size()); ++c) {
                ModelLine& line = lines[c];
                const float x = io[c][f];
                const float delayed = line.at(line.read);
                line.at(line.write) = feedback * delayed + x;
                line.write = ModelLine::wrap(line.write + 1LL);
                line.read = ModelLine::wrap(line.read + 1LL);
                io[c][f] = delayed * wet + x * dry;
            }
    }

    void pingPong(Channels& io, std::size_t frames, std::uint32_t rate) {
        if (delayMs == 0) return;
        if (rate != lastRate || delayMs != lastDelayMs) {
            length = delaySamples(rate);
            lastRate = rate;
            lastDelayMs = delayMs;
        }
        if (length == 0) return;
        std::vector<float>& left = lines[0].data;
        std::vector<float>& right = lines[1].data;
        for (std::size_t f = 0; f < frames; ++f) {
            const std::uint32_t p = position;
            for (std::size_t c = 0; c < io.size(); ++c) {
                std::vector<float>& own = c == 0 ? left : right;
                const std::vector<float>& other = c == 0 ? right : left;
                const float x = io[c][f];
                const float y = x * dry + own[p] * wet;
                own[p] = other[p] * feedback + x;
                io[c][f] = y;
            }
            position = (p + 1) % length;
        }
    }

    void sweep(Channels& io, std::size_t frames, std::uint32_t rate) {
        const bool vibrato = type == EffectType::Vibrato;
        formatChanged(rate, io.size());
        if (frames == 0) return;
        if (io.empty()) {
            if (vibrato)
                for (std::size_t f = 0; f < frames; ++f) oscillators[0].step(static_cast<int>(rate));
            return;
        }
        const auto fs = static_cast<float>(rate);
        float d = 0.0f;
        for (std::size_t f = 0; f < frames; ++f) {
            if (vibrato) d = (oscillators[0].step(static_cast<int>(rate)) * width) * fs;
            for (std::size_t c = 0; c < std::min(io.size(), lines.size()); ++c) {
                ModelLine& line = lines[c];
                if (!vibrato) d = (oscillators[c].step(static_cast<int>(rate)) * width) * fs;
                const float x = io[c][f];
                if (vibrato) line.at(line.write) = x;
                const float y = line.interpolate(line.sweptPosition(d, baseDelay));
                if (type == EffectType::Chorus) line.at(line.write) = x;
                if (type == EffectType::Flanger) line.at(line.write) = 0.6f * y + x;
                line.write = ModelLine::wrap(line.write + 1LL);
                io[c][f] = vibrato ? y : y * 0.8f + x;
            }
        }
    }

    EffectType type;
    std::vector<ModelLine> lines;
    std::vector<ModelOscillator> oscillators;
    bool enabled = true;
    unsigned int delayMs = 200;
    float dry = 0.7f, wet = 0.3f, feedback = 0.2f, width = 0.0f, baseDelay = 0.0f;
    std::uint32_t lastRate = 0, lastDelayMs = 0, length = 0, position = 0;
    std::size_t lastChannels = 0;
};

}  // namespace orvane::testing
