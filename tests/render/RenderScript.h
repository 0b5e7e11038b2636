#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace orvane::testing {

/// Runs the offline renderer as the bytes script it: a chain of up to three effects with
/// any parameter values, then up to three renders (channel counts 1 to 64 and beyond, block
/// sizes, tails, resets and continuations, automation curves with extreme and NaN values,
/// input in pieces of any length, the tail in chunks). Returns "" or what went wrong.
std::string runRenderScript(const std::uint8_t* data, std::size_t size);

}  // namespace orvane::testing
