#pragma once

namespace orvane::audio {

/// values[i] = sinf(values[i]) for i < count, bit for bit. Angles in [0, 8) (all the effects'
/// oscillators form) go eight (AVX-512) or four (AVX2) at a time through a replica of the
/// library's algorithm, once a check at load has found sinf to be it; the rest call sinf.
void sineInPlace(float* values, unsigned int count) noexcept;  // [audio thread]

/// Whether the replica passed its check and is in use.
bool sineReplicaInUse() noexcept;  // [any thread]

/// The C library's sinf: reduce by a multiple n of pi/2 (rounded through a fixed-point
/// conversion), then a sine polynomial for even n, a cosine polynomial for odd n, negated when
/// n & 2; below tiny the angle itself. Double precision throughout, rounded once to float.
namespace replicaConstants {
constexpr double twoOverPiScaled = 0x1.45F306DC9C883p+23;  // 2/pi * 2^24
constexpr double halfPi = 0x1.921FB54442D18p0;
constexpr double sin1 = -0x1.555545995a603p-3, sin2 = 0x1.1107605230bc4p-7, sin3 = -0x1.994eb3774cf24p-13;
constexpr double cos0 = 0x1p0, cos1 = -0x1.ffffffd0c621cp-2, cos2 = 0x1.55553e1068f19p-5, cos3 = -0x1.6c087e89a359dp-10,
                 cos4 = 0x1.99343027bf8c3p-16;
constexpr float tiny = 0x1p-12f;
constexpr float replicaLimit = 8.0f;  // the lanes serve [0, replicaLimit)
}  // namespace replicaConstants

/// The replica for one angle, with or without fused multiply-adds: the C library selects one
/// of the two forms by processor. Angles outside [0, 8) may differ from sinf.
float sineReplica(float angle, bool fused) noexcept;  // [any thread]

}  // namespace orvane::audio
