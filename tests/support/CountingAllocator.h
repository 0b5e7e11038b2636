#pragma once

// The allocation gate's counting allocator (CountingAllocator.cpp, linked into the gate
// binary only): the calls a thread makes while its `armed` is set are counted.

#include <atomic>
#include <cstddef>
#include <utility>

namespace orvane {

struct AllocationCounts {
    std::atomic<std::size_t> allocations{0};
    std::atomic<std::size_t> releases{0};
};

extern AllocationCounts counts;
extern thread_local bool armed;

/// Allocations and releases while f runs armed.
template <typename F>
std::pair<std::size_t, std::size_t> countWhileArmed(F&& f) {
    const std::size_t allocations = counts.allocations.load(), releases = counts.releases.load();
    armed = true;
    f();
    armed = false;
    return {counts.allocations.load() - allocations, counts.releases.load() - releases};
}

}  // namespace orvane
