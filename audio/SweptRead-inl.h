// Swept reads in groups of lanes, for one level (see ForEachLevel.h). A group leaves the
// output and the line as sweptSample leaves them sample by sample, or leaves it to sweptSample.
namespace orvane::lanes::ORVANE_LEVEL {

/// Slots and weights of N reads at write slots firstWrite ... firstWrite + N - 1, and whether
/// the group fits in lanes: every position in [0, 2 * capacity), where the reduction is exact;
/// no lane's two slots across the end of the ring; no lane reading a slot written on its other
/// side in sample order. A group writes every lane first when what enters the line does not
/// depend on the read (writesFirst), so lane k must not read later lanes' slots; otherwise it
/// reads first, so lane k must not read earlier lanes' slots.
template <int N>
struct Taps {
    Vec<std::int32_t, N> earlier;  // the later slot is the next one
    Vec<float, N> frac;
    bool fits;
    bool inOrder = false;  // (asked for) every read in the ring and none across its end
    int window = -1;       // first of 2 * N slots in the ring that hold every lane's two, or -1
};

template <int N, bool askInOrder = false>
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
    const Floats base = Floats(Ints(__builtin_convertvector(index, Floats)) | (Ints(reduced) & INT32_MIN));  // -0.0
    // Lane k reads slots index and index + 1: it must not start in first ... first + span - 1.
    const Ints first = writesFirst ? firstWrite + lane : Ints{} + (firstWrite - 1);
    const Ints none{};
    const auto span = Unsigned(writesFirst ? (lane < N - 1 ? N - lane : none) : (lane > 0 ? lane + 1 : none));
    const auto atEnd = index == capacity - 1;
    Taps<N> taps{index, reduced - base, allLanes(inRing & ~((Unsigned(index - first) < span) | atEnd))};
    if constexpr (askInOrder) taps.inOrder = allLanes(inRing & ~atEnd);
    // A sweep moves the reads about a slot per sample: N reads and their neighbours mostly lie
    // in the 2 N slots from the first lane's on, which a Window (AVX-512) holds.
    if constexpr (N >= 8 && ORVANE_LEVEL_BYTES >= 64)
        if (taps.fits && index[0] <= capacity - 2 * N && allLanes(Unsigned(index - index[0]) < 2 * N - 1u))
            taps.window = index[0];
    return taps;
}

/// earlier * (1 - frac) + frac * later per lane: the product frac * later in single precision,
/// the rest in double, rounded once.
template <int N>
ORVANE_LEVEL_ATTR inline Vec<float, N> blend(Vec<float, N> earlier, Vec<float, N> later, Vec<float, N> frac) noexcept {
    using Doubles = Vec<double, N>;
    if constexpr (sizeof(Doubles) > ORVANE_LEVEL_BYTES) {  // each half's doubles fill the registers
        const auto e = split(earlier), l = split(later), f = split(frac);
        return join(blend<N / 2>(e.low, l.low, f.low), blend<N / 2>(e.high, l.high, f.high));
    } else {
        const Vec<float, N> upper = frac * later;
        const Doubles value = promote<Doubles>(earlier) * (1.0 - promote<Doubles>(frac)) + promote<Doubles>(upper);
        return __builtin_convertvector(value, Vec<float, N>);
    }
}

/// The interpolated reads of a group that fits: picked from its window of the ring
/// (windowed), else with one 64-bit load per lane of its two adjacent slots.
template <int N, bool windowed = false>
ORVANE_LEVEL_ATTR inline Vec<float, N> interpolate(const float* data, const Taps<N>& taps) noexcept {
#if ORVANE_LEVEL_BYTES >= 64
    if constexpr (windowed) {
        const Window<N> window(data + taps.window);
        const Vec<std::int32_t, N> at = taps.earlier - taps.window;
        return blend<N>(window.pick(at), window.pick(at + 1), taps.frac);
    }
#endif
    if constexpr (N > 4) {
        const auto slots = split(taps.earlier);
        const auto fracs = split(taps.frac);
        return join(interpolate<N / 2>(data, {slots.low, fracs.low, true}),
                    interpolate<N / 2>(data, {slots.high, fracs.high, true}));
    } else {
        Vec<float, 4> pairs[4] = {};
        for (int k = 0; k < N; ++k) pairs[k] = loadPair(data + taps.earlier[k]);
        const Vec<float, 4> low = __builtin_shufflevector(pairs[0], pairs[1], 0, 4, 1, 5);   // e0 e1 l0 l1
        const Vec<float, 4> high = __builtin_shufflevector(pairs[2], pairs[3], 0, 4, 1, 5);  // e2 e3 l2 l3
        if constexpr (N == 2)
            return blend<2>(__builtin_shufflevector(low, low, 0, 1), __builtin_shufflevector(low, low, 2, 3),
                            taps.frac);
        else
            return blend<4>(__builtin_shufflevector(low, high, 0, 1, 4, 5),
                            __builtin_shufflevector(low, high, 2, 3, 6, 7), taps.frac);
    }
}

/// The Wiring's formulas: before the read, the line input of a Wiring that writes first; after
/// it, the other's line input and the output.
template <int N, bool beforeRead, typename Wiring>
ORVANE_LEVEL_ATTR inline void wire(float* slots, float* samples, const Vec<float, N>& x, const Vec<float, N>& delayed,
                                   const Wiring& wiring) noexcept {
    Vec<float, N> result;
    if constexpr (beforeRead) {
        wiring.lineInput(result, x, x);
        store(slots, result);
    } else {
        if constexpr (!Wiring::writesFirst) {
            wiring.lineInput(result, x, delayed);
            store(slots, result);
        }
        wiring.output(result, x, delayed);
        store(samples, result);
    }
}

/// What every group of a run shares, read once per run (passed by value, so that the calls
/// of the rarer paths do not make the groups load it again).
struct Run {
    const audio::SweptLines* set;
    int capacity;
    float baseDelay;
};

/// count samples of every line of the set, at samples offset ..., one by one.
template <typename Wiring>
void sweptSamples(Run run, std::uint32_t offset, int write, const float* sweep, std::uint32_t count,
                  const Wiring& wiring) noexcept {
    const audio::SweptLines& set = *run.set;
    for (std::uint32_t c = 0; c < set.count; ++c)
        for (std::uint32_t k = 0; k < count; ++k) {
            float& sample = set.samples[c][offset + k];
            sample =
                audio::sweptSample(set.lines[c], write + static_cast<int>(k), sample, sweep[k], run.baseDelay, wiring);
        }
}

template <int N, typename Wiring>
ORVANE_LEVEL_ATTR inline void sweptGroup(Run run, std::uint32_t offset, int write, const float* sweep,
                                         const Wiring& wiring) noexcept;

/// A group that does not fit. Where every read lies in the ring but some reach the group's
/// own writes, and its halves would not fit either (delays under about half a group: the
/// flanger's shortest), lane by lane in sample order from its taps; otherwise two groups of
/// half the width, pairs one by one. Out of line, so that the group that fits stays small.
template <int N, typename Wiring>
[[gnu::noinline]] ORVANE_LEVEL_ATTR void sweptMisfit(Run run, std::uint32_t offset, int write, const float* sweep,
                                                     const Wiring& wiring) noexcept {
    if constexpr (N == 2) {
        sweptSamples(run, offset, write, sweep, N, wiring);
    } else {
        const auto taps = sweptTaps<N, true>(write, load<N>(sweep), run.baseDelay, run.capacity, Wiring::writesFirst);
        if (!taps.inOrder || (N > 8 && static_cast<unsigned>(write - taps.earlier[0]) > N / 2 + 1)) {
            sweptGroup<N / 2>(run, offset, write, sweep, wiring);
            return sweptGroup<N / 2>(run, offset + N / 2, write + N / 2, sweep + N / 2, wiring);
        }
        for (std::uint32_t c = 0; c < run.set->count; ++c) {
            audio::CircularBuffer& line = run.set->lines[c];
            float* const samples = run.set->samples[c] + offset;
            for (int k = 0; k < N; ++k) {
                const float x = samples[k];
                if constexpr (Wiring::writesFirst) wiring.lineInput(line.slots()[write + k], x, 0.0f);
                const float delayed = line.interpolateAt(taps.earlier[k], taps.frac[k]);
                if constexpr (!Wiring::writesFirst) wiring.lineInput(line.slots()[write + k], x, delayed);
                wiring.output(samples[k], x, delayed);
            }
        }
    }
}

/// Every line of the set through a group that fits, read as interpolate<N, windowed> reads.
template <int N, bool windowed, typename Wiring>
ORVANE_LEVEL_ATTR inline void sweptLines(Run run, std::uint32_t offset, int write, const Taps<N>& taps,
                                         const Wiring& wiring) noexcept {
    for (std::uint32_t c = 0; c < run.set->count; ++c) {
        float* const samples = run.set->samples[c] + offset;
        float* const slots = run.set->lines[c].slots() + write;
        const Vec<float, N> x = load<N>(samples);
        if constexpr (Wiring::writesFirst) wire<N, true>(slots, samples, x, x, wiring);
        wire<N, false>(slots, samples, x, interpolate<N, windowed>(run.set->lines[c].slots(), taps), wiring);
    }
}

/// N samples of every line of the set, at samples offset ..., writing slots write ... + N - 1.
template <int N, typename Wiring>
ORVANE_LEVEL_ATTR inline void sweptGroup(Run run, std::uint32_t offset, int write, const float* sweep,
                                         const Wiring& wiring) noexcept {
    const auto taps = sweptTaps<N>(write, load<N>(sweep), run.baseDelay, run.capacity, Wiring::writesFirst);
    if (!taps.fits) return sweptMisfit<N>(run, offset, write, sweep, wiring);
    if constexpr (N >= 8 && ORVANE_LEVEL_BYTES >= 64)
        if (taps.window >= 0) return sweptLines<N, true>(run, offset, write, taps, wiring);
    sweptLines<N, false>(run, offset, write, taps, wiring);
}

/// count samples of every line of the set, at samples offset ..., whose write slots
/// firstWrite ... firstWrite + count - 1 run on without wrapping: in groups of as many lanes
/// as the level's registers hold (sixteen with AVX-512, whose windows spare the gathers).
template <typename Wiring>
ORVANE_LEVEL_ATTR void sweptRun(Target, const audio::SweptLines& set, std::uint32_t offset, int firstWrite,
                                const float* sweep, std::uint32_t count, float baseDelay,
                                const Wiring& wiring) noexcept {
    constexpr int lanes = ORVANE_LEVEL_BYTES >= 64 ? 16 : ORVANE_LEVEL_BYTES >= 32 ? 8 : 4;
    const Run run{&set, set.lines[0].getCapacity(), baseDelay};
    std::uint32_t i = 0;
    for (; i + lanes <= count; i += lanes)
        sweptGroup<lanes>(run, offset + i, firstWrite + static_cast<int>(i), sweep + i, wiring);
    if constexpr (lanes > 8)
        for (; i + 8 <= count; i += 8)
            sweptGroup<8>(run, offset + i, firstWrite + static_cast<int>(i), sweep + i, wiring);
    for (; i + 2 <= count; i += 2) sweptGroup<2>(run, offset + i, firstWrite + static_cast<int>(i), sweep + i, wiring);
    sweptSamples(run, offset + i, firstWrite + static_cast<int>(i), sweep + i, count - i, wiring);
}

}  // namespace orvane::lanes::ORVANE_LEVEL
