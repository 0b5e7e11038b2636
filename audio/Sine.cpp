#include "Sine.h"

#include <bit>
#include <cmath>
#include <cstdint>

#define ORVANE_PER_LEVEL_FILE "audio/lanes/Oscillator-inl.h"
#include "audio/lanes/ForEachLevel.h"

namespace orvane::audio {

namespace {

using namespace replicaConstants;

// Angles where the sine sits closest to a rounding boundary, where the two forms differ, and
// the ends of each branch: a different algorithm cannot pass them all.
constexpr float probes[] = {
    0.0f,           0x1p-13f,       0x1p-12f,       0x1.fffffep-13f, 0.5f,           0.75f,
    0x1.7ffffep-1f, 0.7853982f,     1.0f,           1.5707964f,      2.3561945f,     3.1415927f,
    3.9269907f,     4.712389f,      5.4977875f,     6.2831855f,      7.0685835f,     0x1.fffffep2f,
    0.1f,           0.2f,           0.3f,           1.2345678f,      2.7182817f,     6.0f,
    0x1.ab6152p+5f, 0x1.46b80ep+6f, 0x1.46ba88p+6f, 0x1.52e6cp+6f,   0x1.9eb0a8p+6f, 0x1.d0f4aap+6f};

float replica(float angle, bool fused) noexcept {
    if (angle < tiny && angle > -tiny) return angle;
    const double x = angle;
    const int n = (static_cast<std::int32_t>(x * twoOverPiScaled) + 0x800000) >> 24;
    auto multiplyAdd = [fused](double a, double b, double c) { return fused ? std::fma(a, b, c) : a * b + c; };
    const double r = multiplyAdd(-static_cast<double>(n), halfPi, x);
    const double r2 = r * r;
    double value;
    if ((n & 1) == 0) {
        const double r3 = r * r2;
        value = multiplyAdd(r3 * r2, multiplyAdd(r2, sin3, sin2), multiplyAdd(r3, sin1, r));
    } else {
        const double r4 = r2 * r2;
        value = multiplyAdd(r4 * r2, multiplyAdd(r2, cos4, cos3), multiplyAdd(r4, cos2, multiplyAdd(r2, cos1, cos0)));
    }
    const auto result = static_cast<float>(value);
    return (n & 2) != 0 ? -result : result;
}

bool libraryMatches(bool fused) noexcept {
    for (float angle : probes)
        if (std::bit_cast<std::uint32_t>(replica(angle, fused)) != std::bit_cast<std::uint32_t>(std::sin(angle)))
            return false;
    return true;
}

// Checked while the library loads, so that no audio thread pays for it.
[[maybe_unused]] const bool checkedAtLoad = sineReplicaInUse();

}  // namespace

void sineInPlace(float* values, unsigned int count) noexcept {
    lanes::inForce(ORVANE_PER_LEVEL(sineInPlace))(values, count);
}

// A function-local static, so that code running at load before this file's statics gets it too.
bool sineReplicaInUse() noexcept {
    static const bool matches = libraryMatches(false) || libraryMatches(true);
    return matches;
}

float sineReplica(float angle, bool fused) noexcept { return replica(angle, fused); }

}  // namespace orvane::audio
