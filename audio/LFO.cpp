#include "LFO.h"

#include <cmath>

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

float LFO::advance() noexcept {
    const float current = phase;
    const float currentPhaseOffset = phaseOffset.load();
    float next = frequency.load() * samplePeriod + current;
    if (next >= 1.0f) next -= 1.0f;
    if (!(next >= 0.0f && next < 1.0f)) next = wrapPhase(next, current);
    phase = next;
    return static_cast<float>(static_cast<double>(current) * 6.283185307179586 +
                              static_cast<double>(currentPhaseOffset));
}

float LFO::process(int sampleRate) noexcept {
    updatePeriod(sampleRate);
    const float currentAmplitude = amplitude.load();
    const float currentOffset = offset.load();
    const float angle = advance();
    return std::sin(angle) * currentAmplitude + currentOffset;
}

void LFO::process(int sampleRate, float* output, unsigned int count) noexcept {
    updatePeriod(sampleRate);
    float amplitudes[maxStepsAtOnce];
    float offsets[maxStepsAtOnce];
    for (unsigned int start = 0; start < count; start += maxStepsAtOnce) {
        const unsigned int steps = count - start < maxStepsAtOnce ? count - start : maxStepsAtOnce;
        float* angles = output + start;
        for (unsigned int i = 0; i < steps; ++i) {
            amplitudes[i] = amplitude.load();
            offsets[i] = offset.load();
            angles[i] = advance();
        }
        for (unsigned int i = 0; i < steps; ++i) angles[i] = std::sin(angles[i]) * amplitudes[i] + offsets[i];
    }
}

}  // namespace orvane::audio
