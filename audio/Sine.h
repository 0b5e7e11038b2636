#pragma once

#include "audio/SimdLevel.h"

namespace orvane::audio {

/// values[i] = sinf(values[i]) for i < count, bit for bit what the C library's sinf returns.
/// Angles in [0, 8) (every angle the effects' oscillators form) go eight at a time (AVX-512)
/// or four at a time (AVX2) through a replica of the library's algorithm, once a check at
/// load has found the library's sinf to be that algorithm; other angles, and all of them at
/// the baseline or when the check failed, call sinf.
void sineInPlace(float* values, unsigned int count) noexcept;  // [audio thread]

/// Whether the replica passed its check and is in use.
bool sineReplicaInUse() noexcept;  // [any thread]

/// The replica for one angle, with or without fused multiply-adds: the C library selects one
/// of the two forms by processor. Angles outside [0, 8) may differ from sinf.
float sineReplica(float angle, bool fused) noexcept;  // [any thread]

}  // namespace orvane::audio

// sineInPlace at a given level, for callers that picked it (see atSimdLevel).
namespace orvane::lanes {
namespace baseline {
void sineInPlace(Target, float* values, unsigned int count) noexcept;  // [audio thread]
}
#if defined(__x86_64__)
namespace avx2 {
[[gnu::target("avx2")]] void sineInPlace(Target, float* values, unsigned int count) noexcept;  // [audio thread]
}
namespace avx512 {
[[gnu::target("avx512f")]] void sineInPlace(Target, float* values, unsigned int count) noexcept;  // [audio thread]
}
#endif
}  // namespace orvane::lanes
