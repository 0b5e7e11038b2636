#pragma once

// The processor level the vector paths run at, and the one place that maps it to code.
//
// Code written once for every level lives in a per-level file (see ForEachLevel.h), compiled
// into namespace orvane::lanes::<level> with that level's instruction set. atSimdLevel hands
// a caller the tag of the level in force; calls taking the tag find that level's code.
namespace orvane::lanes {
namespace baseline {
struct Target {};  // x86-64's SSE2, or whatever another processor always has
}  // namespace baseline
#if defined(__x86_64__)
namespace avx2 {
struct Target {};
}  // namespace avx2
namespace avx512 {
struct Target {};
}  // namespace avx512
#endif
}  // namespace orvane::lanes

namespace orvane::audio {

enum class SimdLevel { baseline, avx2, avx512 };

/// What the processor offers, capped by the environment variable ORVANE_SIMD
/// (baseline, avx2 or avx512) as the library loads; a cap above the processor is ignored.
SimdLevel simdLevel() noexcept;  // [any thread]

/// body(tag) with the tag of the level in force. Callers pick once per block or piece.
template <typename Body>
decltype(auto) atSimdLevel(Body&& body) {
#if defined(__x86_64__)
    switch (simdLevel()) {
        case SimdLevel::avx512:
            return body(lanes::avx512::Target{});
        case SimdLevel::avx2:
            return body(lanes::avx2::Target{});
        case SimdLevel::baseline:
            break;
    }
#endif
    return body(lanes::baseline::Target{});
}

}  // namespace orvane::audio
