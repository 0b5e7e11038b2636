// What emscripten 3.1.6's libc++ lacks and the shared sources use: std::bit_cast (the compiler's
// builtin is the same function) and std::to_chars of a float or double in its shortest form
// (the renderer's texts). Included ahead of every source of the WebAssembly build.
#pragma once

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <type_traits>

namespace std {

#if !defined(__cpp_lib_bit_cast)
template <typename To, typename From>
constexpr To bit_cast(const From& from) noexcept {
    static_assert(sizeof(To) == sizeof(From) && is_trivially_copyable_v<To> && is_trivially_copyable_v<From>);
    return __builtin_bit_cast(To, from);
}
#endif

#if !defined(__cpp_lib_to_chars)
/// The fewest significant digits that read back as value, written as %f or %e would, whichever
/// is shorter (%f on a tie): what std::to_chars(first, last, value) writes.
template <typename T, typename = enable_if_t<is_floating_point_v<T>>>
to_chars_result to_chars(char* first, char* last, T value) {
    char scientific[48], text[64];
    if (!isfinite(value)) {
        snprintf(text, sizeof text, "%s%s", signbit(value) ? "-" : "", isnan(value) ? "nan" : "inf");
    } else {
        for (int precision = 0;; ++precision) {  // [-]d.ddde±XX, precision digits after the point
            snprintf(scientific, sizeof scientific, "%.*e", precision, static_cast<double>(value));
            if (static_cast<T>(is_same_v<T, float> ? strtof(scientific, nullptr) : strtod(scientific, nullptr)) ==
                value)
                break;
        }
        char digits[32];
        int count = 0;
        const char* at = scientific + (signbit(value) ? 1 : 0);
        for (; *at != 'e'; ++at)
            if (*at != '.') digits[count++] = *at;
        const int exponent = atoi(at + 1);
        const int fixedLength =
            (signbit(value) ? 1 : 0) +
            (exponent < 0 ? count + 1 - exponent : max(count, exponent + 1) + (count > exponent + 1 ? 1 : 0));
        if (fixedLength > static_cast<int>(strlen(scientific))) {
            snprintf(text, sizeof text, "%s", scientific);
        } else if (exponent + 1 >= count) {  // a whole number: all its digits, as %f gives them
            snprintf(text, sizeof text, "%.0f", static_cast<double>(value));
        } else {
            char* out = text;
            if (signbit(value)) *out++ = '-';
            if (exponent < 0) {  // 0.000ddd
                *out++ = '0';
                *out++ = '.';
                for (int i = exponent + 1; i < 0; ++i) *out++ = '0';
            }
            for (int i = 0; i < count; ++i) {  // dd.ddd
                if (i == exponent + 1 && exponent >= 0) *out++ = '.';
                *out++ = digits[i];
            }
            *out = '\0';
        }
    }
    const size_t length = strlen(text);
    if (static_cast<size_t>(last - first) < length) return {last, errc::value_too_large};
    memcpy(first, text, length);
    return {first + length, errc{}};
}
#endif

}  // namespace std
