// The replica of sinf in lanes, for one level (see ForEachLevel.h): the unfused form in
// double precision, for angles in [0, replicaLimit), where both forms agree.
namespace orvane::lanes::ORVANE_LEVEL {

namespace sine = orvane::audio::replicaConstants;

template <int N>
ORVANE_LEVEL_ATTR inline Vec<float, N> replicaLanes(Vec<float, N> angle) noexcept {
    using Doubles = Vec<double, N>;
    using Ints = Vec<std::int32_t, N>;
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
        cosinePart = (r4 * r2) * (r2 * sine::cos4 + sine::cos3) + (r4 * sine::cos2 + (r2 * sine::cos1 + sine::cos0));
    }
    Doubles value = oddLanes == 0 ? sinePart : cosinePart;
    if (oddLanes != 0 && oddLanes != (1 << N) - 1)
        value = (promote<Vec<std::int64_t, N>>(n) & 1) != 0 ? cosinePart : sinePart;
    // Negated when n & 2: rounding is symmetric, so the sign bit flips after it as well as before.
    return Vec<float, N>(Ints(__builtin_convertvector(value, Vec<float, N>)) ^ ((n & 2) << 30));
}

// Groups of N whose angles all lie in [0, replicaLimit); answers how many values it did.
template <int N>
ORVANE_LEVEL_ATTR inline unsigned int sineGroups(float* values, unsigned int count) noexcept {
    unsigned int i = 0;
    for (; i + N <= count; i += N) {
        const Vec<float, N> angle = load<N>(values + i);
        const auto belowLimit = angle < sine::replicaLimit;
        if (allLanes((angle >= sine::tiny) & belowLimit)) {  // nearly every group: no lane below tiny
            store(values + i, replicaLanes<N>(angle));
        } else if (allLanes((angle >= 0.0f) & belowLimit)) {
            store(values + i, angle < sine::tiny ? angle : replicaLanes<N>(angle));  // below tiny, the angle itself
        } else {  // a lane outside the range, or a NaN, sends the group to sinf
            for (int k = 0; k < N; ++k) values[i + k] = std::sin(values[i + k]);
        }
    }
    return i;
}

ORVANE_LEVEL_ATTR inline void sineInPlace(Target, float* values, unsigned int count) noexcept {
    // Four doubles fill 256 bits: the baseline has no replica lanes.
    constexpr int lanes = ORVANE_LEVEL_BYTES / 8;
    unsigned int i = 0;
    if constexpr (lanes >= 4) {
        if (audio::sineReplicaInUse()) {
            i = sineGroups<lanes>(values, count);
            if constexpr (lanes > 4) i += sineGroups<4>(values + i, count - i);
        }
    }
    for (; i < count; ++i) values[i] = std::sin(values[i]);
}

}  // namespace orvane::lanes::ORVANE_LEVEL
