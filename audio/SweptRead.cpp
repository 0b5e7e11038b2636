#include "SweptRead.h"

#include <cmath>

namespace orvane::audio {

namespace {

float positionBehindWriter(int writePointer, int capacity, float sweep, float baseDelay) noexcept {
    const auto size = static_cast<float>(capacity);
    return std::fmod(((static_cast<float>(writePointer) - sweep) - baseDelay) + size, size);
}

}  // namespace

float sweptReadPositionAnywhere(int writePointer, int capacity, float sweep, float baseDelay) noexcept {
    const float position = positionBehindWriter(writePointer, capacity, sweep, baseDelay);
    return std::isfinite(position) ? position : positionBehindWriter(writePointer, capacity, 0.0f, baseDelay);
}

}  // namespace orvane::audio
