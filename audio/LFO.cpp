#include "LFO.h"

#include <cmath>

#include "Sine.h"

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
    const float next = frequencyNow * period + current;
    if (next >= 0.0f && next < 1.0f) return next;  // nearly every step: one test
    const float once = next >= 1.0f ? next - 1.0f : next;
    return once >= 0.0f && once < 1.0f ? once : wrapPhase(once, current);
}

float LFO::process(int sampleRate) noexcept {
    updatePeriod(sampleRate);
    const float currentAmplitude = amplitude.load();
    const float currentOffset = offset.load();
    const float current = phase;
    const float currentPhaseOffset = phaseOffset.load();
    phase = nextPhase(current, frequency.load(), samplePeriod);
    return std::sin(angleOf(current, currentPhaseOffset)) * currentAmplitude + currentOffset;
}

// A store from another thread lands between pieces, as it could between single steps.
LFO::Piece LFO::loadPiece() const noexcept {
    return {amplitude.load(), offset.load(), phaseOffset.load(), frequency.load()};
}

// Independent per step: the angles, sines and scaling go four at a time.
void LFO::shape(const float* phases, float* out, unsigned int steps, const Piece& piece) noexcept {
    for (unsigned int i = 0; i < steps; ++i) out[i] = angleOf(phases[i], piece.phaseOffset);
    sineInPlace(out, steps);
    for (unsigned int i = 0; i < steps; ++i) out[i] = out[i] * piece.amplitude + piece.offset;
}

void LFO::process(int sampleRate, float* output, unsigned int count) noexcept {
    updatePeriod(sampleRate);
    float phases[maxStepsAtOnce];
    for (unsigned int start = 0; start < count; start += maxStepsAtOnce) {
        const unsigned int steps = count - start < maxStepsAtOnce ? count - start : maxStepsAtOnce;
        const Piece piece = loadPiece();
        float current = phase;  // only the phase recurrence is sequential
        for (unsigned int i = 0; i < steps; ++i) {
            phases[i] = current;
            current = nextPhase(current, piece.frequency, samplePeriod);
        }
        phase = current;
        shape(phases, output + start, steps, piece);
    }
}

void LFO::process(LFO& first, LFO& second, int sampleRate, float* firstOutput, float* secondOutput,
                  unsigned int count) noexcept {
    first.updatePeriod(sampleRate);
    second.updatePeriod(sampleRate);
    float firstPhases[maxStepsAtOnce];
    float secondPhases[maxStepsAtOnce];
    for (unsigned int start = 0; start < count; start += maxStepsAtOnce) {
        const unsigned int steps = count - start < maxStepsAtOnce ? count - start : maxStepsAtOnce;
        const Piece firstPiece = first.loadPiece();
        const Piece secondPiece = second.loadPiece();
        // Two independent recurrences side by side: neither waits on the other's additions.
        float firstPhase = first.phase;
        float secondPhase = second.phase;
        for (unsigned int i = 0; i < steps; ++i) {
            firstPhases[i] = firstPhase;
            secondPhases[i] = secondPhase;
            firstPhase = nextPhase(firstPhase, firstPiece.frequency, first.samplePeriod);
            secondPhase = nextPhase(secondPhase, secondPiece.frequency, second.samplePeriod);
        }
        first.phase = firstPhase;
        second.phase = secondPhase;
        first.shape(firstPhases, firstOutput + start, steps, firstPiece);
        second.shape(secondPhases, secondOutput + start, steps, secondPiece);
    }
}

}  // namespace orvane::audio
