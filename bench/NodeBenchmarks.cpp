// Cost of process() per sample and channel for every node: stereo and mono, blocks of 64,
// 512 and 4096 frames at 48 kHz, on noise and on a decaying tail (silence in, delay lines
// full of subnormal values, as echoes leave when they die away).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "audio/Sine.h"
#include "nodes/ChorusNode.h"
#include "nodes/DelayNode.h"
#include "nodes/FlangerNode.h"
#include "nodes/PingPongDelayNode.h"
#include "nodes/VibratoNode.h"

namespace {

using namespace orvane;
using namespace orvane::extensions::audioeffects;

constexpr std::uint32_t sampleRate = 48000;

template <typename Node>
std::unique_ptr<Node> makeNode() {
    if constexpr (std::is_same_v<Node, PingPongDelayNode>) {
        return std::make_unique<Node>(OVAnyMap{});
    } else {
        return std::make_unique<Node>(2);
    }
}

void fill(AudioBuffer<float>& buffer, float amplitude, std::mt19937& random) {
    std::uniform_real_distribution<float> noise(-amplitude, amplitude);
    for (std::uint32_t c = 0; c < buffer.getNumberOfChannels(); ++c)
        for (std::uint32_t f = 0; f < buffer.getNumberOfFrames(); ++f) buffer.setSample(c, f, noise(random));
}

// Runs a second of subnormal noise through the node, so that every line holds subnormals.
// It goes in blocks of the timed shape, through the timed buffers' own sizes, so that
// priming does not evict what the timed blocks keep in cache.
void primeWithSubnormals(SingleBusAudioProcessorNode& node, AudioBuffer<float>& subnormalInput,
                         AudioBuffer<float>& output) {
    AudioBus in(subnormalInput);
    AudioBus out(output);
    for (std::uint32_t done = 0; done < sampleRate; done += subnormalInput.getNumberOfFrames()) node.process(in, out);
}

enum class Signal { Noise, DecayingTail };

template <typename Node>
void processBlocks(benchmark::State& state, Signal signal) {
    const auto channels = static_cast<std::uint32_t>(state.range(0));
    const auto frames = static_cast<std::uint32_t>(state.range(1));
    auto node = makeNode<Node>();
    std::mt19937 random(7);
    AudioBuffer<float> input(channels, frames, sampleRate);
    AudioBuffer<float> output(channels, frames, sampleRate);
    if (signal == Signal::Noise) fill(input, 1.0f, random);
    AudioBuffer<float> subnormals(channels, frames, sampleRate);
    fill(subnormals, 1e-39f, random);
    AudioBus in(input);
    AudioBus out(output);
    if (signal == Signal::DecayingTail) primeWithSubnormals(*node, subnormals, output);

    std::int64_t blocks = 0;
    for (auto _ : state) {
        node->process(in, out);
        benchmark::DoNotOptimize(output.getChannelData(0));
        benchmark::ClobberMemory();
        // Keeps the lines subnormal: silence decays them towards zero within a few seconds.
        if (signal == Signal::DecayingTail && ++blocks % (2 * sampleRate / frames + 1) == 0) {
            state.PauseTiming();
            primeWithSubnormals(*node, subnormals, output);
            state.ResumeTiming();
        }
    }
    const auto sampleChannels = static_cast<double>(state.iterations()) * frames * channels;
    // kIsRate | kInvert gives seconds per unit; counting units of 1e-9 gives nanoseconds.
    state.counters["ns_per_sample_channel"] =
        benchmark::Counter(sampleChannels * 1e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void shapes(benchmark::internal::Benchmark* benchmark) {
    benchmark->ArgNames({"channels", "frames"});
    for (int channels : {2, 1})
        for (int frames : {64, 512, 4096}) benchmark->Args({channels, frames});
}

#define ORVANE_NODE_BENCHMARKS(Node)                                                                         \
    void Node##_noise(benchmark::State& state) { processBlocks<Node>(state, Signal::Noise); }                \
    void Node##_decaying_tail(benchmark::State& state) { processBlocks<Node>(state, Signal::DecayingTail); } \
    BENCHMARK(Node##_noise)->Apply(shapes);                                                                  \
    BENCHMARK(Node##_decaying_tail)->Apply(shapes);

// The yardstick of the modulated effects: one sinf call of the C library on the angles an
// oscillator forms (a sweep over a whole cycle, as the chorus's second channel starts it).
std::vector<float> oscillatorAngles() {
    std::vector<float> angles(512);
    for (std::size_t i = 0; i < angles.size(); ++i)
        angles[i] = static_cast<float>(static_cast<double>(i) / 512.0 * 6.283185307179586 + 1.5707963267948966);
    return angles;
}

void sinf_call(benchmark::State& state) {
    const std::vector<float> angles = oscillatorAngles();
    for (auto _ : state)
        for (float angle : angles) {
            float value = std::sin(angle);
            benchmark::DoNotOptimize(value);
        }
    state.counters["ns_per_call"] = benchmark::Counter(static_cast<double>(state.iterations()) * 512 * 1e-9,
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(sinf_call);

// The floors of the modulated nodes: what their sines cost alone (the lanes' replica of sinf,
// on the same angles) and what a plain copy of their samples costs (every node starts a block
// with one). A node can cost no less than its sines per sample and channel times the first,
// plus the second.
void sine_replica(benchmark::State& state) {
    const std::vector<float> angles = oscillatorAngles();
    std::vector<float> values(angles.size());
    for (auto _ : state) {
        std::copy(angles.begin(), angles.end(), values.begin());
        audio::sineInPlace(values.data(), static_cast<unsigned int>(values.size()));
        benchmark::DoNotOptimize(values.data());
        benchmark::ClobberMemory();
    }
    state.counters["ns_per_value"] = benchmark::Counter(static_cast<double>(state.iterations()) * 512 * 1e-9,
                                                        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(sine_replica);

void plain_copy(benchmark::State& state) {
    const auto channels = static_cast<std::uint32_t>(state.range(0));
    const auto frames = static_cast<std::uint32_t>(state.range(1));
    std::mt19937 random(7);
    AudioBuffer<float> input(channels, frames, sampleRate);
    AudioBuffer<float> output(channels, frames, sampleRate);
    fill(input, 1.0f, random);
    AudioBus in(input);
    AudioBus out(output);
    for (auto _ : state) {
        out.copyFrom(in);
        benchmark::DoNotOptimize(output.getChannelData(0));
        benchmark::ClobberMemory();
    }
    state.counters["ns_per_sample_channel"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * frames * channels * 1e-9,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(plain_copy)->Apply(shapes);

ORVANE_NODE_BENCHMARKS(DelayNode)
ORVANE_NODE_BENCHMARKS(PingPongDelayNode)
ORVANE_NODE_BENCHMARKS(ChorusNode)
ORVANE_NODE_BENCHMARKS(FlangerNode)
ORVANE_NODE_BENCHMARKS(VibratoNode)

}  // namespace
