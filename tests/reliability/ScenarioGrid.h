#pragma once

#include <string>
#include <vector>

#include "EffectHarness.h"

namespace orvane::testing {

/// Runs every node through the grid of sample rates, block sizes and bus channel counts
/// (formats switching between blocks), then through every parameter at its extreme values.
/// Answers the violations found, each described.
std::vector<std::string> runFormatGrid(EffectType type);
std::vector<std::string> runParameterGrid(EffectType type);

}  // namespace orvane::testing
