#pragma once

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#endif

namespace orvane::extensions::audioeffects {

/// Flushes subnormal results and operands to zero while it lives, and restores the caller's
/// floating-point mode when it goes. Echoes dying away would otherwise make every sample
/// many times slower on processors that handle subnormals in microcode. WebAssembly has no
/// such mode: there the processing flushes in code (audio/Subnormals.h) to the same bits.
class DenormalGuard {
public:
#if defined(__SSE__) || defined(__x86_64__)
    DenormalGuard() noexcept : saved(_mm_getcsr()) { _mm_setcsr(saved | flushToZero | denormalsAreZero); }
    ~DenormalGuard() { _mm_setcsr(saved); }

private:
    static constexpr unsigned int flushToZero = 0x8000;
    static constexpr unsigned int denormalsAreZero = 0x0040;
    unsigned int saved;
#elif defined(__aarch64__)
    DenormalGuard() noexcept {
        asm volatile("mrs %0, fpcr" : "=r"(saved));
        asm volatile("msr fpcr, %0" : : "r"(saved | flushToZero));
    }
    ~DenormalGuard() { asm volatile("msr fpcr, %0" : : "r"(saved)); }

private:
    static constexpr unsigned long flushToZero = 1ul << 24;
    unsigned long saved;
#else
    DenormalGuard() noexcept {}
#endif
public:
    DenormalGuard(const DenormalGuard&) = delete;
    DenormalGuard& operator=(const DenormalGuard&) = delete;
};

}  // namespace orvane::extensions::audioeffects
