#include "SimdLevel.h"

#include <cstdlib>
#include <string_view>

namespace orvane::audio {

namespace {

SimdLevel levelInForce() noexcept {
#if defined(__wasm__)
    return SimdLevel::wasm;
#else
    SimdLevel level = SimdLevel::baseline;
#if defined(__x86_64__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) level = SimdLevel::avx2;
    if (__builtin_cpu_supports("avx512f")) level = SimdLevel::avx512;
#endif
    const char* cap = std::getenv("ORVANE_SIMD");  // an unknown name caps nothing
    if (cap != nullptr && std::string_view(cap) == "baseline") level = SimdLevel::baseline;
    if (cap != nullptr && std::string_view(cap) == "avx2" && level > SimdLevel::avx2) level = SimdLevel::avx2;
    return level;
#endif
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
