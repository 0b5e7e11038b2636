// The oscillator's loops over a piece, for one level (see ForEachLevel.h): plain loops the
// compiler puts in that level's lanes, and the replica of sinf in lanes: the unfused form in
// double precision, for angles in [0, replicaLimit), where both forms agree. A level with its own
// sine (WebAssembly, whose C library is not the one replicated) takes the replica there always.
#if defined(ORVANE_AUDIO_LANES_OSCILLATOR_INL_H) == ORVANE_LEVEL_TOGGLE
#ifdef ORVANE_AUDIO_LANES_OSCILLATOR_INL_H
#undef ORVANE_AUDIO_LANES_OSCILLATOR_INL_H
#else
#define ORVANE_AUDIO_LANES_OSCILLATOR_INL_H
#endif

#include <cmath>

#include "audio/LFO.h"
#include "audio/Sine.h"
#include "audio/Subnormals.h"
#include "audio/lanes/Lanes-inl.h"

namespace orvane::lanes::ORVANE_LEVEL {

namespace sine = orvane::audio::replicaConstants;

/// sinf's value for one angle, as the lanes give it.
ORVANE_LEVEL_ATTR inline float sineOf(float angle) noexcept {
#if ORVANE_LEVEL_OWN_SINE
    if (angle >= 0.0f && angle < sine::replicaLimit) return audio::sineReplica(angle, false);
#endif
    return std::sin(angle);
}

/// Groups of N values whose angles all lie in [0, replicaLimit) become their sines; a group
/// with a lane outside (or a NaN) goes value by value. Answers how many values it did.
template <int N>
ORVANE_LEVEL_ATTR inline unsigned int sineGroups(float* values, unsigned int count) noexcept {
    using Doubles = Vec<double, N>;
    using Ints = Vec<std::int32_t, N>;
    unsigned int i = 0;
    for (; i + N <= count; i += N) {
        const Vec<float, N> angle = load<N>(values + i);
        const auto belowLimit = angle < sine::replicaLimit;
        const bool noneTiny = allLanes((angle >= sine::tiny) & belowLimit);  // nearly every group
        if (!noneTiny && !allLanes((angle >= 0.0f) & belowLimit)) {
            for (int k = 0; k < N; ++k) values[i + k] = sineOf(values[i + k]);
            continue;
        }
        const auto x = promote<Doubles>(angle);
        auto n = __builtin_convertvector(x * sine::twoOverPiScaled, Ints);
        n = (n + 0x800000) >> 24;
        const Doubles r = x - promote<Doubles>(n) * sine::halfPi;
        const Doubles r2 = r * r;
        // Neighbouring angles of an oscillator nearly always share a quadrant's parity, so only
        // one polynomial is usually needed, and no choice between them.
        const int oddLanes = signBits(n << 31);
        Doubles sinePart{}, cosinePart{};
        if (oddLanes != (1 << N) - 1) {
            const Doubles r3 = r * r2;
            sinePart = (r3 * r2) * (r2 * sine::sin3 + sine::sin2) + (r3 * sine::sin1 + r);
        }
        if (oddLanes != 0) {
            const Doubles r4 = r2 * r2;
            cosinePart =
                (r4 * r2) * (r2 * sine::cos4 + sine::cos3) + (r4 * sine::cos2 + (r2 * sine::cos1 + sine::cos0));
        }
        Doubles value = oddLanes == 0 ? sinePart : cosinePart;
        if (oddLanes != 0 && oddLanes != (1 << N) - 1)
            value = (promote<Vec<std::int64_t, N>>(n) & 1) != 0 ? cosinePart : sinePart;
        // Negated when n & 2: rounding is symmetric, so the sign bit flips after it as well as before.
        const auto sines = Vec<float, N>(Ints(__builtin_convertvector(value, Vec<float, N>)) ^ ((n & 2) << 30));
        store(values + i, noneTiny ? sines : (angle < sine::tiny ? angle : sines));  // below tiny, the angle itself
    }
    return i;
}

/// values[i] = sinf(values[i]) for i < count, bit for bit.
ORVANE_LEVEL_ATTR inline void sineInPlace(float* values, unsigned int count) noexcept {
    constexpr int lanes = ORVANE_LEVEL_BYTES / 8;
    unsigned int i = 0;
#if ORVANE_LEVEL_OWN_SINE
    i = sineGroups<lanes>(values, count);
#else
    // Four doubles fill 256 bits: the baseline has no replica lanes.
    if constexpr (lanes >= 4) {
        if (audio::sineReplicaInUse()) {
            i = sineGroups<lanes>(values, count);
            if constexpr (lanes > 4) i += sineGroups<4>(values + i, count - i);
        }
    }
#endif
    for (; i < count; ++i) values[i] = sineOf(values[i]);
}

/// phases[k] = start + k * stride, each rounded once to float, for k < count.
ORVANE_LEVEL_ATTR inline void fillSeries(Target, float* phases, int count, double start, double stride) noexcept {
    for (int k = 0; k < count; ++k) phases[k] = static_cast<float>(start + static_cast<double>(k) * stride);
}

/// out[i] = sin(2 pi phases[i] + phaseOffset) * amplitude + offset for i < steps, the angle
/// formed in double and rounded once.
ORVANE_LEVEL_ATTR inline void shapePiece(Target, const float* phases, float* out, unsigned int steps, float phaseOffset,
                                         float amplitude, float offset) noexcept {
    using audio::flushed;
    for (unsigned int i = 0; i < steps; ++i)
        out[i] = flushed(static_cast<float>(static_cast<double>(phases[i]) * 6.283185307179586 + double{phaseOffset}));
    sineInPlace(out, steps);
    for (unsigned int i = 0; i < steps; ++i) out[i] = flushed(flushed(out[i] * amplitude) + offset);
}

/// The oscillator's block at this level, for LFO::process to pick.
inline void stepOscillator(audio::LFO& oscillator, int sampleRate, float* output, unsigned int count) noexcept {
    oscillator.process(Target{}, sampleRate, output, count);
}

}  // namespace orvane::lanes::ORVANE_LEVEL

#endif  // per-level toggle guard
