#pragma once

// The allocation gate's counting allocator (CountingAllocator.cpp, linked into the gate
// binary only): the calls a thread makes while its `armed` is set are counted.

#include <atomic>
#include <cstddef>

namespace orvane {

struct AllocationCounts {
    std::atomic<std::size_t> allocations{0};
    std::atomic<std::size_t> releases{0};
};

extern AllocationCounts counts;
extern thread_local bool armed;

}  // namespace orvane
