#pragma once

#include <locale.h>
#include <stdlib.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>

namespace orvane::tools {

/// Numbers typed by a user: only the whole text, no spaces, nothing a looser parser would
/// quietly round or ignore.
struct StrictNumber {
    /// Decimal digits only, without sign, at most maximum.
    static std::optional<std::uint64_t> wholeNumber(std::string_view text, std::uint64_t maximum) {
        std::uint64_t value = 0;
        const char* end = text.data() + text.size();
        const auto [stop, error] = std::from_chars(text.data(), end, value, 10);
        if (text.empty() || error != std::errc{} || stop != end || value > maximum) return std::nullopt;
        return value;
    }

    /// A finite decimal ("0.25", "-3", "1e-3"), correctly rounded; one too small for T is
    /// taken as its nearest value, zero or a subnormal.
    template <typename T>
    static std::optional<T> finite(std::string_view text) {
        T value{};
        const char* end = text.data() + text.size();
        // general: no "inf", "nan" or hexadecimal forms.
        const auto [stop, error] = std::from_chars(text.data(), end, value, std::chars_format::general);
        if (text.empty() || stop != end) return std::nullopt;
        if (error == std::errc::result_out_of_range) {
            // from_chars reports underflow like overflow and leaves value unset; strto* in the
            // "C" locale rounds both (to infinity for overflow, refused below).
            static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
            if (!c) return std::nullopt;
            const std::string copy(text);
            if constexpr (std::is_same_v<T, float>)
                value = strtof_l(copy.c_str(), nullptr, c);
            else
                value = strtod_l(copy.c_str(), nullptr, c);
        } else if (error != std::errc{}) {
            return std::nullopt;
        }
        if (!std::isfinite(value)) return std::nullopt;
        return value;
    }
};

}  // namespace orvane::tools
