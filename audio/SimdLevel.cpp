#include "SimdLevel.h"

#include <cstdlib>
#include <cstring>

namespace orvane::audio {

namespace {

SimdLevel processorLevel() noexcept {
#if defined(__x86_64__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f")) return SimdLevel::avx512;
    if (__builtin_cpu_supports("avx2")) return SimdLevel::avx2;
#endif
    return SimdLevel::baseline;
}

// Tests and hosts run every level on one machine by capping it; an unknown name caps nothing.
SimdLevel levelInForce() noexcept {
    const SimdLevel processor = processorLevel();
    const char* cap = std::getenv("ORVANE_SIMD");
    if (cap == nullptr) return processor;
    SimdLevel capped = processor;
    if (std::strcmp(cap, "baseline") == 0) capped = SimdLevel::baseline;
    if (std::strcmp(cap, "avx2") == 0) capped = SimdLevel::avx2;
    return capped < processor ? capped : processor;
}

// Read while the library loads, so that no audio thread pays for the environment.
[[maybe_unused]] const SimdLevel readAtLoad = simdLevel();

}  // namespace

// A function-local static, so that code running at load before this file's statics gets it too.
SimdLevel simdLevel() noexcept {
    static const SimdLevel level = levelInForce();
    return level;
}

}  // namespace orvane::audio
