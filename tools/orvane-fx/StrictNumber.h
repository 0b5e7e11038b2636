#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace orvane::tools {

/// Parsers for numbers typed by a user. Each accepts only the whole text: no spaces, no
/// trailing characters, nothing that a looser parser would quietly round or ignore.
class StrictNumber {
public:
    /// Decimal digits only, without sign, at most maximum.
    static std::optional<std::uint64_t> wholeNumber(std::string_view text, std::uint64_t maximum);
    /// A finite decimal number ("0.25", "-3", "1e-3"), correctly rounded to float.
    static std::optional<float> finiteFloat(std::string_view text);
    /// A finite decimal number ("0.25", "-3", "1e-3"), correctly rounded to double.
    static std::optional<double> finiteDouble(std::string_view text);
};

}  // namespace orvane::tools
