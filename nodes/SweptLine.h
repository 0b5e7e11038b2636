#pragma once

#include <algorithm>
#include <cstdint>

#include "AtomicParameter.h"
#include "DelayLineBank.h"
#include "DenormalGuard.h"
#include "EffectSupport.h"
#include "SweepOscillators.h"
#include "audio/CircularBuffer.h"
#include "audio/LFO.h"
#include "audio/SweptTaps.h"

// The delay-line pass shared by the chorus, flanger and vibrato: one channel's line read at
// swept positions, in place on that channel's samples.
namespace orvane::extensions::audioeffects {

/// Longest piece the nodes hand to runSweptLine at once: one oscillator piece.
inline constexpr std::uint32_t maxSweptRun = audio::LFO::maxStepsAtOnce;

namespace detail {

// Sample by sample, exactly as the effect reads.
template <typename Effect>
void sweptSamples(audio::CircularBuffer& line, int firstWrite, float* samples, const float* sweep, std::uint32_t count,
                  float baseDelay, const Effect effect) noexcept {
    for (std::uint32_t i = 0; i < count; ++i) {
        const int write = firstWrite + static_cast<int>(i);
        const float x = samples[i];
        if constexpr (Effect::writesFirst) line.data[write] = effect.lineInput(x, 0.0f);
        const float delayed = line.interpolate(sweptReadPosition(write, line.capacity, sweep[i], baseDelay));
        if constexpr (!Effect::writesFirst) line.data[write] = effect.lineInput(x, delayed);
        samples[i] = effect.output(x, delayed);
    }
}

#if defined(ORVANE_SWEPT_TAPS_SIMD)
// Four lanes of single-precision arithmetic for the effects' mixing formulas.
struct Float4 {
    __m128 value;
};
inline Float4 operator*(Float4 a, Float4 b) noexcept { return {_mm_mul_ps(a.value, b.value)}; }
inline Float4 operator*(Float4 a, float b) noexcept { return {_mm_mul_ps(a.value, _mm_set1_ps(b))}; }
inline Float4 operator*(float a, Float4 b) noexcept { return {_mm_mul_ps(_mm_set1_ps(a), b.value)}; }
inline Float4 operator+(Float4 a, Float4 b) noexcept { return {_mm_add_ps(a.value, b.value)}; }
#endif

// count samples whose write slots firstWrite ... firstWrite + count - 1 lie inside the ring.
// Groups of four read all four lanes before writing them, which gives the sample-by-sample
// result unless a lane reads a slot written earlier in its own group (a delay under four
// slots), its position needs fmodf or its two slots straddle the end of the ring; such
// groups, and the last few samples, go one by one.
template <typename Effect>
void sweptStraightRun(audio::CircularBuffer& line, int firstWrite, float* samples, const float* sweep,
                      std::uint32_t count, float baseDelay, const Effect effect) noexcept {
    std::uint32_t i = 0;
#if defined(ORVANE_SWEPT_TAPS_SIMD)
    float* const data = line.data;
    const int capacity = line.capacity;
    for (; i + 4 <= count; i += 4) {
        const int write = firstWrite + static_cast<int>(i);
        const auto taps = audio::simd::sweptTaps4(_mm_add_epi32(_mm_set1_epi32(write), _mm_setr_epi32(0, 1, 2, 3)),
                                                  _mm_loadu_ps(sweep + i), baseDelay, capacity);
        if (taps.inside != 0xf || audio::simd::wrapsRound(taps) ||
            audio::simd::readsWritesOfGroup(taps, write, Effect::writesFirst)) {
            sweptSamples(line, write, samples + i, sweep + i, 4, baseDelay, effect);
            continue;
        }
        const Float4 delayed{audio::simd::interpolate4(data, taps)};
        const Float4 x{_mm_loadu_ps(samples + i)};
        _mm_storeu_ps(data + write, effect.lineInput(x, delayed).value);
        _mm_storeu_ps(samples + i, effect.output(x, delayed).value);
    }
#endif
    sweptSamples(line, firstWrite + static_cast<int>(i), samples + i, sweep + i, count - i, baseDelay, effect);
}

}  // namespace detail

/// Runs count samples through line, in place. Sample i reads the line by interpolation at
/// sweptReadPosition(writePointer, capacity, sweep[i], baseDelay), the line takes
/// effect.lineInput(x, delayed) and the sample becomes effect.output(x, delayed), then the
/// write pointer steps. With Effect::writesFirst the line takes the sample before the read
/// (lineInput must not use delayed then). The result is that of going sample by sample.
template <typename Effect>
void runSweptLine(audio::CircularBuffer& line, float* samples, const float* sweep, std::uint32_t count, float baseDelay,
                  const Effect effect) noexcept {
    int writePointer = line.writePointer;
    for (std::uint32_t done = 0; done < count;) {
        // Straight runs between the points where the write pointer wraps.
        const std::uint32_t run = std::min(count - done, static_cast<std::uint32_t>(line.capacity - writePointer));
        detail::sweptStraightRun(line, writePointer, samples + done, sweep + done, run, baseDelay, effect);
        done += run;
        writePointer += static_cast<int>(run);
        if (writePointer == line.capacity) writePointer = 0;
    }
    line.writePointer = writePointer;
}

/// One block of an effect whose every channel has an oscillator and a line of its own (the
/// chorus and the flanger): copy, bypass, format tracking, then per piece of the block each
/// channel's oscillator runs ahead and its line consumes the sweep, widened by sweepWidth
/// (loaded per sample) times the sample rate. Channels without a line keep their input.
template <typename Mix>
bool processChannelSweeps(AudioBus& inputBus, AudioBus& outputBus, DelayLineBank& delayLines,
                          SweepOscillators& oscillators, const AtomicParameter<bool>& isEnabled,
                          const AtomicParameter<float>& sweepWidth, float baseDelay, const Mix mix) noexcept {
    outputBus.copyFrom(inputBus);
    if (!isEnabled.load()) return true;

    const BlockShape block = BlockShape::of(inputBus);
    delayLines.trackFormat(block.sampleRate, block.channels);
    if (block.frames == 0 || block.channels == 0) return true;

    // The output holds the input now and is processed in place.
    const DenormalGuard guard;
    AudioBuffer<float>& output = outputBus.buffer;
    const auto rate = static_cast<float>(block.sampleRate);
    const auto oscillatorRate = static_cast<int>(block.sampleRate);
    const std::uint32_t channels = delayLines.channelsWithLines(block.channels);
    float sweep[maxSweptRun];
    for (std::uint32_t start = 0; start < block.frames; start += maxSweptRun) {
        const std::uint32_t steps = std::min(block.frames - start, maxSweptRun);
        for (std::uint32_t channel = 0; channel < channels; ++channel) {
            oscillators[channel].process(oscillatorRate, sweep, steps);
            for (std::uint32_t i = 0; i < steps; ++i) sweep[i] = (sweep[i] * sweepWidth.load()) * rate;
            runSweptLine(delayLines[channel], output.getChannelData(channel) + start, sweep, steps, baseDelay, mix);
        }
    }
    return true;
}

}  // namespace orvane::extensions::audioeffects
