#pragma once

// The processor level the lane code runs at. That code, written once and compiled once per level,
// lives in audio/lanes/ (ForEachLevel.h picks it); nothing outside audio/ names a level.
namespace orvane::audio {

#if defined(__wasm__)
// WebAssembly's 128-bit lanes, with the sine replica for every angle it serves (the C library
// is not glibc) and subnormals flushed in code (there is no flush mode): audio/Subnormals.h.
enum class SimdLevel { wasm };
#else
enum class SimdLevel { baseline, avx2, avx512 };
#endif

/// What the processor offers, capped by the environment variable ORVANE_SIMD (baseline, avx2
/// or avx512) as the library loads, so that tests and hosts can run each level; a cap above
/// the processor is ignored. WebAssembly has its one level.
SimdLevel simdLevel() noexcept;  // [any thread]

}  // namespace orvane::audio
