#pragma once

// The processor level the lane paths run at, and atSimdLevel, the one place that maps it to
// code: code written once per algorithm and compiled into orvane::lanes::<level> (see
// ForEachLevel.h), which a call given the level's Target finds by argument-dependent lookup.
namespace orvane::lanes {

/// N lanes of T, with the scalar operators lane by lane (the compilers' vector types).
template <typename T, int N>
struct VecOf {
    typedef T type __attribute__((vector_size(N * sizeof(T))));
};
template <typename T, int N>
using Vec = typename VecOf<T, N>::type;

namespace baseline {
struct Target {};  // x86-64's SSE2, or what any processor of another family has
}  // namespace baseline
namespace avx2 {
struct Target {};
}  // namespace avx2
namespace avx512 {
struct Target {};
}  // namespace avx512

}  // namespace orvane::lanes

namespace orvane::audio {

enum class SimdLevel { baseline, avx2, avx512 };

/// What the processor offers, capped by the environment variable ORVANE_SIMD (baseline, avx2
/// or avx512) as the library loads, so that tests and hosts can run each level; a cap above
/// the processor is ignored.
SimdLevel simdLevel() noexcept;  // [any thread]

/// body(target) with the Target of the level in force. Callers pick once per block or piece.
template <typename Body>
decltype(auto) atSimdLevel(Body&& body) {
#if defined(__x86_64__)
    if (simdLevel() == SimdLevel::avx512) return body(lanes::avx512::Target{});
    if (simdLevel() == SimdLevel::avx2) return body(lanes::avx2::Target{});
#endif
    return body(lanes::baseline::Target{});
}

}  // namespace orvane::audio
