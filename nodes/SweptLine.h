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
#include "audio/Processor.h"
#include "audio/SweptRead.h"

// The delay-line pass of the chorus, flanger and vibrato: a channel's line read at swept
// positions, in place on that channel's samples (the vibrato's lines, which share one sweep,
// side by side). A Mix says what enters the line and what leaves as output; writesFirst puts
// the sample into the line before the read.
namespace orvane::extensions::audioeffects {

/// Longest piece the nodes hand to runSweptLine at once: one oscillator piece.
inline constexpr std::uint32_t maxSweptRun = audio::LFO::maxStepsAtOnce;

#if defined(ORVANE_SWEPT_READ_SIMD)
// Four lanes of single-precision arithmetic, so that one Mix formula serves both paths.
struct Float4 {
    __m128 value;
};
inline Float4 operator*(Float4 a, float b) noexcept { return {_mm_mul_ps(a.value, _mm_set1_ps(b))}; }
inline Float4 operator*(float a, Float4 b) noexcept { return {_mm_mul_ps(_mm_set1_ps(a), b.value)}; }
inline Float4 operator+(Float4 a, Float4 b) noexcept { return {_mm_add_ps(a.value, b.value)}; }
#endif

/// One sample at write slot write, exactly as the effect reads: answers the output sample.
template <typename Mix>
inline float sweptSample(audio::CircularBuffer& line, int write, float x, float sweep, float baseDelay,
                         const Mix& mix) noexcept {
    if constexpr (Mix::writesFirst) line.data[write] = mix.lineInput(x, 0.0f);
    const float delayed = line.interpolate(audio::sweptReadPosition(write, line.capacity, sweep, baseDelay));
    if constexpr (!Mix::writesFirst) line.data[write] = mix.lineInput(x, delayed);
    return mix.output(x, delayed);
}

#if defined(ORVANE_SWEPT_READ_SIMD)
/// Four samples whose write slots write ... write + 3 lie inside the ring. All four lanes are
/// read before any is written, or, where a lane would read what an earlier one writes, in two
/// pairs; either gives the sample-by-sample result. Where pairs would not either, or a lane
/// needs fmodf (far outside the ring), is not finite or reads across the end of the ring, the
/// group goes one sample at a time.
template <typename Mix>
inline void sweptGroup4(audio::CircularBuffer& line, int write, float* samples, const float* sweep, float baseDelay,
                        const Mix& mix) noexcept {
    const auto taps = audio::simd::sweptTaps4(_mm_add_epi32(_mm_set1_epi32(write), _mm_setr_epi32(0, 1, 2, 3)),
                                              _mm_loadu_ps(sweep), baseDelay, line.capacity);
    const bool straight = taps.inside == 0xf && !audio::simd::wrapsRound(taps);
    const Float4 x{_mm_loadu_ps(samples)};
    float* const slots = line.data + write;
    if (straight && !audio::simd::readsWritesOfGroup(taps, write, Mix::writesFirst)) {
        const Float4 delayed{audio::simd::interpolate4(line.data, taps)};
        _mm_storeu_ps(slots, mix.lineInput(x, delayed).value);
        _mm_storeu_ps(samples, mix.output(x, delayed).value);
    } else if (straight && !audio::simd::readsWritesOfGroup(taps, write, Mix::writesFirst, true)) {
        // Lanes 0 and 1 of the first read, lanes 2 and 3 of a second, made after 0 and 1 wrote.
        const Float4 first{audio::simd::interpolate4(line.data, taps)};
        _mm_storel_pi(reinterpret_cast<__m64*>(slots), mix.lineInput(x, first).value);
        const Float4 second{audio::simd::interpolate4(line.data, taps)};
        _mm_storeh_pi(reinterpret_cast<__m64*>(slots + 2), mix.lineInput(x, second).value);
        const Float4 delayed{_mm_shuffle_ps(first.value, second.value, _MM_SHUFFLE(3, 2, 1, 0))};
        _mm_storeu_ps(samples, mix.output(x, delayed).value);
    } else {
        for (int k = 0; k < 4; ++k) samples[k] = sweptSample(line, write + k, samples[k], sweep[k], baseDelay, mix);
    }
}

#endif

/// Lines that consume one sweep and share a write pointer and a capacity (the vibrato's
/// channels), each with the samples it runs through in place: samples[c] for lines[c].
struct SweptLines {
    audio::CircularBuffer* lines;  // count consecutive lines
    float* const* samples;
    std::uint32_t count;
};

#if defined(ORVANE_SWEPT_READ_SIMD)
/// Groups of eight samples inside the ring, in AVX2, for every line of the set at samples
/// offset ...; answers how many samples it did. The read positions are computed once for all
/// lines. A group writes the line before reading it when the sample enters the line before
/// the read. A group whose sweeps leave EightLaneBounds, or that reads across the end of the
/// ring, goes as two groups of four.
template <typename Mix>
[[gnu::target("avx2")]] std::uint32_t sweptGroups8(const SweptLines& set, std::uint32_t offset, int firstWrite,
                                                   const float* sweep, std::uint32_t count, float baseDelay,
                                                   const Mix& mix) noexcept {
    const int capacity = set.lines[0].capacity;
    const audio::simd::EightLaneBounds bounds(capacity, baseDelay, Mix::writesFirst);
    if (!bounds.apply) return 0;
    std::uint32_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const int write = firstWrite + static_cast<int>(i);
        const auto taps = audio::simd::sweptTaps8(write, _mm256_loadu_ps(sweep + i), baseDelay, capacity, bounds);
        for (std::uint32_t c = 0; c < set.count; ++c) {
            audio::CircularBuffer& line = set.lines[c];
            float* const samples = set.samples[c] + offset + i;
            if (!taps.usable) {
                sweptGroup4(line, write, samples, sweep + i, baseDelay, mix);
                sweptGroup4(line, write + 4, samples + 4, sweep + i + 4, baseDelay, mix);
                continue;
            }
            const Float4 x[2] = {{_mm_loadu_ps(samples)}, {_mm_loadu_ps(samples + 4)}};
            if constexpr (Mix::writesFirst)  // what enters the line does not depend on the read
                for (int half = 0; half < 2; ++half)
                    _mm_storeu_ps(line.data + write + 4 * half, mix.lineInput(x[half], x[half]).value);
            __m128 low, high;
            audio::simd::interpolate8(line.data, taps, low, high);
            const Float4 delayed[2] = {{low}, {high}};
            for (int half = 0; half < 2; ++half) {
                if constexpr (!Mix::writesFirst)
                    _mm_storeu_ps(line.data + write + 4 * half, mix.lineInput(x[half], delayed[half]).value);
                _mm_storeu_ps(samples + 4 * half, mix.output(x[half], delayed[half]).value);
            }
        }
    }
    return i;
}
#endif

/// count samples of every line of the set, at samples offset ..., whose write slots
/// firstWrite ... firstWrite + count - 1 lie inside the ring: in groups where the processor
/// and the delays allow, the rest one by one.
template <typename Mix>
void sweptStraightRun(const SweptLines& set, std::uint32_t offset, int firstWrite, const float* sweep,
                      std::uint32_t count, float baseDelay, const Mix& mix) noexcept {
    std::uint32_t grouped = 0;
#if defined(ORVANE_SWEPT_READ_SIMD)
    if (audio::processorHasAvx2()) grouped = sweptGroups8(set, offset, firstWrite, sweep, count, baseDelay, mix);
#endif
    for (std::uint32_t c = 0; c < set.count; ++c) {
        audio::CircularBuffer& line = set.lines[c];
        float* const samples = set.samples[c] + offset;
        std::uint32_t i = grouped;
#if defined(ORVANE_SWEPT_READ_SIMD)
        for (; i + 4 <= count; i += 4)
            sweptGroup4(line, firstWrite + static_cast<int>(i), samples + i, sweep + i, baseDelay, mix);
#endif
        for (; i < count; ++i)
            samples[i] = sweptSample(line, firstWrite + static_cast<int>(i), samples[i], sweep[i], baseDelay, mix);
    }
}

/// Runs count samples of every line of the set through it, in place, and steps the shared
/// write pointer past them. Sample i reads at sweptReadPosition(writePointer, capacity,
/// sweep[i], baseDelay).
template <typename Mix>
void runSweptLines(const SweptLines& set, const float* sweep, std::uint32_t count, float baseDelay,
                   const Mix& mix) noexcept {
    const int capacity = set.lines[0].capacity;
    int writePointer = set.lines[0].writePointer;
    for (std::uint32_t done = 0; done < count;) {
        // Straight runs between the points where the write pointer wraps.
        const std::uint32_t run = std::min(count - done, static_cast<std::uint32_t>(capacity - writePointer));
        sweptStraightRun(set, done, writePointer, sweep + done, run, baseDelay, mix);
        done += run;
        writePointer += static_cast<int>(run);
        if (writePointer == capacity) writePointer = 0;
    }
    for (std::uint32_t c = 0; c < set.count; ++c) set.lines[c].writePointer = writePointer;
}

/// runSweptLines for one line.
template <typename Mix>
void runSweptLine(audio::CircularBuffer& line, float* samples, const float* sweep, std::uint32_t count, float baseDelay,
                  const Mix& mix) noexcept {
    float* const channel[1] = {samples};
    runSweptLines(SweptLines{&line, channel, 1}, sweep, count, baseDelay, mix);
}

/// Every channel's line (lines[c] for channel c) consumes the same sweep (the vibrato): count
/// samples from start of each of the first channels of output. Lines that share a write pointer (all of them,
/// while every channel is processed in every block) go together, up to eight at once.
template <typename Mix>
void runSharedSweep(audio::CircularBuffer* lines, std::uint32_t channels, AudioBuffer<float>& output,
                    std::uint32_t start, const float* sweep, std::uint32_t count, float baseDelay,
                    const Mix& mix) noexcept {
    constexpr std::uint32_t maxTogether = 8;
    float* samples[maxTogether];
    for (std::uint32_t first = 0; first < channels;) {
        std::uint32_t together = 0;
        for (; together < maxTogether && first + together < channels; ++together) {
            const audio::CircularBuffer& line = lines[first + together];
            if (line.writePointer != lines[first].writePointer || line.capacity != lines[first].capacity) break;
            samples[together] = output.getChannelData(first + together) + start;
        }
        runSweptLines(SweptLines{lines + first, samples, together}, sweep, count, baseDelay, mix);
        first += together;
    }
}

/// sweep[i] = (lfo[i] * width) * rate: the oscillator's output widened into slots.
inline void widenSweep(float* sweep, std::uint32_t count, float width, float rate) noexcept {
    for (std::uint32_t i = 0; i < count; ++i) sweep[i] = (sweep[i] * width) * rate;
}

/// One block of an effect whose every channel has an oscillator and a line of its own (the
/// chorus and the flanger): copy, bypass, format tracking, then per piece of the block each
/// channel's oscillator runs ahead and its line consumes the sweep. Channels without a line
/// keep their input.
template <typename Mix>
bool processChannelSweeps(AudioBus& inputBus, AudioBus& outputBus, DelayLineBank& delayLines,
                          SweepOscillators& oscillators, const AtomicParameter<bool>& isEnabled,
                          const AtomicParameter<float>& sweepWidth, float baseDelay, const Mix& mix) noexcept {
    outputBus.copyFrom(inputBus);
    if (!isEnabled.load()) return true;

    const BlockShape block = BlockShape::of(inputBus);
    delayLines.trackFormat(block.sampleRate, block.channels);
    if (block.frames == 0 || block.channels == 0) return true;

    // The output holds the input now and is processed in place.
    const DenormalGuard guard;
    AudioBuffer<float>& output = outputBus.buffer;
    const auto rate = static_cast<float>(block.sampleRate);
    const float width = sweepWidth.load();
    const std::uint32_t channels = delayLines.channelsWithLines(block.channels);
    const auto oscillatorRate = static_cast<int>(block.sampleRate);
    float sweep[maxSweptRun];
    for (std::uint32_t start = 0; start < block.frames; start += maxSweptRun) {
        const std::uint32_t steps = std::min(block.frames - start, maxSweptRun);
        for (std::uint32_t channel = 0; channel < channels; ++channel) {
            oscillators[channel].process(oscillatorRate, sweep, steps);
            widenSweep(sweep, steps, width, rate);
            runSweptLine(delayLines[channel], output.getChannelData(channel) + start, sweep, steps, baseDelay, mix);
        }
    }
    return true;
}

}  // namespace orvane::extensions::audioeffects
