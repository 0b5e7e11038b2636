// The lane operations the compilers' vector types lack, for one level (see ForEachLevel.h).
#if defined(ORVANE_AUDIO_LANES_LANES_INL_H) == ORVANE_LEVEL_TOGGLE
#ifdef ORVANE_AUDIO_LANES_LANES_INL_H
#undef ORVANE_AUDIO_LANES_LANES_INL_H
#else
#define ORVANE_AUDIO_LANES_LANES_INL_H
#endif

#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace orvane::lanes::ORVANE_LEVEL {

/// The level this code is compiled for, and a type that names it where a template needs one.
inline constexpr audio::SimdLevel level = audio::SimdLevel::ORVANE_LEVEL;
struct Target {};

template <int N>
ORVANE_LEVEL_ATTR inline Vec<float, N> load(const float* from) noexcept {
    Vec<float, N> lanes;
    std::memcpy(&lanes, from, sizeof lanes);
    return lanes;
}

template <typename V>
ORVANE_LEVEL_ATTR inline void store(float* to, V lanes) noexcept {
    std::memcpy(to, &lanes, sizeof lanes);
}

/// from[0] and from[1] in the low lanes, zeros above.
ORVANE_LEVEL_ATTR inline Vec<float, 4> loadPair(const float* from) noexcept {
#if defined(__x86_64__)
    return reinterpret_cast<Vec<float, 4>>(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(from)));
#else
    return Vec<float, 4>{from[0], from[1], 0.0f, 0.0f};
#endif
}

/// 0, 1, ..., N - 1.
template <int N>
ORVANE_LEVEL_ATTR inline Vec<std::int32_t, N> laneNumbers() noexcept {
    Vec<std::int32_t, N> numbers;
    for (int k = 0; k < N; ++k) numbers[k] = k;
    return numbers;
}

template <typename V>
constexpr int laneCount = static_cast<int>(sizeof(V) / sizeof(V{}[0]));

/// The low and high halves of a vector, in registers.
template <typename V, int... k>
ORVANE_LEVEL_ATTR inline auto split(V lanes, std::integer_sequence<int, k...> = {}) noexcept {
    if constexpr (sizeof...(k) == 0) {
        return split(lanes, std::make_integer_sequence<int, laneCount<V> / 2>{});
    } else {
        struct Halves {
            Vec<std::remove_cvref_t<decltype(lanes[0])>, laneCount<V> / 2> low, high;
        };
        return Halves{__builtin_shufflevector(lanes, lanes, k...),
                      __builtin_shufflevector(lanes, lanes, (k + laneCount<V> / 2)...)};
    }
}

/// Two halves as one vector, in registers.
template <typename Half, int... k>
ORVANE_LEVEL_ATTR inline auto join(Half low, Half high, std::integer_sequence<int, k...> = {}) noexcept {
    if constexpr (sizeof...(k) == 0) {
        return join(low, high, std::make_integer_sequence<int, 2 * laneCount<Half>>{});
    } else {
        return __builtin_shufflevector(low, high, k...);
    }
}

/// Bit k set where the sign bit of 32-bit lane k is: where lane k of a comparison is true.
template <typename V>
ORVANE_LEVEL_ATTR inline int signBits(V lanes) noexcept {
#if defined(__x86_64__)
    if constexpr (sizeof(V) == 16) return _mm_movemask_ps(__m128(lanes));
#endif
#if ORVANE_LEVEL_BYTES >= 32
    if constexpr (sizeof(V) == 32) return _mm256_movemask_ps(__m256(lanes));
#endif
#if ORVANE_LEVEL_BYTES >= 64
    if constexpr (sizeof(V) == 64) return _mm512_cmplt_epi32_mask(__m512i(lanes), _mm512_setzero_si512());
#endif
    int bits = 0;
    for (int k = 0; k < laneCount<V>; ++k) bits |= (lanes[k] < 0) << k;
    return bits;
}

/// Whether every lane of a comparison of 32-bit lanes is true.
template <typename Mask>
ORVANE_LEVEL_ATTR inline bool allLanes(Mask mask) noexcept {
    return signBits(mask) == (1 << laneCount<Mask>)-1;
}

// GCC 12's AVX-512 conversions and casts start from an undefined register it then reports.
#if !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif

#if ORVANE_LEVEL_BYTES >= 64
/// 2 * N consecutive floats in registers, from which N lanes are picked by number: a load or
/// two and a permute in place of a load per lane. (With AVX2 the loads, permutes and selects
/// it takes cost as much as the loads they replace.)
template <int N>
struct Window;

template <>
struct Window<8> {
    __m512 slots;
    ORVANE_LEVEL_ATTR explicit Window(const float* from) noexcept : slots(_mm512_loadu_ps(from)) {}
    /// Lane k is from[at[k]], for at[k] in 0 ... 15.
    ORVANE_LEVEL_ATTR Vec<float, 8> pick(Vec<std::int32_t, 8> at) const noexcept {
        return Vec<float, 8>(_mm512_castps512_ps256(_mm512_permutexvar_ps(_mm512_zextsi256_si512(__m256i(at)), slots)));
    }
};

template <>
struct Window<16> {
    __m512 low, high;
    ORVANE_LEVEL_ATTR explicit Window(const float* from) noexcept
        : low(_mm512_loadu_ps(from)), high(_mm512_loadu_ps(from + 16)) {}
    /// Lane k is from[at[k]], for at[k] in 0 ... 31.
    ORVANE_LEVEL_ATTR Vec<float, 16> pick(Vec<std::int32_t, 16> at) const noexcept {
        return Vec<float, 16>(_mm512_permutex2var_ps(low, __m512i(at), high));
    }
};
#endif

/// Each lane converted exactly to the lane type of To, in one of the level's instructions
/// where g++ would convert the two halves apart.
template <typename To, typename From>
ORVANE_LEVEL_ATTR inline To promote(From lanes) noexcept {
    static_assert(sizeof(To) <= ORVANE_LEVEL_BYTES, "wider than the level's registers");
    [[maybe_unused]] constexpr bool fromFloat = std::is_same_v<std::remove_cvref_t<decltype(lanes[0])>, float>;
    [[maybe_unused]] constexpr bool toDouble = std::is_same_v<std::remove_cvref_t<decltype(To{}[0])>, double>;
#if ORVANE_LEVEL_BYTES >= 64
    if constexpr (laneCount<From> == 8) {
        if constexpr (fromFloat) return To(_mm512_cvtps_pd(__m256(lanes)));
        if constexpr (!fromFloat && toDouble) return To(_mm512_cvtepi32_pd(__m256i(lanes)));
        if constexpr (!toDouble) return To(_mm512_cvtepi32_epi64(__m256i(lanes)));
    }
#endif
#if ORVANE_LEVEL_BYTES >= 32
    if constexpr (laneCount<From> == 4) {
        if constexpr (fromFloat) return To(_mm256_cvtps_pd(__m128(lanes)));
        if constexpr (!fromFloat && toDouble) return To(_mm256_cvtepi32_pd(__m128i(lanes)));
        if constexpr (!toDouble) return To(_mm256_cvtepi32_epi64(__m128i(lanes)));
    }
#endif
    return __builtin_convertvector(lanes, To);
}

#if !defined(__clang__)
#pragma GCC diagnostic pop
#endif

}  // namespace orvane::lanes::ORVANE_LEVEL

#endif  // per-level toggle guard
