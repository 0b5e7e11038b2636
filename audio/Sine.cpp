#include "Sine.h"

#include <atomic>
#include <bit>
#include <cmath>
#include <cstdint>

#include "Processor.h"

#if defined(__x86_64__)
#define ORVANE_SINE_SIMD 1
#include <immintrin.h>
#endif

namespace orvane::audio {

namespace {

// The C library's sinf: reduce by a multiple n of pi/2 (rounded through a fixed-point
// conversion), then a sine polynomial for even n, a cosine polynomial for odd n, negated when
// n & 2; below 2^-12 the angle itself. Double precision throughout, rounded once to float.
constexpr double twoOverPiScaled = 0x1.45F306DC9C883p+23;  // 2/pi * 2^24
constexpr double halfPi = 0x1.921FB54442D18p0;
constexpr double sin1 = -0x1.555545995a603p-3, sin2 = 0x1.1107605230bc4p-7, sin3 = -0x1.994eb3774cf24p-13;
constexpr double cos0 = 0x1p0, cos1 = -0x1.ffffffd0c621cp-2, cos2 = 0x1.55553e1068f19p-5, cos3 = -0x1.6c087e89a359dp-10,
                 cos4 = 0x1.99343027bf8c3p-16;
constexpr float tiny = 0x1p-12f;
constexpr float verifiedLimit = 8.0f;

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

enum : int { unchecked, replicaLanes, libraryOnly };
std::atomic<int> check{unchecked};

// What serves the angles in [0, 8). Lock-free: threads that check at once agree.
int replicaForm() noexcept {
    int state = check.load(std::memory_order_relaxed);
    if (state == unchecked) {
        state = libraryOnly;
#if defined(ORVANE_SINE_SIMD)
        if (processorHasAvx2() && (libraryMatches(false) || libraryMatches(true))) state = replicaLanes;
#endif
        check.store(state, std::memory_order_relaxed);
    }
    return state;
}

bool replicaInUse() noexcept { return replicaForm() == replicaLanes; }

// Checked while the library loads, so that no audio thread pays for it.
[[maybe_unused]] const bool checkedAtLoad = replicaInUse();

#if defined(ORVANE_SINE_SIMD)
[[gnu::target("avx2")]] inline __m256d multiplyAdd(__m256d a, __m256d b, __m256d c) noexcept {
    return _mm256_add_pd(_mm256_mul_pd(a, b), c);
}

// The unfused form, four lanes in double precision, for angles in [0, 8), where both forms
// agree. An oscillator's neighbouring angles nearly always share a quadrant's parity, so
// only one polynomial is usually needed.
[[gnu::target("avx2")]] __m128 replica4(__m128 angle) noexcept {
    const __m256d x = _mm256_cvtps_pd(angle);
    __m128i n = _mm256_cvttpd_epi32(_mm256_mul_pd(x, _mm256_set1_pd(twoOverPiScaled)));
    n = _mm_srai_epi32(_mm_add_epi32(n, _mm_set1_epi32(0x800000)), 24);
    const __m256d r = _mm256_sub_pd(x, _mm256_mul_pd(_mm256_cvtepi32_pd(n), _mm256_set1_pd(halfPi)));
    const __m256d r2 = _mm256_mul_pd(r, r);
    const __m256i quadrant = _mm256_cvtepi32_epi64(n);
    const __m256i one = _mm256_set1_epi64x(1);
    const __m256d odd = _mm256_castsi256_pd(_mm256_cmpeq_epi64(_mm256_and_si256(quadrant, one), one));
    const int oddLanes = _mm256_movemask_pd(odd);
    __m256d sine = _mm256_setzero_pd();
    __m256d cosine = _mm256_setzero_pd();
    if (oddLanes != 0xf) {
        const __m256d r3 = _mm256_mul_pd(r, r2);
        sine = multiplyAdd(_mm256_mul_pd(r3, r2), multiplyAdd(r2, _mm256_set1_pd(sin3), _mm256_set1_pd(sin2)),
                           multiplyAdd(r3, _mm256_set1_pd(sin1), r));
    }
    if (oddLanes != 0) {
        const __m256d r4 = _mm256_mul_pd(r2, r2);
        cosine = multiplyAdd(
            _mm256_mul_pd(r4, r2), multiplyAdd(r2, _mm256_set1_pd(cos4), _mm256_set1_pd(cos3)),
            multiplyAdd(r4, _mm256_set1_pd(cos2), multiplyAdd(r2, _mm256_set1_pd(cos1), _mm256_set1_pd(cos0))));
    }
    const __m256i negative = _mm256_slli_epi64(_mm256_and_si256(quadrant, _mm256_set1_epi64x(2)), 62);
    return _mm256_cvtpd_ps(_mm256_xor_pd(_mm256_blendv_pd(sine, cosine, odd), _mm256_castsi256_pd(negative)));
}

// Groups of four whose angles all lie in [0, 8); answers how many values it did.
[[gnu::target("avx2")]] unsigned int sineGroups(float* values, unsigned int count) noexcept {
    unsigned int i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128 angle = _mm_loadu_ps(values + i);
        // A lane outside [0, 8), or a NaN, sends the group to sinf.
        const __m128 verified =
            _mm_and_ps(_mm_cmpge_ps(angle, _mm_setzero_ps()), _mm_cmplt_ps(angle, _mm_set1_ps(verifiedLimit)));
        if (_mm_movemask_ps(verified) != 0xf) {
            for (int k = 0; k < 4; ++k) values[i + k] = std::sin(values[i + k]);
            continue;
        }
        // Below 2^-12 the sine is the angle itself.
        const __m128 small = _mm_cmplt_ps(angle, _mm_set1_ps(tiny));
        _mm_storeu_ps(values + i, _mm_blendv_ps(replica4(angle), angle, small));
    }
    return i;
}

// GCC 12's AVX-512 conversion intrinsics start from an undefined register it then reports.
#if !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
[[gnu::target("avx512f")]] inline __m512d multiplyAdd(__m512d a, __m512d b, __m512d c) noexcept {
    return _mm512_add_pd(_mm512_mul_pd(a, b), c);
}

// replica4 in eight lanes, the same operations in the same order.
[[gnu::target("avx512f")]] __m256 replica8(__m256 angle) noexcept {
    const __m512d x = _mm512_cvtps_pd(angle);
    __m256i n = _mm512_cvttpd_epi32(_mm512_mul_pd(x, _mm512_set1_pd(twoOverPiScaled)));
    n = _mm256_srai_epi32(_mm256_add_epi32(n, _mm256_set1_epi32(0x800000)), 24);
    const __m512d r = _mm512_sub_pd(x, _mm512_mul_pd(_mm512_cvtepi32_pd(n), _mm512_set1_pd(halfPi)));
    const __m512d r2 = _mm512_mul_pd(r, r);
    const __m512i quadrant = _mm512_cvtepi32_epi64(n);
    const __m512i one = _mm512_set1_epi64(1);
    const __mmask8 odd = _mm512_cmpeq_epi64_mask(_mm512_and_si512(quadrant, one), one);
    __m512d sine = _mm512_setzero_pd();
    __m512d cosine = _mm512_setzero_pd();
    if (odd != 0xff) {
        const __m512d r3 = _mm512_mul_pd(r, r2);
        sine = multiplyAdd(_mm512_mul_pd(r3, r2), multiplyAdd(r2, _mm512_set1_pd(sin3), _mm512_set1_pd(sin2)),
                           multiplyAdd(r3, _mm512_set1_pd(sin1), r));
    }
    if (odd != 0) {
        const __m512d r4 = _mm512_mul_pd(r2, r2);
        cosine = multiplyAdd(
            _mm512_mul_pd(r4, r2), multiplyAdd(r2, _mm512_set1_pd(cos4), _mm512_set1_pd(cos3)),
            multiplyAdd(r4, _mm512_set1_pd(cos2), multiplyAdd(r2, _mm512_set1_pd(cos1), _mm512_set1_pd(cos0))));
    }
    const __m512i negative = _mm512_slli_epi64(_mm512_and_si512(quadrant, _mm512_set1_epi64(2)), 62);
    const __m512i value = _mm512_xor_si512(_mm512_castpd_si512(_mm512_mask_blend_pd(odd, sine, cosine)), negative);
    return _mm512_cvtpd_ps(_mm512_castsi512_pd(value));
}

#if !defined(__clang__)
#pragma GCC diagnostic pop
#endif

// sineGroups in groups of eight; answers how many values it did.
[[gnu::target("avx512f")]] unsigned int sineGroups8(float* values, unsigned int count) noexcept {
    unsigned int i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m256 angle = _mm256_loadu_ps(values + i);
        const __m256 verified = _mm256_and_ps(_mm256_cmp_ps(angle, _mm256_setzero_ps(), _CMP_GE_OQ),
                                              _mm256_cmp_ps(angle, _mm256_set1_ps(verifiedLimit), _CMP_LT_OQ));
        if (_mm256_movemask_ps(verified) != 0xff) {
            for (int k = 0; k < 8; ++k) values[i + k] = std::sin(values[i + k]);
            continue;
        }
        const __m256 small = _mm256_cmp_ps(angle, _mm256_set1_ps(tiny), _CMP_LT_OQ);
        _mm256_storeu_ps(values + i, _mm256_blendv_ps(replica8(angle), angle, small));
    }
    return i;
}
#endif

}  // namespace

void sineInPlace(float* values, unsigned int count) noexcept {
    unsigned int i = 0;
#if defined(ORVANE_SINE_SIMD)
    if (replicaForm() == replicaLanes) {
        if (processorHasAvx512()) i = sineGroups8(values, count);
        i += sineGroups(values + i, count - i);
    }
#endif
    for (; i < count; ++i) values[i] = std::sin(values[i]);
}

bool sineReplicaInUse() noexcept { return replicaInUse(); }

float sineReplica(float angle, bool fused) noexcept { return replica(angle, fused); }

}  // namespace orvane::audio
