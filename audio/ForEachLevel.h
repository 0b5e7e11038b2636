// Compiles the file named by ORVANE_PER_LEVEL once per processor level, into namespace
// orvane::lanes::ORVANE_LEVEL, its functions tagged ORVANE_LEVEL_ATTR (the level's
// instructions); ORVANE_LEVEL_BYTES is the level's widest register. Lanes-inl.h comes first,
// once per translation unit. No include guard: each inclusion compiles one more file.
#if !defined(ORVANE_PER_LEVEL)
#error "define ORVANE_PER_LEVEL as the per-level file to compile"
#endif
#include "audio/SimdLevel.h"

#define ORVANE_LEVEL baseline
#define ORVANE_LEVEL_ATTR
#define ORVANE_LEVEL_BYTES 16
#include "audio/OneLevel-inl.h"
#if defined(__x86_64__)
#define ORVANE_LEVEL avx2
#define ORVANE_LEVEL_ATTR [[gnu::target("avx2")]]
#define ORVANE_LEVEL_BYTES 32
#include "audio/OneLevel-inl.h"
#define ORVANE_LEVEL avx512
#define ORVANE_LEVEL_ATTR [[gnu::target("avx512f")]]
#define ORVANE_LEVEL_BYTES 64
#include "audio/OneLevel-inl.h"
#endif
#undef ORVANE_PER_LEVEL
#define ORVANE_LANES_DEFINED
