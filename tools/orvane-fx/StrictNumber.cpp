#include "StrictNumber.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace orvane::tools {

namespace {

template <typename T>
std::optional<T> parseFinite(std::string_view text) {
    // from_chars alone would also take "inf", "nan" and hexadecimal forms.
    if (text.empty()) return std::nullopt;
    T value{};
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, std::chars_format::general);
    if (error != std::errc{} || stop != end || !std::isfinite(value)) return std::nullopt;
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
