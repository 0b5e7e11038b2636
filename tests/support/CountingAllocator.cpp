// Replaces the C library's allocation and release functions in the binary it is linked into
// and counts the calls made on a thread while that thread has `armed` set. The C++ forms
// (new, new[], nothrow and aligned new, and their deletes) reach these in libstdc++; the
// gate's own test proves it for each form, so a library that did otherwise would be noticed.

#include "CountingAllocator.h"

#include <cstddef>
#include <cstdlib>

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
void __libc_free(void* pointer);
void* __libc_memalign(std::size_t alignment, std::size_t size);
}

namespace orvane {

AllocationCounts counts;
thread_local bool armed = false;

}  // namespace orvane

namespace {

using orvane::armed;
using orvane::counts;

void noteAllocation() noexcept {
    if (armed) counts.allocations.fetch_add(1, std::memory_order_relaxed);
}

void noteRelease(const void* pointer) noexcept {
    if (armed && pointer) counts.releases.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

extern "C" {

void* malloc(std::size_t size) noexcept {
    noteAllocation();
    return __libc_malloc(size);
}

void* calloc(std::size_t count, std::size_t size) noexcept {
    noteAllocation();
    return __libc_calloc(count, size);
}

void* realloc(void* pointer, std::size_t size) noexcept {
    noteAllocation();
    return __libc_realloc(pointer, size);
}

void free(void* pointer) noexcept {
    noteRelease(pointer);
    __libc_free(pointer);
}

void* aligned_alloc(std::size_t alignment, std::size_t size) noexcept {
    noteAllocation();
    return __libc_memalign(alignment, size);
}

void* memalign(std::size_t alignment, std::size_t size) noexcept {
    noteAllocation();
    return __libc_memalign(alignment, size);
}

int posix_memalign(void** result, std::size_t alignment, std::size_t size) noexcept {
    noteAllocation();
    if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) return 22;  // EINVAL
    void* pointer = __libc_memalign(alignment, size);
    if (!pointer) return 12;  // ENOMEM
    *result = pointer;
    return 0;
}

}  // extern "C"
