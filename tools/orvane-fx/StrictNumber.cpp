#include "StrictNumber.h"

#include <locale.h>
#include <stdlib.h>

#include <charconv>
#include <cmath>
#include <string>
#include <system_error>

namespace orvane::tools {

namespace {

// strtof/strtod in the "C" locale, whatever the process's locale says about decimal points.
locale_t cLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}

float roundedFromText(const std::string& text, float) { return strtof_l(text.c_str(), nullptr, cLocale()); }
double roundedFromText(const std::string& text, double) { return strtod_l(text.c_str(), nullptr, cLocale()); }

template <typename T>
std::optional<T> parseFinite(std::string_view text) {
    // from_chars alone would also take "inf", "nan" and hexadecimal forms.
    if (text.empty()) return std::nullopt;
    T value{};
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, std::chars_format::general);
    if (stop != end) return std::nullopt;
    if (error == std::errc::result_out_of_range) {
        // from_chars reports underflow (1e-50 as a float) like overflow and leaves value
        // unset. The text is a well-formed decimal, so strto* gives its nearest value:
        // zero or a subnormal for underflow, infinity for overflow, which stays refused.
        if (!cLocale()) return std::nullopt;
        value = roundedFromText(std::string(text), T{});
    } else if (error != std::errc{}) {
        return std::nullopt;
    }
    if (!std::isfinite(value)) return std::nullopt;
    return value;
}

}  // namespace

std::optional<std::uint64_t> StrictNumber::wholeNumber(std::string_view text, std::uint64_t maximum) {
    if (text.empty()) return std::nullopt;
    std::uint64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, 10);
    if (error != std::errc{} || stop != end || value > maximum) return std::nullopt;
    return value;
}

std::optional<float> StrictNumber::finiteFloat(std::string_view text) { return parseFinite<float>(text); }

std::optional<double> StrictNumber::finiteDouble(std::string_view text) { return parseFinite<double>(text); }

}  // namespace orvane::tools
