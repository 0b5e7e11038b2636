// Swept reads in groups of lanes, for one level (see ForEachLevel.h). Each group gives what
// sweptSample gives sample by sample, the line's contents included, or leaves it to sweptSample.
namespace orvane::lanes::ORVANE_LEVEL {

/// Slots and weights of N interpolated reads at write slots firstWrite ... firstWrite + N - 1.
/// fits holds when the group can run in lanes: every position in [0, 2 * capacity), where the
/// reduction is exact; no lane's two slots straddle the end of the ring; and no lane reads a
/// slot the group writes on the other side of it in sample order.
template <int N>
struct Taps {
    Vec<std::int32_t, N> earlier;  // the later slot is the next one
    Vec<float, N> frac;
    bool fits;
};

/// A group either writes every lane and then reads (writesFirst: what enters the line does
/// not depend on the read), so lane k must not read the slots of lanes after it, or reads
/// every lane and then writes, so lane k must not read the slots of lanes before it.
template <int N>
ORVANE_LEVEL_ATTR inline Taps<N> sweptTaps(int firstWrite, Vec<float, N> sweep, float baseDelay, int capacity,
                                           bool writesFirst) noexcept {
    using Floats = Vec<float, N>;
    using Ints = Vec<std::int32_t, N>;
    using Unsigned = Vec<std::uint32_t, N>;
    const Ints lane = laneNumbers<N>();
    const auto size = static_cast<float>(capacity);
    // The arithmetic of sweptReadPosition and CircularBuffer::interpolate, lane by lane.
    const Floats position = ((__builtin_convertvector(firstWrite + lane, Floats) - sweep) - baseDelay) + size;
    const auto inRing = (position >= 0.0f) & (position < size + size);
    const Floats reduced = inRing ? (position >= size ? position - size : position) : Floats{};
    const Ints index = __builtin_convertvector(reduced, Ints);  // truncation is floor in the ring
    const Floats base = reinterpret_cast<Floats>(reinterpret_cast<Ints>(__builtin_convertvector(index, Floats)) |
                                                 (reinterpret_cast<Ints>(reduced) & INT32_MIN));  // -0.0 keeps its sign
    // Slots low ... low + span - 1 are the ones lane k must not read.
    const Ints low = writesFirst ? firstWrite + lane + 1 : Ints{} + firstWrite;
    const Unsigned span = reinterpret_cast<Unsigned>(writesFirst ? (N - 1) - lane : lane);
    const auto crosses = (reinterpret_cast<Unsigned>(index - low) < span) |
                         (reinterpret_cast<Unsigned>(index + 1 - low) < span) | (index == capacity - 1);
    return {index, reduced - base, allLanes(inRing & ~crosses)};
}

/// earlier * (1 - frac) + frac * later per lane: the product frac * later in single precision,
/// the rest in double, rounded once.
template <int N>
ORVANE_LEVEL_ATTR inline Vec<float, N> blend(Vec<float, N> earlier, Vec<float, N> later, Vec<float, N> frac) noexcept {
    using Floats = Vec<float, N>;
    using Doubles = Vec<double, N>;
    if constexpr (sizeof(Doubles) > ORVANE_LEVEL_BYTES) {  // the doubles of each half fill the registers
        const auto e = split(earlier), l = split(later), f = split(frac);
        return join(blend<N / 2>(e.low, l.low, f.low), blend<N / 2>(e.high, l.high, f.high));
    } else {
        const Floats upper = frac * later;
        return __builtin_convertvector(
            promote<Doubles>(earlier) * (1.0 - promote<Doubles>(frac)) + promote<Doubles>(upper), Floats);
    }
}

/// The slots at and after each lane's slot: each lane's two are adjacent, so one 64-bit
/// load fetches both.
template <int N>
ORVANE_LEVEL_ATTR inline void gatherPairs(const float* data, Vec<std::int32_t, N> slots, Vec<float, N>& earlier,
                                          Vec<float, N>& later) noexcept {
    if constexpr (N <= 4) {
        Vec<float, 4> pairs[4] = {};  // lane k's two slots in the low half of pairs[k]
        for (int k = 0; k < N; ++k) pairs[k] = loadPair(data + slots[k]);
        const Vec<float, 4> low = __builtin_shufflevector(pairs[0], pairs[1], 0, 4, 1, 5);   // e0 e1 l0 l1
        const Vec<float, 4> high = __builtin_shufflevector(pairs[2], pairs[3], 0, 4, 1, 5);  // e2 e3 l2 l3
        if constexpr (N == 4) {
            earlier = __builtin_shufflevector(low, high, 0, 1, 4, 5);
            later = __builtin_shufflevector(low, high, 2, 3, 6, 7);
        } else {
            earlier = __builtin_shufflevector(low, low, 0, 1);
            later = __builtin_shufflevector(low, low, 2, 3);
        }
    } else {
        const auto halves = split(slots);
        Vec<float, N / 2> lowEarlier, lowLater, highEarlier, highLater;
        gatherPairs<N / 2>(data, halves.low, lowEarlier, lowLater);
        gatherPairs<N / 2>(data, halves.high, highEarlier, highLater);
        earlier = join(lowEarlier, highEarlier);
        later = join(lowLater, highLater);
    }
}

/// The interpolated reads of a group that fits.
template <int N>
ORVANE_LEVEL_ATTR inline Vec<float, N> interpolate(const float* data, const Taps<N>& taps) noexcept {
    Vec<float, N> earlier, later;
    gatherPairs<N>(data, taps.earlier, earlier, later);
    return blend<N>(earlier, later, taps.frac);
}

/// The Wiring's formulas for N lanes: before the read, what enters the line of a Wiring that
/// writes first; after it, what enters the line of one that does not, and the output. The
/// formulas take at most four lanes, which every level passes alike.
template <int N, bool beforeRead, typename Wiring>
ORVANE_LEVEL_ATTR inline void mixInto(float* slots, float* samples, Vec<float, N> x, Vec<float, N> delayed,
                                      const Wiring& wiring) noexcept {
    if constexpr (N > 4) {
        const auto xs = split(x), reads = split(delayed);
        mixInto<N / 2, beforeRead>(slots, samples, xs.low, reads.low, wiring);
        mixInto<N / 2, beforeRead>(slots + N / 2, samples + N / 2, xs.high, reads.high, wiring);
    } else if constexpr (beforeRead) {
        store(slots, wiring.lineInput(x, x));
    } else {
        if constexpr (!Wiring::writesFirst) store(slots, wiring.lineInput(x, delayed));
        store(samples, wiring.output(x, delayed));
    }
}

template <int N, typename Wiring>
ORVANE_LEVEL_ATTR inline void sweptGroup(const audio::SweptLines&, std::uint32_t, int, const float*, float,
                                         const Wiring&) noexcept;

/// A group that does not fit: two of half the width, and pairs one sample at a time. Kept
/// out of line, so that the common path stays small enough to inline.
template <int N, typename Wiring>
[[gnu::noinline]] ORVANE_LEVEL_ATTR void sweptHalves(const audio::SweptLines& set, std::uint32_t offset, int write,
                                                     const float* sweep, float baseDelay,
                                                     const Wiring& wiring) noexcept {
    if constexpr (N > 2) {
        sweptGroup<N / 2>(set, offset, write, sweep, baseDelay, wiring);
        sweptGroup<N / 2>(set, offset + N / 2, write + N / 2, sweep + N / 2, baseDelay, wiring);
    } else {
        for (std::uint32_t c = 0; c < set.count; ++c)
            for (int k = 0; k < N; ++k) {
                float& sample = set.samples[c][offset + k];
                sample = audio::sweptSample(set.lines[c], write + k, sample, sweep[k], baseDelay, wiring);
            }
    }
}

/// N samples of every line of the set, at samples offset ..., writing slots write ... + N - 1.
template <int N, typename Wiring>
ORVANE_LEVEL_ATTR inline void sweptGroup(const audio::SweptLines& set, std::uint32_t offset, int write,
                                         const float* sweep, float baseDelay, const Wiring& wiring) noexcept {
    const Taps<N> taps =
        sweptTaps<N>(write, load<N>(sweep), baseDelay, set.lines[0].getCapacity(), Wiring::writesFirst);
    if (!taps.fits) return sweptHalves<N>(set, offset, write, sweep, baseDelay, wiring);
    for (std::uint32_t c = 0; c < set.count; ++c) {
        float* const samples = set.samples[c] + offset;
        float* const slots = set.lines[c].slots() + write;
        const Vec<float, N> x = load<N>(samples);
        if constexpr (Wiring::writesFirst) mixInto<N, true>(slots, samples, x, x, wiring);
        mixInto<N, false>(slots, samples, x, interpolate<N>(set.lines[c].slots(), taps), wiring);
    }
}

/// count samples of every line of the set, at samples offset ..., whose write slots
/// firstWrite ... firstWrite + count - 1 run on without wrapping.
template <typename Wiring>
ORVANE_LEVEL_ATTR void sweptRun(Target, const audio::SweptLines& set, std::uint32_t offset, int firstWrite,
                                const float* sweep, std::uint32_t count, float baseDelay,
                                const Wiring& wiring) noexcept {
    constexpr int lanes = ORVANE_LEVEL_FLOATS;
    std::uint32_t i = 0;
    for (; i + lanes <= count; i += lanes)
        sweptGroup<lanes>(set, offset + i, firstWrite + static_cast<int>(i), sweep + i, baseDelay, wiring);
    if (i + lanes / 2 <= count) {
        sweptGroup<lanes / 2>(set, offset + i, firstWrite + static_cast<int>(i), sweep + i, baseDelay, wiring);
        i += lanes / 2;
    }
    for (std::uint32_t c = 0; c < set.count; ++c)
        for (std::uint32_t k = i; k < count; ++k) {
            float& sample = set.samples[c][offset + k];
            sample =
                audio::sweptSample(set.lines[c], firstWrite + static_cast<int>(k), sample, sweep[k], baseDelay, wiring);
        }
}

}  // namespace orvane::lanes::ORVANE_LEVEL
