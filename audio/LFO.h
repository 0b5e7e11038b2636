#pragma once

#include <atomic>

namespace orvane::audio {

/// Sine low-frequency oscillator, stepped once per sample:
/// returns offset + amplitude * sin(2 pi phase + phaseOffset) for the phase before the step.
///
/// The four parameters are atomics that any thread may set while the audio thread steps
/// the oscillator; the running phase belongs to the thread that calls process().
class LFO {
public:
    LFO() = default;
    LFO(const LFO&) = delete;
    LFO& operator=(const LFO&) = delete;

    float getFrequency() const noexcept { return frequency.load(); }
    float getAmplitude() const noexcept { return amplitude.load(); }
    float getOffset() const noexcept { return offset.load(); }
    float getPhaseOffset() const noexcept { return phaseOffset.load(); }
    /// Cycles per second; the phase is not touched.
    void setFrequency(float value) noexcept { frequency.store(value); }
    void setAmplitude(float value) noexcept { amplitude.store(value); }
    void setOffset(float value) noexcept { offset.store(value); }
    /// Radians added to the running angle.
    void setPhaseOffset(float value) noexcept { phaseOffset.store(value); }

    /// One step of one sample at sampleRate samples per second. A rate of 0 or below
    /// holds the phase where it is. The phase stays in [0, 1) for every frequency.
    float process(int sampleRate) noexcept;

    /// count steps at once, output i being what the i-th process() call would return. The
    /// phase runs first and the sines after, so that the sinf calls do not wait on each other.
    void process(int sampleRate, float* output, unsigned int count) noexcept;

    /// Steps process(sampleRate, ...) takes at once; longer runs go in pieces of this size.
    static constexpr unsigned int maxStepsAtOnce = 256;

    /// Running position in cycles, in [0, 1).
    float getPhase() const noexcept { return phase; }

    static_assert(std::atomic<float>::is_always_lock_free);

private:
    void updatePeriod(int sampleRate) noexcept;
    // The phase one step after current at the given frequency and sample period.
    static float nextPhase(float current, float frequencyNow, float period) noexcept;
    // 2 pi phase + phaseOffset, formed in double and rounded once.
    static float angleOf(float phaseNow, float phaseOffsetNow) noexcept {
        return static_cast<float>(static_cast<double>(phaseNow) * 6.283185307179586 +
                                  static_cast<double>(phaseOffsetNow));
    }

    std::atomic<float> frequency{10.0f};
    std::atomic<float> amplitude{1.0f};
    std::atomic<float> offset{0.0f};
    std::atomic<float> phaseOffset{0.0f};
    float phase = 0.0f;
    int cachedSampleRate = 0;
    float samplePeriod = 0.0f;
};

}  // namespace orvane::audio
