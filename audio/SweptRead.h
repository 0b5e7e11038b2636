#pragma once

#include <cstdint>

// Reading a delay line at a swept position: where a modulated delay reads, and the same read
// four samples at a time [audio thread]. Both give what CircularBuffer::interpolate gives at a position
// reduced into the ring as fmodf reduces it, bit for bit.
namespace orvane::audio {

/// sweptReadPosition for positions outside [0, 2 * capacity): fmodf, or no sweep when not finite.
float sweptReadPositionAnywhere(int writePointer, int capacity, float sweep, float baseDelay) noexcept;

/// The fractional slot a modulated delay reads: baseDelay + sweep slots behind the write
/// pointer, reduced into (-capacity, capacity) as fmodf does, all in single precision.
/// A sweep that makes the position non-finite counts as no sweep.
inline float sweptReadPosition(int writePointer, int capacity, float sweep, float baseDelay) noexcept {
    const auto size = static_cast<float>(capacity);
    const float position = ((static_cast<float>(writePointer) - sweep) - baseDelay) + size;
    if (position >= 0.0f && position < size) return position;                // fmodf leaves it as it is
    if (position >= size && position < size + size) return position - size;  // exact (Sterbenz)
    return sweptReadPositionAnywhere(writePointer, capacity, sweep, baseDelay);
}

}  // namespace orvane::audio

#if defined(__SSE2__) && defined(__x86_64__)
#define ORVANE_SWEPT_READ_SIMD 1
#include <immintrin.h>

namespace orvane::audio::simd {

/// Slots and weights of four interpolated reads; inside has bit k set when lane k's position
/// lay in [0, 2 * capacity) (the other lanes read slot 0 with weight 0 and must not be used).
struct Taps4 {
    __m128i earlier;
    __m128i later;
    __m128 frac;
    int inside;
};

/// sweptReadPosition of four lanes, as slots and weights. Below 2 * capacity the reduction is
/// the position or the position minus the capacity, exactly; in the ring truncation is floor.
inline Taps4 sweptTaps4(__m128i writes, __m128 sweep, float baseDelay, int capacity) noexcept {
    const auto size = static_cast<float>(capacity);
    const __m128 sizes = _mm_set1_ps(size);
    const __m128 position =
        _mm_add_ps(_mm_sub_ps(_mm_sub_ps(_mm_cvtepi32_ps(writes), sweep), _mm_set1_ps(baseDelay)), sizes);
    const __m128 inside =
        _mm_and_ps(_mm_cmpge_ps(position, _mm_setzero_ps()), _mm_cmplt_ps(position, _mm_set1_ps(size + size)));
    // x - (+0.0) is x for every x, so lanes below the capacity pass unchanged.
    __m128 reduced = _mm_sub_ps(position, _mm_and_ps(_mm_cmpge_ps(position, sizes), sizes));
    reduced = _mm_and_ps(reduced, inside);  // keeps the conversion defined in unused lanes
    const __m128i index = _mm_cvttps_epi32(reduced);
    const __m128 base = _mm_or_ps(_mm_cvtepi32_ps(index), _mm_and_ps(reduced, _mm_set1_ps(-0.0f)));
    const __m128i next = _mm_add_epi32(index, _mm_set1_epi32(1));
    return {index, _mm_andnot_si128(_mm_cmpeq_epi32(next, _mm_set1_epi32(capacity)), next), _mm_sub_ps(reduced, base),
            _mm_movemask_ps(inside)};
}

/// Whether lane k reads a slot among firstWrite ... firstWrite + k - 1, or with ownSlotToo
/// also firstWrite + k: slots that sample-by-sample order would have written before the read.
/// In pairs, lanes 0 and 1 go first and lanes 2 and 3 after them, so that lanes 2 and 3 only
/// must not read firstWrite + 2 ... firstWrite + k - 1 (or + k).
inline bool readsWritesOfGroup(const Taps4& taps, int firstWrite, bool ownSlotToo, bool inPairs = false) noexcept {
    // Unsigned (slot - first) < limit, as a signed comparison with the top bits flipped.
    const __m128i topBit = _mm_set1_epi32(INT32_MIN);
    const __m128i firsts =
        _mm_add_epi32(_mm_set1_epi32(firstWrite), inPairs ? _mm_setr_epi32(0, 0, 2, 2) : _mm_setzero_si128());
    const __m128i limits = _mm_xor_si128(
        _mm_add_epi32(inPairs ? _mm_setr_epi32(0, 1, 0, 1) : _mm_setr_epi32(0, 1, 2, 3), _mm_set1_epi32(ownSlotToo)),
        topBit);
    const __m128i earlier = _mm_xor_si128(_mm_sub_epi32(taps.earlier, firsts), topBit);
    const __m128i later = _mm_xor_si128(_mm_sub_epi32(taps.later, firsts), topBit);
    return _mm_movemask_epi8(_mm_or_si128(_mm_cmplt_epi32(earlier, limits), _mm_cmplt_epi32(later, limits))) != 0;
}

/// Whether some lane's later slot is slot 0 after the last one, which interpolate4 cannot read.
inline bool wrapsRound(const Taps4& taps) noexcept {
    return _mm_movemask_epi8(_mm_cmpeq_epi32(taps.later, _mm_setzero_si128())) != 0;
}

/// earlier * (1 - frac) + frac * later per lane: the product frac * later in single precision,
/// the rest in double, rounded once.
inline __m128 blend4(__m128 earlier, __m128 later, __m128 frac) noexcept {
    const __m128 upper = _mm_mul_ps(frac, later);
    const __m128d ones = _mm_set1_pd(1.0);
    const __m128d low =
        _mm_add_pd(_mm_mul_pd(_mm_cvtps_pd(earlier), _mm_sub_pd(ones, _mm_cvtps_pd(frac))), _mm_cvtps_pd(upper));
    const __m128d high = _mm_add_pd(_mm_mul_pd(_mm_cvtps_pd(_mm_movehl_ps(earlier, earlier)),
                                               _mm_sub_pd(ones, _mm_cvtps_pd(_mm_movehl_ps(frac, frac)))),
                                    _mm_cvtps_pd(_mm_movehl_ps(upper, upper)));
    return _mm_movelh_ps(_mm_cvtpd_ps(low), _mm_cvtpd_ps(high));
}

/// The interpolated reads of four lanes none of which wrapsRound: each lane's two slots are
/// adjacent, so one 64-bit load fetches both.
inline __m128 interpolate4(const float* data, const Taps4& taps) noexcept {
    const auto low = static_cast<std::uint64_t>(_mm_cvtsi128_si64(taps.earlier));
    const auto high = static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(taps.earlier, taps.earlier)));
    auto pair = [data](std::uint64_t slot) {
        return _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(data + slot)));  // unaligned
    };
    const __m128 pairs01 = _mm_unpacklo_ps(pair(low & 0xffffffffu), pair(low >> 32));    // e0 e1 l0 l1
    const __m128 pairs23 = _mm_unpacklo_ps(pair(high & 0xffffffffu), pair(high >> 32));  // e2 e3 l2 l3
    return blend4(_mm_movelh_ps(pairs01, pairs23), _mm_movehl_ps(pairs23, pairs01), taps.frac);
}

/// Slots and weights of eight interpolated reads at write slots firstWrite ... firstWrite + 7.
/// usable is false unless every sweep lies in the bounds of EightLaneBounds and no lane's two
/// slots straddle the end of the ring; the other members are then meaningless.
struct Taps8 {
    __m256i earlier;
    __m256 frac;
    bool usable;
};

/// Sweeps for which a group of eight reads needs neither fmodf nor care for its own writes.
/// A group that reads before it writes needs more than groupSpan slots of delay in all (sweep
/// plus base delay), so that no lane reads a slot an earlier lane writes. A group that writes
/// first (when what enters the line does not depend on the read) needs more than none and at
/// most capacity - groupSpan, so that no lane reads a slot a later lane writes. Rounding moves
/// a position by less than 0.02 slots while it stays below 2^17, which the capacity and base
/// delay limits ensure; the bounds keep half a slot from those limits, and from 0 and
/// 2 * capacity for the position.
struct EightLaneBounds {
    static constexpr int groupSpan = 8;
    __m256 lowest;
    __m256 highest;
    bool apply;  // false where the limits do not hold: the caller takes another path

    [[gnu::target("avx2")]] EightLaneBounds(int capacity, float baseDelay, bool groupWritesFirst) noexcept
        : lowest(_mm256_set1_ps((groupWritesFirst ? 0.5f : static_cast<float>(groupSpan) + 0.5f) - baseDelay)),
          highest(_mm256_set1_ps((static_cast<float>(groupWritesFirst ? capacity - groupSpan : capacity) - 0.5f) -
                                 baseDelay)),
          apply(capacity > groupSpan + 2 && capacity <= 65536 && baseDelay >= 0.0f && baseDelay <= 65536.0f) {}
};

/// sweptReadPosition of eight lanes whose sweeps lie within bounds, as slots and weights. In
/// [0, 2 * capacity) the reduction is the position or the position minus the capacity, and
/// positions are positive, so truncation is floor.
[[gnu::target("avx2")]] inline Taps8 sweptTaps8(int firstWrite, __m256 sweep, float baseDelay, int capacity,
                                                const EightLaneBounds& bounds) noexcept {
    const __m256 sizes = _mm256_set1_ps(static_cast<float>(capacity));
    const __m256 writes =
        _mm256_cvtepi32_ps(_mm256_add_epi32(_mm256_set1_epi32(firstWrite), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7)));
    const __m256 position =
        _mm256_add_ps(_mm256_sub_ps(_mm256_sub_ps(writes, sweep), _mm256_set1_ps(baseDelay)), sizes);
    const __m256 reduced = _mm256_sub_ps(position, _mm256_and_ps(_mm256_cmp_ps(position, sizes, _CMP_GE_OQ), sizes));
    const __m256 within = _mm256_and_ps(_mm256_cmp_ps(sweep, bounds.lowest, _CMP_GE_OQ),
                                        _mm256_cmp_ps(sweep, bounds.highest, _CMP_LE_OQ));
    const __m256i index = _mm256_cvttps_epi32(_mm256_and_ps(reduced, within));
    const __m256i lastSlot = _mm256_cmpeq_epi32(index, _mm256_set1_epi32(capacity - 1));
    const bool usable = _mm256_movemask_ps(within) == 0xff && _mm256_testz_si256(lastSlot, lastSlot) != 0;
    return {index, _mm256_sub_ps(reduced, _mm256_cvtepi32_ps(index)), usable};
}

/// blend4 of four lanes with the double-precision part in one 256-bit register.
[[gnu::target("avx2")]] inline __m128 blendWide(__m128 earlier, __m128 frac, __m128 upper) noexcept {
    const __m256d rest = _mm256_sub_pd(_mm256_set1_pd(1.0), _mm256_cvtps_pd(frac));
    return _mm256_cvtpd_ps(_mm256_add_pd(_mm256_mul_pd(_mm256_cvtps_pd(earlier), rest), _mm256_cvtps_pd(upper)));
}

/// The interpolated reads of eight usable lanes: each lane's two slots are adjacent and inside.
[[gnu::target("avx2")]] inline void interpolate8(const float* data, const Taps8& taps, __m128& low,
                                                 __m128& high) noexcept {
    alignas(32) std::int32_t slots[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(slots), taps.earlier);
    const auto pair = [data, &slots](int k) {
        return _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(data + slots[k])));
    };
    const auto quad = [&](int k, __m128& earlier, __m128& later) {
        const __m128 pairs01 = _mm_unpacklo_ps(pair(k), pair(k + 1));
        const __m128 pairs23 = _mm_unpacklo_ps(pair(k + 2), pair(k + 3));
        earlier = _mm_movelh_ps(pairs01, pairs23);
        later = _mm_movehl_ps(pairs23, pairs01);
    };
    __m128 e0, l0, e1, l1;
    quad(0, e0, l0);
    quad(4, e1, l1);
    const __m128 f0 = _mm256_castps256_ps128(taps.frac), f1 = _mm256_extractf128_ps(taps.frac, 1);
    low = blendWide(e0, f0, _mm_mul_ps(f0, l0));
    high = blendWide(e1, f1, _mm_mul_ps(f1, l1));
}

}  // namespace orvane::audio::simd

#endif
