// Lane vectors and the few operations the compiler's vector types lack, for one level (see
// ForEachLevel.h). Arithmetic on Vec is lane by lane with the scalar operators' rounding.
#include <cstring>
#include <type_traits>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#if !defined(ORVANE_LANE_TYPES)
#define ORVANE_LANE_TYPES
namespace orvane::lanes {
template <typename T, int N>
struct VecOf {
    typedef T type __attribute__((vector_size(N * sizeof(T))));
};
/// N lanes of T.
template <typename T, int N>
using Vec = typename VecOf<T, N>::type;
}  // namespace orvane::lanes
#endif

namespace orvane::lanes::ORVANE_LEVEL {

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

/// 0, 1, ..., N - 1.
template <int N>
ORVANE_LEVEL_ATTR inline Vec<std::int32_t, N> laneNumbers() noexcept {
    Vec<std::int32_t, N> numbers;
    for (int k = 0; k < N; ++k) numbers[k] = k;
    return numbers;
}

/// Whether some lane of a comparison's result is true.
template <typename Mask>
ORVANE_LEVEL_ATTR inline bool anyLane(Mask mask) noexcept {
    if constexpr (sizeof(Mask) == 8) {
        std::uint64_t bits;
        std::memcpy(&bits, &mask, sizeof bits);
        return bits != 0;
#if defined(__x86_64__)
    } else if constexpr (sizeof(Mask) == 16) {
        return _mm_movemask_epi8(reinterpret_cast<__m128i>(mask)) != 0;
#endif
#if ORVANE_LEVEL_BYTES >= 32
    } else if constexpr (sizeof(Mask) == 32) {
        const auto bits = reinterpret_cast<__m256i>(mask);
        return _mm256_testz_si256(bits, bits) == 0;
#endif
#if ORVANE_LEVEL_BYTES >= 64
    } else if constexpr (sizeof(Mask) == 64) {
        const auto bits = reinterpret_cast<__m512i>(mask);
        return _mm512_test_epi64_mask(bits, bits) != 0;
#endif
    } else {  // wider than a register: the two halves together
        using Lane = std::remove_cvref_t<decltype(mask[0])>;
        using Half = Vec<Lane, static_cast<int>(sizeof(Mask) / sizeof(Lane) / 2)>;
        Half halves[2];
        std::memcpy(halves, &mask, sizeof mask);
        return anyLane(halves[0] | halves[1]);
    }
}

/// Whether every lane of a comparison's result is true.
template <typename Mask>
ORVANE_LEVEL_ATTR inline bool allLanes(Mask mask) noexcept {
    return !anyLane(~mask);
}

}  // namespace orvane::lanes::ORVANE_LEVEL
