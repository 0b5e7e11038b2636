// The delay line and the oscillator, and the fast paths against the plain formulas they
// replace, bit for bit: block steps against single steps, swept reads in lanes (compare and
// subtract instead of fmodf, the blend in double) against sample-by-sample order, and that
// against fmodf and the plain interpolation, at the boundaries. Run once per processor level.

#include <gtest/gtest.h>

#include <bit>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "audio/CircularBuffer.h"
#include "audio/LFO.h"
#include "audio/SimdLevel.h"
#include "audio/SweptRead.h"
#include "support/NodeTesting.h"

#define ORVANE_PER_LEVEL_FILE "support/SweptGroups-inl.h"
#include "audio/lanes/ForEachLevel.h"

namespace orvane::audio {
namespace {

using testing::ModelOscillator;
using testing::sameFloat;

constexpr float nan = std::numeric_limits<float>::quiet_NaN();
constexpr float inf = std::numeric_limits<float>::infinity();

std::uint32_t bitsOf(float value) { return std::bit_cast<std::uint32_t>(value); }

float blend(float earlier, float later, float frac) {
    return static_cast<float>(static_cast<double>(earlier) * (1.0 - static_cast<double>(frac)) +
                              static_cast<double>(frac * later));
}

// A ring of capacity slots of noise.
CircularBuffer noiseRing(int capacity, unsigned int seed) {
    CircularBuffer ring(capacity);
    const std::vector<float> noise = testing::noise(1, static_cast<std::size_t>(capacity), seed)[0];
    std::copy(noise.begin(), noise.end(), ring.slots());
    return ring;
}

// ---------------------------------------------------------------------------------------
// Processor level

// The per-level runs of these suites rely on the cap: a run that silently kept the
// processor's own level would prove nothing about the others.
TEST(SimdLevelTest, TheEnvironmentCapsTheLevel) {
    const char* cap = std::getenv("ORVANE_SIMD");
    if (cap == nullptr) GTEST_SKIP() << "ORVANE_SIMD is not set";
    SimdLevel processor = SimdLevel::baseline;
#if defined(__x86_64__)
    if (__builtin_cpu_supports("avx2")) processor = SimdLevel::avx2;
    if (__builtin_cpu_supports("avx512f")) processor = SimdLevel::avx512;
#endif
    const std::string name = cap;
    const SimdLevel named = name == "baseline" ? SimdLevel::baseline
                            : name == "avx2"   ? SimdLevel::avx2
                                               : SimdLevel::avx512;
    EXPECT_EQ(simdLevel(), std::min(named, processor)) << name;
}

// Every level is exact, so only the code's own answer shows which level ran (on a processor
// without AVX-512, running its code in place of the level in force would fault).
TEST(SimdLevelTest, TheDispatcherRunsTheLevelInForce) {
    const SimdLevel* const perLevel[] = ORVANE_PER_LEVEL(level);
    EXPECT_EQ(*lanes::inForce(perLevel), simdLevel());
    for (const Topology topology : {Topology::chorus, Topology::flanger, Topology::vibrato}) {
        SweptPass* const passes[3][lanes::levels] = {ORVANE_PER_LEVEL(sweptPass<Topology::chorus>),
                                                     ORVANE_PER_LEVEL(sweptPass<Topology::flanger>),
                                                     ORVANE_PER_LEVEL(sweptPass<Topology::vibrato>)};
        EXPECT_EQ(sweptPass(topology), passes[static_cast<int>(topology)][static_cast<int>(simdLevel())]);
    }
}

// ---------------------------------------------------------------------------------------
// Delay line

// Random sequences of every pointer and sample operation follow the plain arithmetic of a
// ring, with arguments far beyond the contract too (INT_MIN, INT_MAX: the congruent slot).
TEST(CircularBufferTest, OperationsFollowThePlainRingArithmetic) {
    for (const int capacity : {1, 7, 48000}) {
        CircularBuffer line = noiseRing(capacity, 1);
        std::vector<float> slots(line.slots(), line.slots() + capacity);
        long long read = 0, write = 0;
        const auto wrap = [capacity](long long p) { return ((p % capacity) + capacity) % capacity; };
        const std::function<void(int)> operations[] = {
            [&](int a) { line.setReadPointer(a), read = wrap(a); },
            [&](int a) { line.setWritePointer(a), write = wrap(a); },
            [&](int a) { line.stepReadPointer(a), read = wrap(read + a); },
            [&](int a) { line.stepWritePointer(a), write = wrap(write + a); },
            [&](int a) { line.writeSample(static_cast<float>(a)), slots[write] = static_cast<float>(a); },
            [&](int) { ASSERT_EQ(line.readSample(), slots[read]); },
            [&](int a) { ASSERT_EQ(line.readSample(a), slots[wrap(a)]); },
            [&](int) { ASSERT_EQ(line.getFillLevel(), wrap(write - read)); }};
        const int specials[] = {INT_MIN, INT_MAX, -capacity - 1, -capacity, -1, 0, 1, capacity - 1, capacity};
        std::mt19937 random(static_cast<unsigned int>(capacity));
        for (int step = 0; step < 20000; ++step) {
            const int argument = random() % 2 ? specials[random() % std::size(specials)] : static_cast<int>(random());
            operations[random() % std::size(operations)](argument);
            ASSERT_TRUE(line.getReadPointer() == read && line.getWritePointer() == write) << "step " << step;
        }
        const float* storage = line.slots();
        line.reset();
        EXPECT_TRUE(line.slots() == storage && line.getReadPointer() == 0 && line.getWritePointer() == 0);
        EXPECT_TRUE(std::all_of(line.slots(), line.slots() + capacity, [](float s) { return s == 0.0f; }));
    }
}

TEST(CircularBufferTest, InterpolatesBetweenNeighbouringSlots) {
    struct Row {
        int capacity;
        float position;
        int earlier, later;
        float frac;
    };
    // clang-format off
    const Row rows[] = {
        {48000, 3.0f, 3, 4, 0.0f},          {48000, 2.25f, 2, 3, 0.25f},       {48000, 47999.5f, 47999, 0, 0.5f},
        {48000, -0.25f, 47999, 0, 0.75f},   {48000, -1.0f, 47999, 0, 0.0f},    {48000, -48000.0f, 0, 1, 0.0f},
        {48000, 48000.0f, 0, 1, 0.0f},      {48000, -47996.5f, 3, 4, 0.5f},    {48000, -48001.0f, 47999, 0, 0.0f},
        {48000, -96002.5f, 47997, 47998, 0.5f},                                {48000, 2.1f, 2, 3, 0.099999904632568359375f},
        {1, 0.25f, 0, 0, 0.25f},            {1, -0.5f, 0, 0, 0.5f},            {7, 6.5f, 6, 0, 0.5f},
    };
    // clang-format on
    for (const Row& row : rows) {
        const CircularBuffer line = noiseRing(row.capacity, 2);
        EXPECT_EQ(line.interpolate(row.position), blend(line.slots()[row.earlier], line.slots()[row.later], row.frac))
            << row.capacity << " @ " << row.position;
    }
    // Outside the contract: a slot's value or a blend of two, never outside the storage.
    for (int capacity : {1, 7, 48000}) {
        CircularBuffer line(capacity);
        for (int k = 0; k < capacity; ++k) line.slots()[k] = static_cast<float>(k + 1);
        for (float position : {nan, inf, -inf, 1e30f, -1e30f, 3.0e9f, -3.0e9f, 2.0e9f, static_cast<float>(INT_MIN),
                               std::numeric_limits<float>::max(), std::numeric_limits<float>::lowest(), -1e-30f}) {
            const float value = line.interpolate(position);
            EXPECT_TRUE(value >= 1.0f && value <= static_cast<float>(capacity)) << capacity << " @ " << position;
        }
    }
}

TEST(CircularBufferTest, CapacityLimitsAndMoves) {
    for (int size : {0, -1, INT_MIN, CircularBuffer::maxCapacity + 1, INT_MAX})
        EXPECT_THROW(CircularBuffer{size}, std::invalid_argument) << size;
    CircularBuffer source = noiseRing(16, 3);
    source.setWritePointer(12);
    const float* storage = source.slots();
    CircularBuffer moved(std::move(source));
    EXPECT_EQ(moved.slots(), storage);
    EXPECT_EQ(moved.getWritePointer(), 12);
    EXPECT_EQ(source.slots(), nullptr);  // NOLINT(bugprone-use-after-move): left without storage
    CircularBuffer target(4);
    target = std::move(moved);
    EXPECT_EQ(target.slots(), storage);
    EXPECT_EQ(target.getCapacity(), 16);
    EXPECT_EQ(moved.slots(), nullptr);  // NOLINT(bugprone-use-after-move)
}

// ---------------------------------------------------------------------------------------
// Oscillator

struct Setting {
    int rate;
    float frequency, amplitude, offset, phaseOffset;
};

void apply(LFO& lfo, ModelOscillator& model, const Setting& setting) {
    lfo.setFrequency(model.frequency = setting.frequency);
    lfo.setAmplitude(model.amplitude = setting.amplitude);
    lfo.setOffset(model.offset = setting.offset);
    lfo.setPhaseOffset(model.phaseOffset = setting.phaseOffset);
}

// Single steps and blocks (of lengths around the 256-step pieces) both follow the plain
// formula, and a block writes nothing past its end.
TEST(LFOTest, StepsAndBlocksFollowThePlainFormulaForEveryFrequencyAndRate) {
    const float quarter = static_cast<float>(1.5707963267948966);
    // clang-format off
    const Setting rows[] = {
        {48000, 10, 1, 0, 0},        {48000, 0.2f, 0.5f, 0.5f, quarter}, {44100, 4, 0.5f, 0.5f, 0},
        {48000, 48000, 1, 0, 0},     {48000, 24000, 1, 0, 0.3f},         {4, 5, 1, 0, 0},
        {4, 13.5f, 1, 0, 0},         {48000, -0.2f, 0.5f, 0.5f, 0},      {48000, 60000, 1, 0, 0},
        {48000, 1e6f, 1, 0, 0},      {48000, -1e6f, 1, 0, 0},            {0, 10, 1, 0, 0},
        {-5, 10, 1, 0, 0},           {48000, nan, 1, 0, 0},              {48000, inf, 1, 0, 0},
        {1, 0.4f, 2, 3, 1},          {8000, 0, 0.25f, -1, 100},          {96000, 12000, 0.25f, -1, 3.1415927f},
        {0, -7.5f, 2, 0.125f, -1},   {1, 48000, 0.5f, 0.5f, 0},          {48000, 3e38f, 0.5f, 0.5f, 0},
        {48000, -60000, 0.5f, 0.5f, 0},
        // Increments halfway between grid points of the binades [2^-10, 2^-9) and [0.5, 1).
        {32, 0x1p-7f + 0x1p-29f, 1, 0, 0}, {32, 8 + 0x1p-20f, 1, 0, 0}, {48000, 1e-3f, 1, 0, 0},
        {48000, 1e-40f, 1, 0, 0},
    };
    // clang-format on
    const unsigned int lengths[] = {1, 3, 256, 257, 700, 0, 100, 513};
    constexpr float guard = 12345.0f;
    for (const Setting& row : rows) {
        SCOPED_TRACE(::testing::Message() << row.frequency << " Hz at " << row.rate);
        LFO single, block;
        ModelOscillator model, unused;
        apply(single, model, row);
        apply(block, unused, row);
        for (unsigned int length : lengths) {
            std::vector<float> output(length + 1, guard);
            block.process(row.rate, output.data(), length);
            for (unsigned int i = 0; i < length; ++i) {
                const float expected = model.step(row.rate);
                ASSERT_TRUE(sameFloat(single.process(row.rate), expected)) << "step " << i << " of " << length;
                ASSERT_TRUE(sameFloat(output[i], expected)) << "step " << i << " of a block of " << length;
                ASSERT_EQ(bitsOf(single.getPhase()), bitsOf(model.phase)) << "step " << i;
                ASSERT_TRUE(single.getPhase() >= 0.0f && single.getPhase() < 1.0f) << "step " << i;
            }
            EXPECT_EQ(output.back(), guard) << length;
            ASSERT_EQ(bitsOf(block.getPhase()), bitsOf(model.phase)) << length;
        }
    }
    // Rates changing along the way keep the phase and apply the new period.
    LFO lfo;
    ModelOscillator model;
    const int rates[] = {48000, 44100, 0, 96000, 8000};
    for (int n = 0; n < 20000; ++n) {
        const int rate = rates[n / 997 % 5];
        if (n % 1499 == 0)
            apply(lfo, model,
                  {rate, static_cast<float>(n / 1499 % 13) * 0.37f, 0.5f + static_cast<float>(n % 3), 0.5f,
                   static_cast<float>(n % 5)});
        ASSERT_EQ(lfo.process(rate), model.step(rate)) << n;
    }
}

// A fresh oscillator: 10 Hz, amplitude 1, no offset, no phase offset.
TEST(LFOTest, FreshOscillatorFollowsTheFormulaAtItsDefaults) {
    LFO lfo;
    ModelOscillator model;
    for (int n = 0; n < 100; ++n) ASSERT_TRUE(sameFloat(lfo.process(48000), model.step(48000))) << "step " << n;
}

// ---------------------------------------------------------------------------------------
// Swept reads

// The read of a modulated line written out plainly: fmodf, floor, the slot after, the blend.
float plainSweptRead(const CircularBuffer& ring, int write, float sweep, float baseDelay) {
    const auto size = static_cast<float>(ring.getCapacity());
    float position = std::fmod(((static_cast<float>(write) - sweep) - baseDelay) + size, size);
    if (!std::isfinite(position)) position = std::fmod((static_cast<float>(write) - baseDelay) + size, size);
    const float base = std::floor(position);
    const auto slot = [&](long long k) {
        return ring.slots()[((k % ring.getCapacity()) + ring.getCapacity()) % ring.getCapacity()];
    };
    return blend(slot(static_cast<long long>(base)), slot(static_cast<long long>(base) + 1), position - base);
}

// sweptSample's read, the reference of every lane path, matches fmodf and the plain
// interpolation: at the ends of the ring and of twice the ring, beyond both (fmodf), and for
// sweeps that are not finite (no sweep).
TEST(SweptReadTest, MatchesFmodfAndThePlainInterpolation) {
    for (const int capacity : {48000, 7, 1}) {
        SCOPED_TRACE(capacity);
        const CircularBuffer ring = noiseRing(capacity, 5);
        const auto size = static_cast<float>(capacity);
        // With write 0 and no base delay, sweep = size - target reads at target.
        std::vector<float> sweeps;
        for (float target : {0.0f, 0.25f, std::nextafter(0.0f, 1.0f), 1.0f, size - 1.0f, std::nextafter(size, 0.0f),
                             size - 0.5f, size, size + 0.5f, std::nextafter(size + size, 0.0f), size + size,
                             3.0f * size + 0.25f, -0.5f, -size, -2.5f * size, std::nextafter(0.0f, -1.0f)})
            sweeps.push_back(size - target);
        for (float special : {nan, inf, -inf, 1e30f, -1e30f, -0.0f, 3e7f, -3e7f}) sweeps.push_back(special);
        for (const float sweep : sweeps)
            EXPECT_TRUE(sameFloat(ring.interpolate(sweptReadPosition(0, capacity, sweep, 0.0f)),
                                  plainSweptRead(ring, 0, sweep, 0.0f)))
                << "sweep " << sweep;
    }
}

// The two orders a line pass can take: read, then write with feedback; or write, then read.
const SweptEffect flanger{Topology::flanger, 2.0f, 0.8f, 0.6f};
const SweptEffect vibrato{Topology::vibrato, 1.0f};

// A line's run of samples through the groups of the level in force, the sweep given.
template <Topology topology>
void runInGroups(CircularBuffer& line, float* samples, const std::vector<float>& sweeps, SweptEffect effect) {
    void (*const perLevel[])(const SweptEffect&, CircularBuffer&, float*, const float*, std::uint32_t) noexcept =
        ORVANE_PER_LEVEL(runInGroups<topology>);
    lanes::inForce(perLevel)(effect, line, samples, sweeps.data(), static_cast<std::uint32_t>(sweeps.size()));
}

// A run through the group paths leaves the output and the line exactly as sample-by-sample
// processing does, for delays (sweep + base delay) on both sides of where groups of sixteen,
// eight or four may read their own writes (where they go lane by lane, or as halves), and near
// the ring's length; and for groups whose reads span up to the 16 or 32 slots of a window and
// beyond it, behind their first lane, or up to the ring's end.
template <Topology topology>
void expectRunsMatchSampleBySample(SweptEffect effect) {
    constexpr int capacity = 4096;
    const auto size = static_cast<float>(capacity);
    std::vector<float> delays;
    for (float edge : {0.0f,         0.5f,         1.0f,        2.0f,        3.0f,        4.0f,       5.0f,  8.0f,
                       8.5f,         9.0f,         10.0f,       11.0f,       16.0f,       16.5f,      17.0f, 40.0f,
                       size - 16.5f, size - 16.0f, size - 8.5f, size - 8.0f, size - 7.5f, size - 0.5f})
        for (float step : {-0.02f, -0.01f, 0.0f, 0.01f, 0.02f}) delays.push_back(edge + step);
    const std::vector<float> input = testing::noise(1, 256, 9)[0];
    const CircularBuffer start = noiseRing(capacity, 4);
    CircularBuffer fast(capacity), plain(capacity);
    for (const float baseDelay : {1.0f, 2.0f, 1002.0f})
        for (const int first : {0, 100, capacity - 60, capacity - 10})
            for (const float delay : delays)
                for (const float spread : {0.0f, 0.3f, -0.3f, -7.0f, -8.0f, -15.0f, -16.0f, 2.0f, nan, inf}) {
                    SCOPED_TRACE(::testing::Message() << "delay " << delay << " spread " << spread << " base "
                                                      << baseDelay << " from " << first);
                    effect.baseDelay = baseDelay;
                    std::vector<float> sweeps(input.size());
                    // One lane per group of sixteen moves, each lane in turn (by -7 and -8, or -15
                    // and -16 slots, the last lane's later slot ends a window of eight or sixteen
                    // lanes or lies past it; by +2, lane 1 reads behind lane 0); or
                    // (nan) every lane takes its own delay from -3 to 12 slots, ahead of the
                    // writer as well as behind; or (inf) one lane per group has a sweep the ring
                    // cannot hold (fmodf, not finite).
                    std::mt19937 random(7);
                    std::uniform_real_distribution<float> anyDelay(-3.0f, 12.0f);
                    const float far[] = {nan, inf, -inf, 1e30f, -3e7f, 3.0f * size, -2.5f * size, -0.0f};
                    for (std::size_t i = 0; i < sweeps.size(); ++i) {
                        const bool moves = i % 16 == i / 16 % 16;
                        sweeps[i] = std::isnan(spread)   ? anyDelay(random) - baseDelay
                                    : std::isinf(spread) ? (moves ? far[i / 8 % 8] : delay - baseDelay)
                                                         : (delay - baseDelay) + (moves ? spread : 0.0f);
                    }
                    for (CircularBuffer* ring : {&fast, &plain}) {
                        std::memcpy(ring->slots(), start.slots(), capacity * sizeof(float));
                        ring->setWritePointer(first);
                    }
                    std::vector<float> fastOut = input, plainOut = input;
                    runInGroups<topology>(fast, fastOut.data(), sweeps, effect);
                    for (std::size_t i = 0; i < sweeps.size(); ++i) {
                        plainOut[i] =
                            sweptSample<topology>(plain, plain.getWritePointer(), plainOut[i], sweeps[i], effect);
                        plain.stepWritePointer(1);
                    }
                    for (std::size_t i = 0; i < sweeps.size(); ++i)
                        ASSERT_TRUE(sameFloat(fastOut[i], plainOut[i])) << "sample " << i;
                    ASSERT_EQ(fast.getWritePointer(), plain.getWritePointer());
                    ASSERT_EQ(std::memcmp(fast.slots(), plain.slots(), capacity * sizeof(float)), 0);
                }
}

TEST(SweptReadTest, GroupedRunsMatchSampleBySampleAtTheirDelayLimits) {
    expectRunsMatchSampleBySample<Topology::flanger>(flanger);
    expectRunsMatchSampleBySample<Topology::vibrato>(vibrato);
}

// An oscillator swinging over [0, 1] at rate, and the sweep it gives one sample after another.
struct Sweeping {
    LFO oscillator;
    ModelOscillator model;
    explicit Sweeping(float frequency) {
        oscillator.setFrequency(model.frequency = frequency);
        oscillator.setAmplitude(model.amplitude = 0.5f);
        oscillator.setOffset(model.offset = 0.5f);
    }
    float sweep(float width, std::uint32_t sampleRate) {
        return (model.step(static_cast<int>(sampleRate)) * width) * static_cast<float>(sampleRate);
    }
};

// Through the door, lines that take one sweep run together only while they share a write
// pointer, pieces run on across the ring's end, and each line ends as sweptSample leaves it.
TEST(SweptReadTest, APassLeavesEveryLineAsSampleBySample) {
    constexpr std::uint32_t channels = 11, frames = 300, sampleRate = 48000;  // more lines than go together at once
    const float width = 0.004f;
    std::vector<CircularBuffer> lines, plain;
    AudioBuffer<float> block(channels, frames);
    testing::Channels expected = testing::noise(channels, frames, 6);
    for (std::uint32_t c = 0; c < channels; ++c) {
        lines.push_back(noiseRing(2048, c));
        plain.push_back(noiseRing(2048, c));
        const int pointer = c == 4 ? 1900 : 1800;  // one line apart from the others; all wrap
        lines[c].setWritePointer(pointer);
        plain[c].setWritePointer(pointer);
        std::copy(expected[c].begin(), expected[c].end(), block.getChannelData(c));
    }
    Sweeping shared(40.0f), reference(40.0f);
    for (std::uint32_t start = 0; start < frames; start += maxSweptPiece) {
        const std::uint32_t steps = std::min(frames - start, maxSweptPiece);
        sweptPass(Topology::vibrato)(vibrato, shared.oscillator, {lines.data(), 0, channels},
                                     {block, start, steps, sampleRate, width});
    }
    for (std::uint32_t f = 0; f < frames; ++f) {
        const float sweep = reference.sweep(width, sampleRate);
        for (std::uint32_t c = 0; c < channels; ++c) {
            expected[c][f] =
                sweptSample<Topology::vibrato>(plain[c], plain[c].getWritePointer(), expected[c][f], sweep, vibrato);
            plain[c].stepWritePointer(1);
        }
    }
    for (std::uint32_t c = 0; c < channels; ++c) {
        EXPECT_EQ(lines[c].getWritePointer(), plain[c].getWritePointer()) << c;
        EXPECT_EQ(std::memcmp(block.getChannelData(c), expected[c].data(), frames * sizeof(float)), 0) << c;
        EXPECT_EQ(std::memcmp(lines[c].slots(), plain[c].slots(), 2048 * sizeof(float)), 0) << c;
    }
    EXPECT_EQ(bitsOf(shared.oscillator.getPhase()), bitsOf(reference.model.phase));
}

// The AVX-512 windows, where the processor has them: groups whose reads lie within 2 N slots
// pick them from registers, and equal sample-by-sample processing.
TEST(SweptReadTest, WindowedGroupsMatchSampleBySample) {
#if defined(__x86_64__)
    if (!__builtin_cpu_supports("avx512f"))
        GTEST_SKIP() << "this processor has no AVX-512: the window paths cannot run";
    constexpr int capacity = 4096;
    const CircularBuffer start = noiseRing(capacity, 8);
    for (const float delay : {20.0f, 40.5f, 200.25f}) {
        std::vector<float> sweeps(512);
        for (std::size_t i = 0; i < sweeps.size(); ++i) sweeps[i] = delay + 0.003f * static_cast<float>(i % 97);
        ASSERT_TRUE(lanes::avx512::readsFromWindow(100, sweeps.data(), 2.0f, capacity))
            << "delay " << delay << ": the groups would not read from windows";
        CircularBuffer fast(capacity), plain(capacity);
        std::memcpy(fast.slots(), start.slots(), capacity * sizeof(float));
        std::memcpy(plain.slots(), start.slots(), capacity * sizeof(float));
        fast.setWritePointer(100);
        plain.setWritePointer(100);
        std::vector<float> fastOut = testing::noise(1, sweeps.size(), 3)[0], plainOut = fastOut;
        lanes::avx512::runInGroups<Topology::flanger>(flanger, fast, fastOut.data(), sweeps.data(),
                                                      static_cast<std::uint32_t>(sweeps.size()));
        for (std::size_t i = 0; i < sweeps.size(); ++i) {
            plainOut[i] =
                sweptSample<Topology::flanger>(plain, plain.getWritePointer(), plainOut[i], sweeps[i], flanger);
            plain.stepWritePointer(1);
        }
        for (std::size_t i = 0; i < sweeps.size(); ++i) ASSERT_TRUE(sameFloat(fastOut[i], plainOut[i])) << i;
        EXPECT_EQ(std::memcmp(fast.slots(), plain.slots(), capacity * sizeof(float)), 0);
    }
#else
    GTEST_SKIP() << "not an x86-64 processor: there is no AVX-512 window path";
#endif
}

}  // namespace
}  // namespace orvane::audio
