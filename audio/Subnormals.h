#pragma once

#include <bit>
#include <cstdint>

// Natively the effects process with the processor flushing subnormal operands and results to
// zero (nodes/DenormalGuard.h). WebAssembly has no such mode: there the processing path flushes
// in code, the operands where they enter and each result that can be subnormal, so that its
// bits equal the native ones. Natively these functions do nothing and compile away.
namespace orvane::audio {

#if defined(__wasm__)
inline constexpr bool flushesInCode = true;
#else
inline constexpr bool flushesInCode = false;
#endif

/// Makes value (a float, or a vector of floats lane by lane) a zero of its sign where it is
/// subnormal. In place: a vector passed by value would take another ABI in the levels' code.
template <typename T>
[[gnu::always_inline]] inline void flush(T& value) noexcept {  // [any thread]
    if constexpr (flushesInCode && sizeof(T) == sizeof(float)) {
        const auto bits = std::bit_cast<std::uint32_t>(value);
        if ((bits & 0x7f800000u) == 0) value = std::bit_cast<T>(bits & 0x80000000u);
    } else if constexpr (flushesInCode) {
        using Bits = std::int32_t __attribute__((vector_size(sizeof(T))));
        const auto bits = Bits(value);  // the same bits, as the vector types convert
        value = T(bits & (((bits & 0x7f800000) != 0) | INT32_MIN));
    }
}

/// value, flushed.
[[gnu::always_inline]] inline float flushed(float value) noexcept {  // [any thread]
    flush(value);
    return value;
}

/// Every sample of count flushed in place.
inline void flushInPlace(float* samples, std::uint32_t count) noexcept {  // [any thread]
    if constexpr (flushesInCode)
        for (std::uint32_t i = 0; i < count; ++i) flush(samples[i]);
}

}  // namespace orvane::audio
