// The swept pass for one level (see ForEachLevel.h): the oscillator, the sweep, then the lines
// in groups of lanes. A group leaves the output and the line as sweptSample leaves them sample
// by sample. The ring position (tapsOf), the interpolation (neighbours, blend) and the
// topology's order (throughLine) are each written once, for every width and for one lane.
#if defined(ORVANE_AUDIO_LANES_SWEPT_READ_INL_H) == ORVANE_LEVEL_TOGGLE
#ifdef ORVANE_AUDIO_LANES_SWEPT_READ_INL_H
#undef ORVANE_AUDIO_LANES_SWEPT_READ_INL_H
#else
#define ORVANE_AUDIO_LANES_SWEPT_READ_INL_H
#endif

#include <algorithm>

#include "audio/SweptRead.h"
#include "audio/lanes/Lanes-inl.h"

namespace orvane::lanes::ORVANE_LEVEL {

using audio::Topology;

/// Lanes of the widest group: as many as the level's registers hold.
inline constexpr int groupLanes = ORVANE_LEVEL_BYTES >= 64 ? 16 : ORVANE_LEVEL_BYTES >= 32 ? 8 : 4;

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
    int usable = 0;   // (asked for) bit k: lane k's read lies in the ring and not across its end
    int window = -1;  // first of 2 * N slots in the ring that hold every lane's two, or -1
};

template <int N, bool askUsable = false>
ORVANE_LEVEL_ATTR inline Taps<N> tapsOf(int firstWrite, Vec<float, N> sweep, float baseDelay, int capacity,
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
    if constexpr (askUsable) taps.usable = signBits(inRing & ~atEnd);
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
        Vec<float, N> upper = frac * later;
        audio::flush(upper);
        const Doubles value = promote<Doubles>(earlier) * (1.0 - promote<Doubles>(frac)) + promote<Doubles>(upper);
        Vec<float, N> result = __builtin_convertvector(value, Vec<float, N>);
        audio::flush(result);
        return result;
    }
}

template <int N>
struct Neighbours {
    Vec<float, N> earlier, later;
};

/// The two slots of each read of a group that fits: picked from its window of the ring
/// (windowed), else with one 64-bit load per lane of its two adjacent slots.
template <int N, bool windowed>
ORVANE_LEVEL_ATTR inline Neighbours<N> neighbours(const float* slots, const Taps<N>& taps) noexcept {
    if constexpr (windowed) {
#if ORVANE_LEVEL_BYTES >= 64
        const Window<N> window(slots + taps.window);
        const Vec<std::int32_t, N> at = taps.earlier - taps.window;
        return {window.pick(at), window.pick(at + 1)};
#endif
    } else if constexpr (N == 1) {
        return {Vec<float, 1>{slots[taps.earlier[0]]}, Vec<float, 1>{slots[taps.earlier[0] + 1]}};
    } else {
        static_assert(N <= 4, "a line goes through groups of more than four lanes in halves");
        Vec<float, 4> pairs[4] = {};
        for (int k = 0; k < N; ++k) pairs[k] = loadPair(slots + taps.earlier[k]);
        const Vec<float, 4> low = __builtin_shufflevector(pairs[0], pairs[1], 0, 4, 1, 5);   // e0 e1 l0 l1
        const Vec<float, 4> high = __builtin_shufflevector(pairs[2], pairs[3], 0, 4, 1, 5);  // e2 e3 l2 l3
        if constexpr (N == 2)
            return {__builtin_shufflevector(low, low, 0, 1), __builtin_shufflevector(low, low, 2, 3)};
        else
            return {__builtin_shufflevector(low, high, 0, 1, 4, 5), __builtin_shufflevector(low, high, 2, 3, 6, 7)};
    }
}

/// N samples of one line through a group that fits, in the topology's order: the samples enter
/// the line before the reads (writesFirst), or after them, computed from them. Without a window
/// the reads are gathered four lanes at a time, and so the whole goes in halves down to four:
/// the halves' reads fit as the group's do, so they see what they would see in one.
template <Topology topology, int N, bool windowed>
ORVANE_LEVEL_ATTR inline void throughLine(const audio::SweptEffect& effect, float* slots, int write, float* samples,
                                          const Taps<N>& taps) noexcept {
    if constexpr (!windowed && N > 4) {
        const auto at = split(taps.earlier);
        const auto frac = split(taps.frac);
        throughLine<topology, N / 2, false>(effect, slots, write, samples, {at.low, frac.low, true});
        throughLine<topology, N / 2, false>(effect, slots, write + N / 2, samples + N / 2, {at.high, frac.high, true});
    } else {
        const Vec<float, N> x = load<N>(samples);
        Vec<float, N> result;
        if constexpr (audio::writesFirst(topology)) {
            audio::lineInput<topology>(result, x, x, effect);
            store(slots + write, result);
        }
        const Neighbours<N> read = neighbours<N, windowed>(slots, taps);
        const Vec<float, N> delayed = blend<N>(read.earlier, read.later, taps.frac);
        if constexpr (!audio::writesFirst(topology)) {
            audio::lineInput<topology>(result, x, delayed, effect);
            store(slots + write, result);
        }
        audio::output<topology>(result, x, delayed, effect);
        store(samples, result);
    }
}

/// What every group of a line set's run shares.
struct Run {
    audio::CircularBuffer* lines;
    float* const* rows;  // rows[c]: line c's samples of the piece
    std::uint32_t count;
    int capacity;
    audio::SweptEffect effect;
};

/// Samples at ... at + N - 1 of every line of the run, writing slots write ... + N - 1, if
/// they fit in lanes; answers whether they did (misfit takes the others).
template <Topology topology, int N>
ORVANE_LEVEL_ATTR inline bool group(const Run& run, std::uint32_t at, int write, const float* sweep) noexcept {
    const auto taps =
        tapsOf<N>(write, load<N>(sweep), run.effect.baseDelay, run.capacity, audio::writesFirst(topology));
    if (!taps.fits) return false;
    if constexpr (N >= 8 && ORVANE_LEVEL_BYTES >= 64)
        if (taps.window >= 0) {
            for (std::uint32_t c = 0; c < run.count; ++c)
                throughLine<topology, N, true>(run.effect, run.lines[c].slots(), write, run.rows[c] + at, taps);
            return true;
        }
    for (std::uint32_t c = 0; c < run.count; ++c)
        throughLine<topology, N, false>(run.effect, run.lines[c].slots(), write, run.rows[c] + at, taps);
    return true;
}

/// A group that does not fit, out of line so that the group that fits stays small. Where the
/// line takes what it reads (not writesFirst), lanes reach the group's own writes only when the
/// delay d (lane 0's write slot minus its earlier slot) is about the group's width or less; a
/// half of N / 2 lanes stays clear of its own writes once every lane's delay exceeds N / 2, and
/// d > N / 2 + 1 keeps a slot for the sweep's drift across the group: the group then goes as
/// two halves. Otherwise (a shorter delay; writesFirst, whose lanes fit at any width once they
/// read behind their writes; a read outside the ring or across its end; two lanes) lane by lane
/// in sample order from its taps, through sweptSample where they do not hold.
template <Topology topology, int N>
[[gnu::noinline]] ORVANE_LEVEL_ATTR void misfit(const Run& run, std::uint32_t at, int write,
                                                const float* sweep) noexcept {
    const auto taps =
        tapsOf<N, true>(write, load<N>(sweep), run.effect.baseDelay, run.capacity, audio::writesFirst(topology));
    if constexpr (N > 2 && !audio::writesFirst(topology))
        if (taps.usable == (1 << N) - 1 && write - taps.earlier[0] > N / 2 + 1) {
            for (int half = 0; half < N; half += N / 2)
                if (!group<topology, N / 2>(run, at + half, write + half, sweep + half))
                    misfit<topology, N / 2>(run, at + half, write + half, sweep + half);
            return;
        }
    for (std::uint32_t c = 0; c < run.count; ++c) {
        audio::CircularBuffer& line = run.lines[c];
        float* const samples = run.rows[c] + at;
        for (int k = 0; k < N; ++k) {
            if ((taps.usable >> k & 1) != 0)
                throughLine<topology, 1, false>(
                    run.effect, line.slots(), write + k, samples + k,
                    Taps<1>{Vec<std::int32_t, 1>{taps.earlier[k]}, Vec<float, 1>{taps.frac[k]}, true});
            else
                samples[k] = audio::sweptSample<topology>(line, write + k, samples[k], sweep[k], run.effect);
        }
    }
}

/// One piece (audio::SweptPass): the oscillator runs ahead, its output widened into the sweep
/// in place; then the lines that share a write pointer (all of them, while every block has
/// every channel), eight at most together, so that each group's taps serve them all, in runs
/// between the points where the write pointer wraps, in groups of as many lanes as the level's
/// registers hold (sixteen with AVX-512, whose windows spare the gathers).
template <Topology topology>
ORVANE_LEVEL_ATTR void sweptPass(const audio::SweptEffect& effect, audio::LFO& oscillator, const audio::LineSet& set,
                                 const audio::SweptPiece& piece) noexcept {
    float sweep[audio::maxSweptPiece];
    oscillator.process(Target{}, static_cast<int>(piece.sampleRate), sweep, piece.steps);
    for (std::uint32_t i = 0; i < piece.steps; ++i)
        sweep[i] = audio::flushed(sweep[i] * piece.width) * static_cast<float>(piece.sampleRate);

    constexpr std::uint32_t maxTogether = 8;
    float* rows[maxTogether];
    for (std::uint32_t first = 0; first < set.count;) {
        Run run{set.lines + first, rows, 0, set.lines[first].getCapacity(), effect};
        const int firstWrite = set.lines[first].getWritePointer();
        for (; run.count < maxTogether && first + run.count < set.count; ++run.count) {
            const audio::CircularBuffer& line = run.lines[run.count];
            if (line.getWritePointer() != firstWrite || line.getCapacity() != run.capacity) break;
            rows[run.count] = piece.block.getChannelData(set.firstChannel + first + run.count) + piece.start;
        }
        int write = firstWrite;
        for (std::uint32_t i = 0; i < piece.steps;) {
            const std::uint32_t end = i + std::min(piece.steps - i, static_cast<std::uint32_t>(run.capacity - write));
            for (; i + groupLanes <= end; i += groupLanes, write += groupLanes)
                if (!group<topology, groupLanes>(run, i, write, sweep + i))
                    misfit<topology, groupLanes>(run, i, write, sweep + i);
            if constexpr (groupLanes > 8)
                for (; i + 8 <= end; i += 8, write += 8)
                    if (!group<topology, 8>(run, i, write, sweep + i)) misfit<topology, 8>(run, i, write, sweep + i);
            for (; i + 2 <= end; i += 2, write += 2)
                if (!group<topology, 2>(run, i, write, sweep + i)) misfit<topology, 2>(run, i, write, sweep + i);
            for (; i < end; ++i, ++write)
                if (!group<topology, 1>(run, i, write, sweep + i)) misfit<topology, 1>(run, i, write, sweep + i);
            if (write == run.capacity) write = 0;
        }
        for (std::uint32_t c = 0; c < run.count; ++c) run.lines[c].setWritePointer(write);
        first += run.count;
    }
}

}  // namespace orvane::lanes::ORVANE_LEVEL

#endif  // per-level toggle guard
