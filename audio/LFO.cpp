#include "LFO.h"

#include <bit>
#include <cmath>
#include <cstdint>

#include "Sine.h"
#include "Subnormals.h"

#define ORVANE_PER_LEVEL_FILE "audio/lanes/Oscillator-inl.h"
#include "audio/lanes/ForEachLevel.h"

namespace orvane::audio {

namespace {

// Brings a phase that left [0, 1) back by whole cycles. A non-finite phase (a NaN or
// infinite frequency) cannot be brought back and leaves the old phase in place.
float wrapPhase(float next, float previous) noexcept {
    if (!std::isfinite(next)) return previous;
    next -= std::floor(next);
    return next < 1.0f ? next : 0.0f;  // a tiny negative phase rounds up to 1.0
}

}  // namespace

void LFO::updatePeriod(int sampleRate) noexcept {
    if (sampleRate != cachedSampleRate) {
        samplePeriod = sampleRate > 0 ? static_cast<float>(1.0 / sampleRate) : 0.0f;
        cachedSampleRate = sampleRate;
    }
}

float LFO::nextPhase(float current, float frequencyNow, float period) noexcept {
    const float next = flushed(flushed(frequencyNow * period) + current);
    if (next >= 0.0f && next < 1.0f) return next;  // nearly every step: one test
    const float once = next >= 1.0f ? next - 1.0f : next;
    return once >= 0.0f && once < 1.0f ? once : wrapPhase(once, current);
}

float LFO::process(int sampleRate) noexcept {
    updatePeriod(sampleRate);
    const Piece piece = loadPiece();
    const float current = phase;
    phase = nextPhase(current, piece.frequency, samplePeriod);
    float output;  // the portable level's shape: sinf, or WebAssembly's replica
    shapePiece(lanes::portable::Target{}, &current, &output, 1, piece.phaseOffset, piece.amplitude, piece.offset);
    return output;
}

// A store from another thread lands between pieces, as it could between single steps.
LFO::Piece LFO::loadPiece() const noexcept {
    return {flushed(amplitude.load()), flushed(offset.load()), flushed(phaseOffset.load()), flushed(frequency.load())};
}

template <typename Target>
unsigned int LFO::seriesStretch(Target target, float& current, float increment, float* phases,
                                unsigned int count) noexcept {
    // Normal phases only, and a first step that stays below the top of current's binade.
    if (!(current >= 0x1p-126f)) return 0;
    const float top = std::bit_cast<float>((std::bit_cast<std::uint32_t>(current) & 0x7f800000u) + 0x00800000u);
    const float first = increment + current;
    if (!(first < top)) return 0;
    const float step = first - current;  // exact: both lie on the binade's grid
    const double grid = static_cast<double>(top) * 0x1p-24;
    // Halfway between two grid points the rounding depends on the phase's last bit.
    if (std::fabs(static_cast<double>(increment) - static_cast<double>(step)) == grid * 0.5) return 0;
    // Every term below is a multiple of the grid under 2^33 grid points: exact in double.
    const double start = current;
    const double stride = step;
    unsigned int n = count;
    if (stride > 0.0 && (static_cast<double>(top) - start) / stride < n)
        n = static_cast<unsigned int>((static_cast<double>(top) - start) / stride);
    while (n > 0 && start + static_cast<double>(n) * stride >= static_cast<double>(top)) --n;
    fillSeries(target, phases, static_cast<int>(n), start, stride);
    current = static_cast<float>(start + static_cast<double>(n) * stride);
    return n;
}

template <typename Target>
void LFO::runPhase(Target target, float* phases, unsigned int steps, float frequencyNow) noexcept {
    const float increment = flushed(frequencyNow * samplePeriod);
    float current = phase;
    for (unsigned int i = 0; i < steps;) {
        const unsigned int stretch =
            increment >= 0.0f ? seriesStretch(target, current, increment, phases + i, steps - i) : 0u;
        i += stretch;
        if (stretch == 0) {  // a binade's end, a wrap, a tie or a frequency below 0: one plain step
            phases[i++] = current;
            current = nextPhase(current, frequencyNow, samplePeriod);
        }
    }
    phase = current;
}

template <typename Target>
void LFO::process(Target target, int sampleRate, float* output, unsigned int count) noexcept {
    updatePeriod(sampleRate);
    float phases[maxStepsAtOnce];
    for (unsigned int start = 0; start < count; start += maxStepsAtOnce) {
        const unsigned int steps = count - start < maxStepsAtOnce ? count - start : maxStepsAtOnce;
        const Piece piece = loadPiece();
        runPhase(target, phases, steps, piece.frequency);
        // Independent per step: the angles, sines and scaling go in lanes.
        shapePiece(target, phases, output + start, steps, piece.phaseOffset, piece.amplitude, piece.offset);
    }
}

void LFO::process(int sampleRate, float* output, unsigned int count) noexcept {
    lanes::inForce(ORVANE_PER_LEVEL(stepOscillator))(*this, sampleRate, output, count);
}

template void LFO::process(lanes::portable::Target, int, float*, unsigned int) noexcept;
#if defined(__x86_64__)
template void LFO::process(lanes::avx2::Target, int, float*, unsigned int) noexcept;
template void LFO::process(lanes::avx512::Target, int, float*, unsigned int) noexcept;
#endif

}  // namespace orvane::audio
