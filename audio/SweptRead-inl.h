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
    using Doubles = Vec<double, N>;
    const Vec<float, N> upper = frac * later;
    return __builtin_convertvector(
        __builtin_convertvector(earlier, Doubles) * (1.0 - __builtin_convertvector(frac, Doubles)) +
            __builtin_convertvector(upper, Doubles),
        Vec<float, N>);
}

/// The interpolated reads of a group that fits.
template <int N>
ORVANE_LEVEL_ATTR inline Vec<float, N> interpolate(const float* data, const Taps<N>& taps) noexcept {
    Vec<float, N> earlier, later;
    for (int k = 0; k < N; ++k) {
        earlier[k] = data[taps.earlier[k]];
        later[k] = data[taps.earlier[k] + 1];
    }
    return blend<N>(earlier, later, taps.frac);
}

/// N samples of every line of the set, at samples offset ..., writing slots write ... + N - 1.
/// A group that does not fit goes as two of half the width, and pairs one sample at a time.
template <int N, typename Mix>
ORVANE_LEVEL_ATTR void sweptGroup(const audio::SweptLines& set, std::uint32_t offset, int write, const float* sweep,
                                  float baseDelay, const Mix& mix) noexcept {
    const Taps<N> taps = sweptTaps<N>(write, load<N>(sweep), baseDelay, set.lines[0].capacity, Mix::writesFirst);
    if (taps.fits) {
        // The Mix's formulas take at most four lanes, which every level passes alike.
        constexpr int part = N < 4 ? N : 4;
        for (std::uint32_t c = 0; c < set.count; ++c) {
            float* const samples = set.samples[c] + offset;
            float* const slots = set.lines[c].data + write;
            if constexpr (Mix::writesFirst)
                for (int k = 0; k < N; k += part)
                    store(slots + k, mix.lineInput(load<part>(samples + k), Vec<float, part>{}));
            float delayed[N];
            store(delayed, interpolate<N>(set.lines[c].data, taps));
            for (int k = 0; k < N; k += part) {
                const Vec<float, part> x = load<part>(samples + k), read = load<part>(delayed + k);
                if constexpr (!Mix::writesFirst) store(slots + k, mix.lineInput(x, read));
                store(samples + k, mix.output(x, read));
            }
        }
    } else if constexpr (N > 2) {
        sweptGroup<N / 2>(set, offset, write, sweep, baseDelay, mix);
        sweptGroup<N / 2>(set, offset + N / 2, write + N / 2, sweep + N / 2, baseDelay, mix);
    } else {
        for (std::uint32_t c = 0; c < set.count; ++c)
            for (int k = 0; k < N; ++k) {
                float& sample = set.samples[c][offset + k];
                sample = audio::sweptSample(set.lines[c], write + k, sample, sweep[k], baseDelay, mix);
            }
    }
}

/// count samples of every line of the set, at samples offset ..., whose write slots
/// firstWrite ... firstWrite + count - 1 lie inside the ring.
template <typename Mix>
ORVANE_LEVEL_ATTR void sweptRun(Target, const audio::SweptLines& set, std::uint32_t offset, int firstWrite,
                                const float* sweep, std::uint32_t count, float baseDelay, const Mix& mix) noexcept {
    constexpr int lanes = ORVANE_LEVEL_FLOATS;
    std::uint32_t i = 0;
    for (; i + lanes <= count; i += lanes)
        sweptGroup<lanes>(set, offset + i, firstWrite + static_cast<int>(i), sweep + i, baseDelay, mix);
    if (i + lanes / 2 <= count) {
        sweptGroup<lanes / 2>(set, offset + i, firstWrite + static_cast<int>(i), sweep + i, baseDelay, mix);
        i += lanes / 2;
    }
    for (std::uint32_t c = 0; c < set.count; ++c)
        for (std::uint32_t k = i; k < count; ++k) {
            float& sample = set.samples[c][offset + k];
            sample =
                audio::sweptSample(set.lines[c], firstWrite + static_cast<int>(k), sample, sweep[k], baseDelay, mix);
        }
}

}  // namespace orvane::lanes::ORVANE_LEVEL
