#pragma once

#include <cmath>
#include <cstdint>

#include "audio/CircularBuffer.h"

// Reading a delay line at a swept position: where a modulated delay reads, and sweptSample,
// one sample through a line: the reference every path in lanes (SweptRead-inl.h) equals bit
// for bit, the line's contents included.
namespace orvane::audio {

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

/// One sample at write slot write, exactly as the effect reads: answers the output sample.
/// A Wiring says what enters the line (lineInput) and what leaves as output, each written into
/// its first argument (lanes pass vectors by reference: by value they would change the ABI of
/// the Wiring's own functions, compiled for the baseline); writesFirst puts the sample into the
/// line before the read.
template <typename Wiring>
inline float sweptSample(CircularBuffer& line, int write, float x, float sweep, float baseDelay,
                         const Wiring& wiring) noexcept {
    if constexpr (Wiring::writesFirst) wiring.lineInput(line.slots()[write], x, 0.0f);
    const float delayed = line.interpolate(sweptReadPosition(write, line.getCapacity(), sweep, baseDelay));
    if constexpr (!Wiring::writesFirst) wiring.lineInput(line.slots()[write], x, delayed);
    float output;
    wiring.output(output, x, delayed);
    return output;
}

/// Lines that consume one sweep and share a write pointer and a capacity (the vibrato's
/// channels), each with the samples it runs through in place: samples[c] for lines[c].
struct SweptLines {
    CircularBuffer* lines;  // count consecutive lines
    float* const* samples;
    std::uint32_t count;
};

}  // namespace orvane::audio
