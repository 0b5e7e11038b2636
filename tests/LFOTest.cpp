// The sweep oscillator: exact outputs and phase steps, parameter changes between steps,
// sample-rate changes, and the phase staying in [0, 1) for any frequency or rate.

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <thread>
#include <vector>

#include "audio/LFO.h"

namespace orvane::audio {
namespace {

constexpr double twoPi = 6.283185307179586;

// The plain oscillator step, written out on its own: the period is 1/rate divided in double
// and rounded to float when the rate changes; next = frequency * period + phase in float;
// one 1.0 is taken off when next reaches 1.0; the output belongs to the phase before the
// step, with the angle formed in double and rounded once.
struct ReferenceLFO {
    float frequency = 10.0f;
    float amplitude = 1.0f;
    float offset = 0.0f;
    float phaseOffset = 0.0f;
    float phase = 0.0f;
    int cachedSampleRate = 0;
    float samplePeriod = 0.0f;

    float process(int sampleRate) {
        if (sampleRate != cachedSampleRate) {
            samplePeriod = static_cast<float>(1.0 / sampleRate);
            cachedSampleRate = sampleRate;
        }
        const float currentAmplitude = amplitude;
        const float currentOffset = offset;
        const float current = phase;
        const float currentPhaseOffset = phaseOffset;
        const float next = frequency * samplePeriod + current;
        phase = (next < 1.0f || std::isnan(next)) ? next : next - 1.0f;
        const auto angle =
            static_cast<float>(static_cast<double>(current) * twoPi + static_cast<double>(currentPhaseOffset));
        return std::sin(angle) * currentAmplitude + currentOffset;
    }
};

// The output the oscillator owes for a given phase before the step.
float outputAt(float phase, const LFO& lfo) {
    const auto angle =
        static_cast<float>(static_cast<double>(phase) * twoPi + static_cast<double>(lfo.getPhaseOffset()));
    return std::sin(angle) * lfo.getAmplitude() + lfo.getOffset();
}

bool inUnitRange(float phase) { return phase >= 0.0f && phase < 1.0f; }

TEST(LFOTest, DefaultsAndUnclampedParameters) {
    LFO lfo;
    EXPECT_EQ(lfo.getFrequency(), 10.0f);
    EXPECT_EQ(lfo.getAmplitude(), 1.0f);
    EXPECT_EQ(lfo.getOffset(), 0.0f);
    EXPECT_EQ(lfo.getPhaseOffset(), 0.0f);
    EXPECT_EQ(lfo.getPhase(), 0.0f);

    lfo.setFrequency(-123.5f);
    lfo.setAmplitude(1e30f);
    lfo.setOffset(-7.25f);
    lfo.setPhaseOffset(100.0f);
    EXPECT_EQ(lfo.getFrequency(), -123.5f);
    EXPECT_EQ(lfo.getAmplitude(), 1e30f);
    EXPECT_EQ(lfo.getOffset(), -7.25f);
    EXPECT_EQ(lfo.getPhaseOffset(), 100.0f);
    EXPECT_EQ(lfo.getPhase(), 0.0f);  // setters never touch the phase
}

TEST(LFOTest, FirstStepFromFreshState) {
    LFO lfo;
    EXPECT_EQ(lfo.process(48000), 0.0f);
    EXPECT_EQ(lfo.getPhase(), 10.0f * static_cast<float>(1.0 / 48000));
    const float phase = lfo.getPhase();
    EXPECT_EQ(lfo.process(48000), outputAt(phase, lfo));
    EXPECT_EQ(lfo.getPhase(), 10.0f * static_cast<float>(1.0 / 48000) + phase);
}

TEST(LFOTest, SweepSettingRunsOverZeroToOne) {
    LFO lfo;
    lfo.setAmplitude(0.5f);
    lfo.setOffset(0.5f);
    EXPECT_EQ(lfo.process(48000), 0.5f);
    float lowest = 1.0f;
    float highest = 0.0f;
    for (int n = 0; n < 48000; ++n) {
        const float value = lfo.process(48000);
        lowest = std::min(lowest, value);
        highest = std::max(highest, value);
        ASSERT_GE(value, 0.0f) << n;
        ASSERT_LE(value, 1.0f) << n;
    }
    // Ten cycles went by, so both ends were nearly reached.
    EXPECT_LT(lowest, 1e-6f);
    EXPECT_GT(highest, 1.0f - 1e-6f);
}

TEST(LFOTest, QuarterCyclePhaseOffsetStartsAtThePeak) {
    const auto quarter = static_cast<float>(1.5707963267948966);
    ASSERT_EQ(std::sin(quarter), 1.0f);
    LFO lfo;
    lfo.setAmplitude(0.5f);
    lfo.setOffset(0.5f);
    lfo.setPhaseOffset(quarter);
    EXPECT_EQ(lfo.process(48000), 1.0f);

    LFO plain;
    plain.setPhaseOffset(quarter);
    EXPECT_EQ(plain.process(44100), 1.0f);
    plain.setOffset(2.0f);
    plain.setAmplitude(3.0f);
    plain.setFrequency(0.0f);
    const float phase = plain.getPhase();
    EXPECT_EQ(plain.process(44100), outputAt(phase, plain));
}

TEST(LFOTest, PhaseReachingOneWrapsToZero) {
    LFO lfo;
    lfo.setFrequency(48000.0f);
    lfo.process(48000);
    EXPECT_EQ(48000.0f * static_cast<float>(1.0 / 48000), 1.0f);
    EXPECT_EQ(lfo.getPhase(), 0.0f);
    for (int n = 0; n < 10; ++n) {
        EXPECT_EQ(lfo.process(48000), 0.0f);
        EXPECT_EQ(lfo.getPhase(), 0.0f);
    }

    // Half the rate: the phase alternates between 0.5 and 0.0.
    LFO half;
    half.setFrequency(24000.0f);
    half.process(48000);
    EXPECT_EQ(half.getPhase(), 0.5f);
    half.process(48000);
    EXPECT_EQ(half.getPhase(), 0.0f);
}

TEST(LFOTest, ZeroFrequencyHoldsThePhase) {
    LFO lfo;
    for (int n = 0; n < 1234; ++n) lfo.process(48000);
    const float phase = lfo.getPhase();
    ASSERT_GT(phase, 0.0f);
    lfo.setFrequency(0.0f);
    const float first = lfo.process(48000);
    EXPECT_EQ(first, outputAt(phase, lfo));
    for (int n = 0; n < 1000; ++n) {
        ASSERT_EQ(lfo.process(48000), first);
        ASSERT_EQ(lfo.getPhase(), phase);
    }
}

TEST(LFOTest, RateChangeKeepsPhaseAndAppliesNewPeriod) {
    LFO lfo;
    lfo.setFrequency(3.0f);
    for (int n = 0; n < 500; ++n) lfo.process(48000);
    float phase = lfo.getPhase();

    EXPECT_EQ(lfo.process(44100), outputAt(phase, lfo));
    EXPECT_EQ(lfo.getPhase(), 3.0f * static_cast<float>(1.0 / 44100) + phase);
    phase = lfo.getPhase();
    lfo.process(44100);
    EXPECT_EQ(lfo.getPhase(), 3.0f * static_cast<float>(1.0 / 44100) + phase);

    phase = lfo.getPhase();
    lfo.process(8000);
    EXPECT_EQ(lfo.getPhase(), 3.0f * static_cast<float>(1.0 / 8000) + phase);
    phase = lfo.getPhase();
    lfo.process(48000);
    EXPECT_EQ(lfo.getPhase(), 3.0f * static_cast<float>(1.0 / 48000) + phase);
}

TEST(LFOTest, ParameterChangesShowAtTheRightStep) {
    // Two oscillators in lockstep; one gets a change between steps.
    LFO changed;
    LFO unchanged;
    for (LFO* lfo : {&changed, &unchanged}) {
        lfo->setFrequency(7.0f);
        for (int n = 0; n < 300; ++n) lfo->process(48000);
    }
    ASSERT_EQ(changed.getPhase(), unchanged.getPhase());

    // Amplitude, offset and phase offset show in the very next output.
    changed.setAmplitude(0.25f);
    float phase = changed.getPhase();
    float value = changed.process(48000);
    EXPECT_EQ(value, std::sin(static_cast<float>(static_cast<double>(phase) * twoPi)) * 0.25f);
    EXPECT_NE(value, unchanged.process(48000));
    EXPECT_EQ(changed.getPhase(), unchanged.getPhase());

    changed.setOffset(0.125f);
    phase = changed.getPhase();
    value = changed.process(48000);
    EXPECT_EQ(value, std::sin(static_cast<float>(static_cast<double>(phase) * twoPi)) * 0.25f + 0.125f);
    unchanged.process(48000);
    EXPECT_EQ(changed.getPhase(), unchanged.getPhase());

    changed.setPhaseOffset(0.5f);
    phase = changed.getPhase();
    value = changed.process(48000);
    EXPECT_EQ(value, std::sin(static_cast<float>(static_cast<double>(phase) * twoPi + 0.5)) * 0.25f + 0.125f);
    unchanged.process(48000);
    EXPECT_EQ(changed.getPhase(), unchanged.getPhase());

    // A new frequency first moves the phase, so it shows one output later.
    LFO faster;
    LFO steady;
    for (LFO* lfo : {&faster, &steady}) {
        lfo->setFrequency(7.0f);
        for (int n = 0; n < 300; ++n) lfo->process(48000);
    }
    faster.setFrequency(700.0f);
    EXPECT_EQ(faster.process(48000), steady.process(48000));
    EXPECT_NE(faster.getPhase(), steady.getPhase());
    EXPECT_NE(faster.process(48000), steady.process(48000));
}

TEST(LFOTest, MatchesThePlainStepBitForBit) {
    const std::vector<int> rates = {48000, 44100, 96000, 8000, 22050, 1};
    for (int rate : rates) {
        const std::vector<float> frequencies = {0.0f,
                                                0.2f,
                                                0.4f,
                                                4.0f,
                                                10.0f,
                                                440.0f,
                                                static_cast<float>(rate) * 0.25f,
                                                static_cast<float>(rate) * 0.5f,
                                                static_cast<float>(rate) * 0.999f,
                                                static_cast<float>(rate)};
        for (float frequency : frequencies) {
            if (frequency > static_cast<float>(rate)) continue;
            LFO lfo;
            ReferenceLFO reference;
            lfo.setFrequency(frequency);
            lfo.setAmplitude(0.5f);
            lfo.setOffset(0.5f);
            lfo.setPhaseOffset(0.3f);
            reference.frequency = frequency;
            reference.amplitude = 0.5f;
            reference.offset = 0.5f;
            reference.phaseOffset = 0.3f;
            for (int n = 0; n < 30000; ++n) {
                ASSERT_EQ(lfo.process(rate), reference.process(rate))
                    << "rate " << rate << " frequency " << frequency << " step " << n;
                ASSERT_EQ(lfo.getPhase(), reference.phase)
                    << "rate " << rate << " frequency " << frequency << " step " << n;
            }
        }
    }

    // Rates and frequencies changing along the way.
    LFO lfo;
    ReferenceLFO reference;
    const int schedule[] = {48000, 44100, 44100, 96000, 8000, 48000};
    for (int n = 0; n < 200000; ++n) {
        const int rate = schedule[(n / 997) % 6];
        if (n % 1499 == 0) {
            const float frequency = static_cast<float>((n / 1499) % 13) * 0.37f;
            lfo.setFrequency(frequency);
            reference.frequency = frequency;
        }
        ASSERT_EQ(lfo.process(rate), reference.process(rate)) << n;
        ASSERT_EQ(lfo.getPhase(), reference.phase) << n;
    }
}

TEST(LFOTest, ZeroOrNegativeRateHoldsThePhase) {
    LFO fresh;
    for (int n = 0; n < 10; ++n) {
        EXPECT_EQ(fresh.process(0), 0.0f);
        EXPECT_EQ(fresh.getPhase(), 0.0f);
    }

    LFO lfo;
    for (int n = 0; n < 777; ++n) lfo.process(48000);
    const float phase = lfo.getPhase();
    ASSERT_GT(phase, 0.0f);
    for (int rate : {0, -1, -48000, std::numeric_limits<int>::min()}) {
        for (int n = 0; n < 100; ++n) {
            const float value = lfo.process(rate);
            ASSERT_TRUE(std::isfinite(value)) << rate;
            ASSERT_EQ(value, outputAt(phase, lfo)) << rate;
            ASSERT_EQ(lfo.getPhase(), phase) << rate;
        }
    }
    // A positive rate afterwards moves on from where the phase was held.
    lfo.process(48000);
    EXPECT_EQ(lfo.getPhase(), 10.0f * static_cast<float>(1.0 / 48000) + phase);
}

TEST(LFOTest, NegativeFrequencyWrapsAndKeepsSweeping) {
    LFO lfo;
    lfo.setFrequency(-0.2f);
    lfo.setAmplitude(0.5f);
    lfo.setOffset(0.5f);
    lfo.process(48000);
    const float firstStep = lfo.getPhase();
    EXPECT_TRUE(inUnitRange(firstStep));
    EXPECT_GT(firstStep, 0.99f);  // just below one cycle: stepped back from 0

    // Eleven minutes at 48 kHz.
    const long long steps = 11LL * 60 * 48000;
    float lowest = 1.0f;
    float highest = 0.0f;
    float previous = lfo.getPhase();
    long long unchangedSteps = 0;
    for (long long n = 0; n < steps; ++n) {
        const float before = lfo.getPhase();
        const float value = lfo.process(48000);
        const float after = lfo.getPhase();
        if (!inUnitRange(after)) FAIL() << "phase " << after << " at step " << n;
        if (after == before) ++unchangedSteps;
        if (n >= steps - 5 * 48000) {  // the last five seconds, one full cycle at 0.2 Hz
            lowest = std::min(lowest, value);
            highest = std::max(highest, value);
        }
        previous = after;
    }
    EXPECT_EQ(unchangedSteps, 0);
    EXPECT_LT(lowest, 0.01f);
    EXPECT_GT(highest, 0.99f);
    EXPECT_TRUE(inUnitRange(previous));
}

TEST(LFOTest, FrequencyAboveTheRateStaysInRange) {
    for (float frequency : {48001.0f, 100000.0f, 1.0e6f, 1.2345e7f, -48001.0f, -1.0e6f}) {
        LFO lfo;
        lfo.setFrequency(frequency);
        int moved = 0;
        for (int n = 0; n < 100000; ++n) {
            const float phase = lfo.getPhase();
            const float value = lfo.process(48000);
            ASSERT_EQ(value, outputAt(phase, lfo)) << frequency << " step " << n;
            ASSERT_TRUE(inUnitRange(lfo.getPhase())) << frequency << " step " << n << " " << lfo.getPhase();
            if (lfo.getPhase() != phase) ++moved;
        }
        EXPECT_EQ(moved, 100000) << frequency;  // none of these steps is a whole number of cycles
    }

    // Up to one 1.0 taken off, a step of 1.25 cycles advances by a quarter each time.
    LFO lfo;
    lfo.setFrequency(5.0f);
    lfo.process(4);
    EXPECT_EQ(lfo.getPhase(), 0.25f);
    lfo.process(4);
    EXPECT_EQ(lfo.getPhase(), 0.5f);
    lfo.process(4);
    EXPECT_EQ(lfo.getPhase(), 0.75f);
    lfo.process(4);
    EXPECT_EQ(lfo.getPhase(), 0.0f);

    // Several whole cycles per step come off together.
    LFO many;
    many.setFrequency(13.5f);
    many.process(4);
    EXPECT_EQ(many.getPhase(), 0.375f);
}

TEST(LFOTest, NonFiniteFrequencyLeavesThePhase) {
    for (float frequency : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                            -std::numeric_limits<float>::infinity()}) {
        LFO lfo;
        for (int n = 0; n < 321; ++n) lfo.process(48000);
        const float phase = lfo.getPhase();
        lfo.setFrequency(frequency);
        for (int n = 0; n < 10; ++n) {
            const float value = lfo.process(48000);
            ASSERT_EQ(lfo.getPhase(), phase) << frequency;
            ASSERT_EQ(value, outputAt(phase, lfo)) << frequency;
        }
        lfo.setFrequency(10.0f);
        lfo.process(48000);
        EXPECT_EQ(lfo.getPhase(), 10.0f * static_cast<float>(1.0 / 48000) + phase);
    }
}

TEST(LFOTest, ParametersMayChangeWhileAnotherThreadSteps) {
    LFO lfo;
    lfo.setAmplitude(0.5f);
    lfo.setOffset(0.5f);
    std::atomic<bool> stop{false};
    std::thread setter([&] {
        for (int n = 0; !stop.load(); ++n) {
            lfo.setFrequency(static_cast<float>(n % 7) * 3.0f - 6.0f);
            lfo.setPhaseOffset(static_cast<float>(n % 5));
            if (n >= 100000) break;
        }
    });
    bool valid = true;
    for (int n = 0; n < 200000; ++n) {
        const float value = lfo.process(48000);
        if (!(value >= 0.0f && value <= 1.0f) || !inUnitRange(lfo.getPhase())) valid = false;
    }
    stop.store(true);
    setter.join();
    EXPECT_TRUE(valid);
}

}  // namespace
}  // namespace orvane::audio
