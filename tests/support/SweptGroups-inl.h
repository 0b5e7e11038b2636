// The swept pass's groups at one level (see audio/lanes/ForEachLevel.h), driven with sweeps a
// test chooses: a line's samples in groups of the level's widths, as sweptPass runs a line set
// after its oscillator.
#if defined(ORVANE_TESTS_SWEPT_GROUPS_INL_H) == ORVANE_LEVEL_TOGGLE
#ifdef ORVANE_TESTS_SWEPT_GROUPS_INL_H
#undef ORVANE_TESTS_SWEPT_GROUPS_INL_H
#else
#define ORVANE_TESTS_SWEPT_GROUPS_INL_H
#endif

#include "audio/lanes/SweptRead-inl.h"

namespace orvane::lanes::ORVANE_LEVEL {

template <Topology topology, int N>
ORVANE_LEVEL_ATTR void groupOrMisfit(const Run& run, std::uint32_t at, int write, const float* sweep) noexcept {
    if (!group<topology, N>(run, at, write, sweep)) misfit<topology, N>(run, at, write, sweep);
}

/// count samples through line in place, the sweep given.
template <Topology topology>
ORVANE_LEVEL_ATTR void runInGroups(const audio::SweptEffect& effect, audio::CircularBuffer& line, float* samples,
                                   const float* sweep, std::uint32_t count) noexcept {
    float* const rows[1] = {samples};
    const Run run{&line, rows, 1, line.getCapacity(), effect};
    int write = line.getWritePointer();
    for (std::uint32_t i = 0; i < count;) {  // no group across the ring's end
        const std::uint32_t end = i + std::min(count - i, static_cast<std::uint32_t>(run.capacity - write));
        for (; i + groupLanes <= end; i += groupLanes, write += groupLanes)
            groupOrMisfit<topology, groupLanes>(run, i, write, sweep + i);
        if constexpr (groupLanes > 8)
            for (; i + 8 <= end; i += 8, write += 8) groupOrMisfit<topology, 8>(run, i, write, sweep + i);
        for (; i + 2 <= end; i += 2, write += 2) groupOrMisfit<topology, 2>(run, i, write, sweep + i);
        for (; i < end; ++i, ++write) groupOrMisfit<topology, 1>(run, i, write, sweep + i);
        if (write == run.capacity) write = 0;
    }
    line.setWritePointer(write);
}

/// Whether a group of the widest lanes at write slot write reads its slots from a window.
ORVANE_LEVEL_ATTR inline bool readsFromWindow(int write, const float* sweep, float baseDelay, int capacity) noexcept {
    return tapsOf<groupLanes>(write, load<groupLanes>(sweep), baseDelay, capacity, false).window >= 0;
}

}  // namespace orvane::lanes::ORVANE_LEVEL

#endif  // per-level toggle guard
