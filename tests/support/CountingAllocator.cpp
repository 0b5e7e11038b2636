// Replaces every global allocation and release function of the binary it is linked into
// and counts the calls made on a thread while that thread has `armed` set.

#include "CountingAllocator.h"

#include <cstddef>
#include <cstdlib>
#include <new>

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

void* allocateOrThrow(std::size_t size) {
    noteAllocation();
    void* pointer = __libc_malloc(size == 0 ? 1 : size);
    if (!pointer) throw std::bad_alloc();
    return pointer;
}

void* allocateAlignedOrThrow(std::size_t size, std::align_val_t alignment) {
    noteAllocation();
    void* pointer = __libc_memalign(static_cast<std::size_t>(alignment), size == 0 ? 1 : size);
    if (!pointer) throw std::bad_alloc();
    return pointer;
}

void* allocateOrNull(std::size_t size) noexcept {
    noteAllocation();
    return __libc_malloc(size == 0 ? 1 : size);
}

void* allocateAlignedOrNull(std::size_t size, std::align_val_t alignment) noexcept {
    noteAllocation();
    return __libc_memalign(static_cast<std::size_t>(alignment), size == 0 ? 1 : size);
}

void release(void* pointer) noexcept {
    noteRelease(pointer);
    __libc_free(pointer);
}

}  // namespace

extern "C" {

void* malloc(std::size_t size) noexcept {
    noteAllocation();
    return __libc_malloc(size);
}

void* calloc(std::size_t count, std::size_t size) noexcept {
    noteAllocation();
    if (armed) counts.callocs.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}

void* realloc(void* pointer, std::size_t size) noexcept {
    noteAllocation();
    return __libc_realloc(pointer, size);
}

void free(void* pointer) noexcept { release(pointer); }

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

void* operator new(std::size_t size) { return allocateOrThrow(size); }
void* operator new[](std::size_t size) { return allocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocateOrNull(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocateOrNull(size); }
void* operator new(std::size_t size, std::align_val_t alignment) { return allocateAlignedOrThrow(size, alignment); }
void* operator new[](std::size_t size, std::align_val_t alignment) { return allocateAlignedOrThrow(size, alignment); }
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return allocateAlignedOrNull(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return allocateAlignedOrNull(size, alignment);
}

void operator delete(void* pointer) noexcept { release(pointer); }
void operator delete[](void* pointer) noexcept { release(pointer); }
void operator delete(void* pointer, const std::nothrow_t&) noexcept { release(pointer); }
void operator delete[](void* pointer, const std::nothrow_t&) noexcept { release(pointer); }
void operator delete(void* pointer, std::size_t) noexcept { release(pointer); }
void operator delete[](void* pointer, std::size_t) noexcept { release(pointer); }
void operator delete(void* pointer, std::align_val_t) noexcept { release(pointer); }
void operator delete[](void* pointer, std::align_val_t) noexcept { release(pointer); }
void operator delete(void* pointer, std::size_t, std::align_val_t) noexcept { release(pointer); }
void operator delete[](void* pointer, std::size_t, std::align_val_t) noexcept { release(pointer); }
void operator delete(void* pointer, std::align_val_t, const std::nothrow_t&) noexcept { release(pointer); }
void operator delete[](void* pointer, std::align_val_t, const std::nothrow_t&) noexcept { release(pointer); }
