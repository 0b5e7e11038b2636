// The fast paths against the plain formulas they replace, bit for bit: the oscillator's block
// step against single steps, and the four-wide swept read (compare-and-subtract instead of
// fmodf, truncation instead of floor, paired slot loads, the blend in double) against fmodf
// followed by the plain interpolation, at the boundaries of the ring.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "audio/LFO.h"
#include "audio/SweptRead.h"

namespace orvane::audio {
namespace {

std::uint32_t bitsOf(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// Equal bits, or both NaN: which NaN comes out of an operation on two NaNs depends on the
// order of its operands, which the compiler may choose.
void expectSameFloat(float actual, float expected) {
    if (std::isnan(expected))
        EXPECT_TRUE(std::isnan(actual)) << actual;
    else
        EXPECT_EQ(bitsOf(actual), bitsOf(expected)) << actual << " vs " << expected;
}

// --- Oscillator: block steps against single steps ----------------------------------------

struct Settings {
    float frequency;
    float amplitude;
    float offset;
    float phaseOffset;
};

void apply(LFO& lfo, const Settings& settings) {
    lfo.setFrequency(settings.frequency);
    lfo.setAmplitude(settings.amplitude);
    lfo.setOffset(settings.offset);
    lfo.setPhaseOffset(settings.phaseOffset);
}

// Runs the same pieces through one oscillator step by step and through another in blocks;
// every output and the phase after every piece must agree bit for bit.
void expectBlocksMatchSteps(const std::vector<std::pair<int, unsigned int>>& pieces,
                            const std::vector<Settings>& settingsPerPiece) {
    LFO single;
    LFO block;
    std::vector<float> output;
    for (std::size_t piece = 0; piece < pieces.size(); ++piece) {
        const auto [rate, count] = pieces[piece];
        apply(single, settingsPerPiece[piece % settingsPerPiece.size()]);
        apply(block, settingsPerPiece[piece % settingsPerPiece.size()]);
        output.assign(count, -1.0f);
        block.process(rate, output.data(), count);
        for (unsigned int i = 0; i < count; ++i) {
            const float expected = single.process(rate);
            ASSERT_EQ(bitsOf(output[i]), bitsOf(expected))
                << "piece " << piece << " step " << i << " rate " << rate << ": " << output[i] << " vs " << expected;
        }
        ASSERT_EQ(bitsOf(block.getPhase()), bitsOf(single.getPhase())) << "after piece " << piece;
    }
}

TEST(FastPathTest, OscillatorBlocksMatchSingleStepsForEveryFrequency) {
    const float frequencies[] = {0.2f,     4.0f,  10.0f,     1000.0f, 24000.0f, 47999.0f, 48000.0f,
                                 60000.0f, -3.0f, -60000.0f, 0.0f,    -0.0f,    1e-30f,   3e38f};
    for (const float frequency : frequencies) {
        SCOPED_TRACE(frequency);
        // Pieces shorter and longer than the steps taken at once, uneven lengths.
        expectBlocksMatchSteps({{48000, 1}, {48000, 3}, {48000, 256}, {48000, 257}, {48000, 700}, {48000, 0}},
                               {{frequency, 0.5f, 0.5f, 1.5707964f}});
    }
}

TEST(FastPathTest, OscillatorBlocksMatchSingleStepsAcrossChangesBetweenPieces) {
    // A new frequency, amplitude, offset or phase offset before each piece; the sample rate
    // changes, drops to 0 (the phase holds) and comes back.
    const std::vector<Settings> settings = {{0.2f, 0.5f, 0.5f, 0.0f},
                                            {4.0f, 1.0f, 0.0f, 1.5707964f},
                                            {12000.0f, 0.25f, -1.0f, 3.1415927f},
                                            {-7.5f, 2.0f, 0.125f, -1.0f},
                                            {48000.0f, 0.5f, 0.5f, 0.0f}};
    expectBlocksMatchSteps({{48000, 100},
                            {48000, 300},
                            {44100, 512},
                            {96000, 64},
                            {0, 50},
                            {48000, 257},
                            {1, 5},
                            {-5, 3},
                            {48000, 1000},
                            {44100, 1}},
                           settings);
}

TEST(FastPathTest, OscillatorBlocksHoldThePhaseForNonFiniteFrequencies) {
    for (const float frequency : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                                  -std::numeric_limits<float>::infinity()}) {
        SCOPED_TRACE(frequency);
        expectBlocksMatchSteps({{48000, 10}, {48000, 300}}, {{0.3f, 0.5f, 0.5f, 0.0f}, {frequency, 0.5f, 0.5f, 0.0f}});
    }
}

// --- Swept reads: four lanes against fmodf and the plain interpolation ---------------------

#if defined(ORVANE_SWEPT_READ_SIMD)

// The read a modulated line makes, written out plainly: the position reduced with fmodf,
// then floor, the slot after (slot 0 after the last), and the blend formed in double.
float plainSweptRead(const std::vector<float>& ring, int write, float sweep, float baseDelay) {
    const auto capacity = static_cast<std::int64_t>(ring.size());
    const auto size = static_cast<float>(capacity);
    const float position = std::fmod(((static_cast<float>(write) - sweep) - baseDelay) + size, size);
    const float base = std::floor(position);
    const float frac = position - base;
    const auto index = static_cast<std::int64_t>(base);
    const auto wrap = [capacity](std::int64_t slot) { return static_cast<std::size_t>((slot + capacity) % capacity); };
    const float upper = frac * ring[wrap(index + 1)];
    return static_cast<float>(static_cast<double>(ring[wrap(index)]) * (1.0 - static_cast<double>(frac)) +
                              static_cast<double>(upper));
}

float unreduced(int write, float sweep, float baseDelay, int capacity) {
    const auto size = static_cast<float>(capacity);
    return ((static_cast<float>(write) - sweep) - baseDelay) + size;
}

// Lane k of a four-wide value.
template <typename Vector, typename Lane>
Lane lane(Vector vector, int k) {
    Lane lanes[4];
    std::memcpy(lanes, &vector, sizeof lanes);
    return lanes[k];
}

// Checks one group of four (write, sweep) lanes: which lanes the fast path accepts, and that
// every accepted lane reads exactly what fmodf and the plain interpolation read.
void expectGroupMatchesPlainReads(const std::vector<float>& ring, const int (&writes)[4], const float (&sweeps)[4],
                                  float baseDelay) {
    const auto capacity = static_cast<int>(ring.size());
    const auto taps = simd::sweptTaps4(_mm_setr_epi32(writes[0], writes[1], writes[2], writes[3]),
                                       _mm_setr_ps(sweeps[0], sweeps[1], sweeps[2], sweeps[3]), baseDelay, capacity);
    float fast[4];
    if (!simd::wrapsRound(taps)) {
        _mm_storeu_ps(fast, simd::interpolate4(ring.data(), taps));
    } else {
        // Straddling the end of the ring the nodes go sample by sample; the blend itself
        // still has to agree with the slots gathered one by one.
        float earlier[4];
        float later[4];
        for (int k = 0; k < 4; ++k) {
            earlier[k] = ring[static_cast<std::size_t>(lane<__m128i, std::int32_t>(taps.earlier, k))];
            later[k] = ring[static_cast<std::size_t>(lane<__m128i, std::int32_t>(taps.later, k))];
        }
        _mm_storeu_ps(fast, simd::blend4(_mm_loadu_ps(earlier), _mm_loadu_ps(later), taps.frac));
    }
    for (int k = 0; k < 4; ++k) {
        const float position = unreduced(writes[k], sweeps[k], baseDelay, capacity);
        const bool inside = position >= 0.0f && position < static_cast<float>(capacity) * 2.0f;
        SCOPED_TRACE(::testing::Message() << "lane " << k << " position " << position << " capacity " << capacity);
        ASSERT_EQ(((taps.inside >> k) & 1) != 0, inside);
        if (!inside) continue;
        const float plain = plainSweptRead(ring, writes[k], sweeps[k], baseDelay);
        EXPECT_EQ(bitsOf(fast[k]), bitsOf(plain)) << fast[k] << " vs " << plain;
        const auto later = lane<__m128i, std::int32_t>(taps.later, k);
        const auto earlier = lane<__m128i, std::int32_t>(taps.earlier, k);
        EXPECT_EQ(later, earlier + 1 == capacity ? 0 : earlier + 1);
        EXPECT_EQ(later == 0, earlier == capacity - 1);
    }
}

std::vector<float> noiseRing(int capacity, unsigned int seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    std::vector<float> ring(static_cast<std::size_t>(capacity));
    for (float& slot : ring) slot = noise(random);
    return ring;
}

TEST(FastPathTest, SweptReadsMatchFmodAndPlainInterpolationAtTheRingBoundaries) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (const int capacity : {48000, 7, 1}) {
        const std::vector<float> ring = noiseRing(capacity, 5);
        const auto size = static_cast<float>(capacity);
        SCOPED_TRACE(capacity);
        // With write 0 and base delay 0 the position is (-sweep) + size: sweep = size - target
        // puts it exactly on target. Targets: near 0, exact integers, capacity - 1 and just
        // below, exactly the capacity (reduced to 0), just below 2 * capacity, 2 * capacity
        // (fmodf), negative positions (fmodf), not finite (the nodes take no sweep then).
        const float targets[] = {0.0f,
                                 0.25f,
                                 std::nextafter(0.0f, 1.0f),
                                 1.0f,
                                 size - 1.0f,
                                 std::nextafter(size, 0.0f),
                                 size - 0.5f,
                                 size,
                                 size + 0.5f,
                                 std::nextafter(size + size, 0.0f),
                                 size + size,
                                 3.0f * size,
                                 -0.5f,
                                 -size,
                                 std::nextafter(0.0f, -1.0f)};
        std::vector<float> sweeps;
        for (const float target : targets) sweeps.push_back(size - target);
        for (const float special : {nan, inf, -inf, 1e30f, -1e30f, -0.0f}) sweeps.push_back(special);
        while (sweeps.size() % 4 != 0) sweeps.push_back(0.5f);
        for (std::size_t group = 0; group < sweeps.size(); group += 4) {
            const float lanes[4] = {sweeps[group], sweeps[group + 1], sweeps[group + 2], sweeps[group + 3]};
            expectGroupMatchesPlainReads(ring, {0, 0, 0, 0}, lanes, 0.0f);
        }
    }
}

TEST(FastPathTest, SweptReadsMatchFmodAndPlainInterpolationForTheNodesSettings) {
    // Consecutive write slots as the nodes pass them, with their base delays, the sweeps of
    // their oscillators over [0, 1] at several sweep widths (negative and longer than the
    // line too), and write slots near both ends of the ring.
    const std::vector<float> ring = noiseRing(48000, 11);
    std::mt19937 random(3);
    std::uniform_real_distribution<float> shape(0.0f, 1.0f);
    for (const float baseDelay : {1.0f, 2.0f, 1002.0f}) {
        for (const float width : {0.0f, 0.005f, 0.01f, 0.025f, -0.02f, 1.5f, -3.0f, 2e-5f}) {
            for (const int first : {0, 1, 2, 1000, 23999, 47990, 47996}) {
                for (int trial = 0; trial < 40; ++trial) {
                    float sweeps[4];
                    for (float& sweep : sweeps) sweep = (shape(random) * width) * 48000.0f;
                    expectGroupMatchesPlainReads(ring, {first, first + 1, first + 2, first + 3}, sweeps, baseDelay);
                }
            }
        }
    }
}

TEST(FastPathTest, BlendMatchesThePlainFormulaForSpecialSlotValues) {
    // Signed zeros, infinities, NaN and subnormal slots go through the same roundings.
    const float values[] = {0.0f,
                            -0.0f,
                            1.0f,
                            -1.0f,
                            std::numeric_limits<float>::infinity(),
                            1e-40f,
                            3e38f,
                            -3e38f,
                            std::numeric_limits<float>::quiet_NaN(),
                            0.33333334f};
    const float fracs[] = {0.0f, 0.5f, 0.25f, 0.99999994f, 1e-7f};
    for (const float earlier : values)
        for (const float later : values)
            for (const float frac : fracs) {
                float fast[4];
                _mm_storeu_ps(
                    fast, simd::blend4(_mm_set1_ps(earlier), _mm_set1_ps(later), _mm_setr_ps(frac, 0.0f, frac, 1e-7f)));
                const auto plain = [&](float f) {
                    return static_cast<float>(static_cast<double>(earlier) * (1.0 - static_cast<double>(f)) +
                                              static_cast<double>(f * later));
                };
                expectSameFloat(fast[0], plain(frac));
                expectSameFloat(fast[1], plain(0.0f));
                expectSameFloat(fast[3], plain(1e-7f));
            }
}

TEST(FastPathTest, GroupsThatWouldReadTheirOwnWritesAreRecognised) {
    // Four samples writing slots 100 ... 103. Read-then-write order: lane k must not read
    // slots 100 ... 100 + k - 1; write-then-read order: not 100 ... 100 + k either.
    const auto tapsAt = [](std::int32_t slot, int lane) {
        std::int32_t earlier[4] = {10, 10, 10, 10};
        earlier[lane] = slot;
        std::int32_t later[4];
        for (int k = 0; k < 4; ++k) later[k] = earlier[k] + 1;
        return simd::Taps4{_mm_loadu_si128(reinterpret_cast<const __m128i*>(earlier)),
                           _mm_loadu_si128(reinterpret_cast<const __m128i*>(later)), _mm_setzero_ps(), 0xf};
    };
    for (int lane = 0; lane < 4; ++lane) {
        SCOPED_TRACE(lane);
        for (std::int32_t slot = 90; slot < 110; ++slot) {
            // The lane reads slot and slot + 1.
            const auto touches = [slot](std::int32_t end) {
                return (slot >= 100 && slot < end) || (slot + 1 >= 100 && slot + 1 < end);
            };
            const bool readThenWrite = touches(100 + lane);
            const bool writeThenRead = touches(100 + lane + 1);
            EXPECT_EQ(simd::readsWritesOfGroup(tapsAt(slot, lane), 100, false), readThenWrite) << slot;
            EXPECT_EQ(simd::readsWritesOfGroup(tapsAt(slot, lane), 100, true), writeThenRead) << slot;
        }
    }
    // Slots far below the first write (an unsigned difference that wraps) never count.
    EXPECT_FALSE(simd::readsWritesOfGroup(tapsAt(0, 3), 47000, true));
    EXPECT_FALSE(simd::readsWritesOfGroup(tapsAt(47999 - 1, 3), 0, true));
}

#endif

}  // namespace
}  // namespace orvane::audio
