// One level's round of ForEachLevel.h.
#if !defined(ORVANE_LANES_DEFINED)
#include "audio/Lanes-inl.h"
#endif
#include ORVANE_PER_LEVEL
#undef ORVANE_LEVEL
#undef ORVANE_LEVEL_ATTR
#undef ORVANE_LEVEL_BYTES
