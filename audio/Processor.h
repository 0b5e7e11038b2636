#pragma once

// What the processor offers beyond the x86-64 baseline, for the paths that choose their
// vector width at run time. Answers false on other processors.
namespace orvane::audio {

bool processorHasAvx2() noexcept;    // [any thread]
bool processorHasAvx512() noexcept;  // [any thread]

}  // namespace orvane::audio
