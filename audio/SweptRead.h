#pragma once

#include <cmath>
#include <cstdint>

#include "audio/CircularBuffer.h"
#include "audio/LFO.h"
#include "audio/Subnormals.h"
#include "host/AudioBuffer.h"

// A delay line read at a swept position: the effects that do it, sweptSample (one sample, the
// reference every lane path equals bit for bit, the line's contents included) and sweptPass,
// the door to a piece of a block: the oscillator, the sweep and the line pass. To change how
// the swept line reads, open audio/lanes/SweptRead-inl.h.
namespace orvane::audio {

/// How an effect wires its line around the delayed sample d: a closed set, each one's two
/// formulas below.
enum class Topology {
    chorus,   // the line takes x; out = d * wetMix + x
    flanger,  // the line takes feedbackLevel * d + x; out = d * wetMix + x
    vibrato,  // the line takes x before the read; out = d
};

/// An effect as its swept line sees it.
struct SweptEffect {
    Topology topology;
    float baseDelay;  // slots behind the write slot at no sweep
    float wetMix = 0.0f;
    float feedbackLevel = 0.0f;
};

/// Whether the sample enters the line before the read; otherwise what enters depends on it.
constexpr bool writesFirst(Topology topology) { return topology == Topology::vibrato; }

/// What enters the line, written into its first argument (lanes pass vectors by reference: by
/// value they would change the ABI of these functions, compiled for the baseline).
template <Topology topology, typename T>
inline void lineInput(T& into, const T& x, const T& delayed, const SweptEffect& effect) noexcept {
    if constexpr (topology == Topology::flanger) {
        T product = effect.feedbackLevel * delayed;
        flush(product);
        into = product + x;
        flush(into);
    } else {
        into = x;
    }
}

/// What leaves as output.
template <Topology topology, typename T>
inline void output(T& into, const T& x, const T& delayed, const SweptEffect& effect) noexcept {
    if constexpr (topology == Topology::vibrato) {
        into = delayed;
    } else {
        T product = delayed * effect.wetMix;
        flush(product);
        into = product + x;
        flush(into);
    }
}

/// The fractional slot a modulated delay reads: baseDelay + sweep slots behind the write
/// pointer, reduced into (-capacity, capacity) as fmodf does, all in single precision.
/// A sweep that makes the position non-finite counts as no sweep.
inline float sweptReadPosition(int writePointer, int capacity, float sweep, float baseDelay) noexcept {
    const auto size = static_cast<float>(capacity);
    const float position = ((static_cast<float>(writePointer) - sweep) - baseDelay) + size;
    if (position >= 0.0f && position < size) return position;                // fmodf leaves it as it is
    if (position >= size && position < size + size) return position - size;  // exact (Sterbenz)
    if (std::isfinite(position)) return std::fmod(position, size);
    return std::fmod((static_cast<float>(writePointer) - baseDelay) + size, size);  // no sweep
}

/// One sample x through the line at write slot write, exactly as the effect reads: answers
/// the output sample.
template <Topology topology>
inline float sweptSample(CircularBuffer& line, int write, float x, float sweep, const SweptEffect& effect) noexcept {
    float& slot = line.slots()[write];
    if constexpr (writesFirst(topology)) lineInput<topology>(slot, x, 0.0f, effect);
    const float delayed = line.interpolate(sweptReadPosition(write, line.getCapacity(), sweep, effect.baseDelay));
    if constexpr (!writesFirst(topology)) lineInput<topology>(slot, x, delayed, effect);
    float out;
    output<topology>(out, x, delayed, effect);
    return out;
}

/// Longest piece a pass takes: one oscillator piece.
inline constexpr std::uint32_t maxSweptPiece = LFO::maxStepsAtOnce;

/// Frames start ... start + steps - 1 of a block, run in place.
struct SweptPiece {
    AudioBuffer<float>& block;
    std::uint32_t start, steps;  // steps at most maxSweptPiece
    std::uint32_t sampleRate;
    float width;  // the sweep width in seconds
};

/// count lines that consume one sweep: lines[i] runs through channel firstChannel + i.
struct LineSet {
    CircularBuffer* lines;
    std::uint32_t firstChannel, count;
};

/// One piece: steps of the oscillator, each output lfo widened into a sweep of
/// (lfo * width) * sampleRate slots, which every line of the set reads as sweptSample does,
/// stepping its write pointer past the piece. Without lines, the oscillator alone steps.
using SweptPass = void(const SweptEffect& effect, LFO& oscillator, const LineSet& set,
                       const SweptPiece& piece) noexcept;  // [audio thread]

/// The pass of a topology at the processor level in force.
SweptPass* sweptPass(Topology topology) noexcept;  // [any thread]

}  // namespace orvane::audio
