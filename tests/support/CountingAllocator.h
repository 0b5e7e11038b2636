#pragma once

// The allocation gates' counting allocator (CountingAllocator.cpp, linked into the gate
// binaries only): every global allocation and release function is replaced, and the calls
// a thread makes while its `armed` is set are counted.

#include <atomic>
#include <cstddef>

namespace orvane {

struct AllocationCounts {
    std::atomic<std::size_t> allocations{0};
    std::atomic<std::size_t> releases{0};
    std::atomic<std::size_t> callocs{0};
};

extern AllocationCounts counts;
extern thread_local bool armed;

}  // namespace orvane
