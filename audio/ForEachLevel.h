// Compiles the per-level file named by ORVANE_PER_LEVEL once for each processor level, in
// namespace orvane::lanes::<level>, every function there tagged ORVANE_LEVEL_ATTR so that it
// is built for that level's instructions. The lane helpers of Lanes-inl.h come first, once
// per translation unit. No include guard: each inclusion compiles one more per-level file.
#include <cstdint>

#include "audio/SimdLevel.h"

#if !defined(ORVANE_PER_LEVEL)
#error "define ORVANE_PER_LEVEL as the per-level file to compile"
#endif
#if defined(ORVANE_LANES_DEFINED)
#define ORVANE_LANES_AGAIN
#endif

#define ORVANE_LEVEL baseline
#define ORVANE_LEVEL_ATTR
#define ORVANE_LEVEL_BYTES 16  // widest register
#define ORVANE_LEVEL_FLOATS 4  // lanes of a swept group
#if !defined(ORVANE_LANES_AGAIN)
#include "audio/Lanes-inl.h"
#endif
#include ORVANE_PER_LEVEL
#undef ORVANE_LEVEL
#undef ORVANE_LEVEL_ATTR
#undef ORVANE_LEVEL_BYTES
#undef ORVANE_LEVEL_FLOATS

#if defined(__x86_64__)
#define ORVANE_LEVEL avx2
#define ORVANE_LEVEL_ATTR [[gnu::target("avx2")]]
#define ORVANE_LEVEL_BYTES 32
#define ORVANE_LEVEL_FLOATS 8
#if !defined(ORVANE_LANES_AGAIN)
#include "audio/Lanes-inl.h"
#endif
#include ORVANE_PER_LEVEL
#undef ORVANE_LEVEL
#undef ORVANE_LEVEL_ATTR
#undef ORVANE_LEVEL_BYTES
#undef ORVANE_LEVEL_FLOATS

#define ORVANE_LEVEL avx512
#define ORVANE_LEVEL_ATTR [[gnu::target("avx512f")]]
#define ORVANE_LEVEL_BYTES 64
#define ORVANE_LEVEL_FLOATS 8
#if !defined(ORVANE_LANES_AGAIN)
#include "audio/Lanes-inl.h"
#endif
#include ORVANE_PER_LEVEL
#undef ORVANE_LEVEL
#undef ORVANE_LEVEL_ATTR
#undef ORVANE_LEVEL_BYTES
#undef ORVANE_LEVEL_FLOATS
#endif

#undef ORVANE_PER_LEVEL
#undef ORVANE_LANES_AGAIN
#define ORVANE_LANES_DEFINED
