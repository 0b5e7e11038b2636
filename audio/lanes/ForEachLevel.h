// Compiles the file named by ORVANE_PER_LEVEL_FILE once per processor level, into namespace
// orvane::lanes::ORVANE_LEVEL, its functions tagged ORVANE_LEVEL_ATTR (the level's instructions;
// ORVANE_LEVEL_BYTES is its widest register). As Highway's foreach_target.h: ORVANE_LEVEL_TOGGLE
// flips from level to level, and each per-level file's toggle guard lets it in once per level
// (an include guard would let in the first only). inForce(ORVANE_PER_LEVEL(name)) is name at the
// level in force: the one place that maps a level to its code. Once per translation unit.
// ORVANE_LEVEL_OWN_SINE says where the level's sines come from (audio/lanes/Oscillator-inl.h).
#if !defined(ORVANE_PER_LEVEL_FILE)
#error "define ORVANE_PER_LEVEL_FILE as the per-level file to compile"
#endif
#include <cstddef>

#include "audio/SimdLevel.h"

namespace orvane::lanes {

/// N lanes of T, with the scalar operators lane by lane (the compilers' vector types).
template <typename T, int N>
struct VecOf {
    typedef T type __attribute__((vector_size(N * sizeof(T))));
};
template <typename T, int N>
using Vec = typename VecOf<T, N>::type;

}  // namespace orvane::lanes

#define ORVANE_LEVEL_TOGGLE (ORVANE_LEVEL_BYTES == 32)
#if defined(__wasm__)
// WebAssembly's SIMD128: one level, whose code also keeps the bits of the processors' levels
// where the C library (sinf) and the missing flush mode would not (SimdLevel.h).
#define ORVANE_LEVEL wasm
#define ORVANE_LEVEL_ATTR
#define ORVANE_LEVEL_BYTES 16
#define ORVANE_LEVEL_OWN_SINE 1  // the replica for every angle it serves, unchecked against sinf
#include ORVANE_PER_LEVEL_FILE
#undef ORVANE_LEVEL
#undef ORVANE_LEVEL_ATTR
#undef ORVANE_LEVEL_BYTES
#define ORVANE_PER_LEVEL(name) \
    { &::orvane::lanes::wasm::name }
#define ORVANE_LEVELS 1
namespace orvane::lanes {
namespace portable = wasm;  // the level every machine of this build runs
}
#else
#define ORVANE_LEVEL_OWN_SINE 0  // the replica where a check at load found sinf to be it
#define ORVANE_LEVEL baseline    // x86-64's SSE2, or what any processor of another family has
#define ORVANE_LEVEL_ATTR
#define ORVANE_LEVEL_BYTES 16
#include ORVANE_PER_LEVEL_FILE
#undef ORVANE_LEVEL
#undef ORVANE_LEVEL_ATTR
#undef ORVANE_LEVEL_BYTES
namespace orvane::lanes {
namespace portable = baseline;  // the level every machine of this build runs
}

#if defined(__x86_64__)
#define ORVANE_LEVEL avx2
#define ORVANE_LEVEL_ATTR [[gnu::target("avx2")]]
#define ORVANE_LEVEL_BYTES 32
#include ORVANE_PER_LEVEL_FILE
#undef ORVANE_LEVEL
#undef ORVANE_LEVEL_ATTR
#undef ORVANE_LEVEL_BYTES

#define ORVANE_LEVEL avx512
#define ORVANE_LEVEL_ATTR [[gnu::target("avx512f")]]
#define ORVANE_LEVEL_BYTES 64
#include ORVANE_PER_LEVEL_FILE
#undef ORVANE_LEVEL
#undef ORVANE_LEVEL_ATTR
#undef ORVANE_LEVEL_BYTES

/// name's instance at every level, in SimdLevel's order.
#define ORVANE_PER_LEVEL(name) \
    { &::orvane::lanes::baseline::name, &::orvane::lanes::avx2::name, &::orvane::lanes::avx512::name }
#define ORVANE_LEVELS 3
#else
#define ORVANE_PER_LEVEL(name) \
    { &::orvane::lanes::baseline::name }
#define ORVANE_LEVELS 1
#endif
#endif
#undef ORVANE_LEVEL_OWN_SINE
#undef ORVANE_PER_LEVEL_FILE
#undef ORVANE_LEVEL_TOGGLE

namespace orvane::lanes {

/// The levels this build compiles code for.
inline constexpr std::size_t levels = ORVANE_LEVELS;
#undef ORVANE_LEVELS

/// The entry of the level in force, from a table that ORVANE_PER_LEVEL lists.
template <typename Entry>
Entry inForce(const Entry (&perLevel)[levels]) noexcept {
    return perLevel[static_cast<std::size_t>(audio::simdLevel())];
}

}  // namespace orvane::lanes
