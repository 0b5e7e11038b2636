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
    LFO() = default;  // [any thread]
    LFO(const LFO&) = delete;
    LFO& operator=(const LFO&) = delete;

    float getFrequency() const noexcept { return frequency.load(); }      // [any thread]
    float getAmplitude() const noexcept { return amplitude.load(); }      // [any thread]
    float getOffset() const noexcept { return offset.load(); }            // [any thread]
    float getPhaseOffset() const noexcept { return phaseOffset.load(); }  // [any thread]
    /// Cycles per second; the phase is not touched.
    void setFrequency(float value) noexcept { frequency.store(value); }  // [any thread]
    void setAmplitude(float value) noexcept { amplitude.store(value); }  // [any thread]
    void setOffset(float value) noexcept { offset.store(value); }        // [any thread]
    /// Radians added to the running angle.
    void setPhaseOffset(float value) noexcept { phaseOffset.store(value); }  // [any thread]

    /// One step of one sample at sampleRate samples per second. A rate of 0 or below
    /// holds the phase where it is. The phase stays in [0, 1) for every frequency.
    float process(int sampleRate) noexcept;  // [audio thread]

    /// count steps at once, output i being what the i-th process() call would return with the
    /// parameters unchanged: they are loaded once per piece of maxStepsAtOnce steps. The phases
    /// run first and the sines after, so that the sines go several at a time.
    void process(int sampleRate, float* output, unsigned int count) noexcept;  // [audio thread]
    /// The same at the level whose code calls it (audio/lanes/), which names it by its Target.
    template <typename Target>
    void process(Target target, int sampleRate, float* output, unsigned int count) noexcept;  // [audio thread]

    /// Steps process(sampleRate, ...) takes at once; longer runs go in pieces of this size.
    static constexpr unsigned int maxStepsAtOnce = 256;

    /// Back to a new oscillator's phase; the parameters are kept (the cached period is the rate's).
    void restart() noexcept { phase = 0.0f; }  // [audio thread]

    /// Running position in cycles, in [0, 1).
    float getPhase() const noexcept { return phase; }  // [audio thread]

    static_assert(std::atomic<float>::is_always_lock_free);

private:
    struct Piece {  // the parameters as one piece of a block sees them
        float amplitude, offset, phaseOffset, frequency;
    };
    Piece loadPiece() const noexcept;
    void updatePeriod(int sampleRate) noexcept;
    // Fills phases with the phase before each of steps steps and steps the phase past them.
    template <typename Target>
    void runPhase(Target target, float* phases, unsigned int steps, float frequencyNow) noexcept;
    // In one binade [2^e, 2^(e+1)) every sum increment + current rounds to the same grid, so the
    // phases form a series computed exactly in double. Writes at most count phases of it, steps
    // current past them, answers how many (0 where the series does not hold: a binade's top, a
    // tie between grid points, a subnormal phase).
    template <typename Target>
    static unsigned int seriesStretch(Target target, float& current, float increment, float* phases,
                                      unsigned int count) noexcept;
    // The phase one step after current at the given frequency and sample period.
    static float nextPhase(float current, float frequencyNow, float period) noexcept;

    std::atomic<float> frequency{10.0f};
    std::atomic<float> amplitude{1.0f};
    std::atomic<float> offset{0.0f};
    std::atomic<float> phaseOffset{0.0f};
    float phase = 0.0f;
    int cachedSampleRate = 0;
    float samplePeriod = 0.0f;
};

}  // namespace orvane::audio
