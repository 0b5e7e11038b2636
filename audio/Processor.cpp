#include "Processor.h"

namespace orvane::audio {

// Asked afresh on each call (a load and a test once initialised), so that code running while
// the library loads, before any static of this file is set, gets the right answer too.
#if defined(__x86_64__)
bool processorHasAvx2() noexcept {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
}

bool processorHasAvx512() noexcept {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") != 0;
}
#else
bool processorHasAvx2() noexcept { return false; }
bool processorHasAvx512() noexcept { return false; }
#endif

}  // namespace orvane::audio
