// The oscillator's loops over a piece, for one level (see ForEachLevel.h): plain loops the
// compiler puts in that level's lanes, and the sines.
#include "audio/Sine-inl.h"

namespace orvane::lanes::ORVANE_LEVEL {

/// phases[k] = start + k * stride, each rounded once to float, for k < count.
ORVANE_LEVEL_ATTR void fillSeries(Target, float* phases, int count, double start, double stride) noexcept {
    for (int k = 0; k < count; ++k) phases[k] = static_cast<float>(start + static_cast<double>(k) * stride);
}

/// out[i] = sin(2 pi phases[i] + phaseOffset) * amplitude + offset for i < steps, the angle
/// formed in double and rounded once.
ORVANE_LEVEL_ATTR void shapePiece(Target target, const float* phases, float* out, unsigned int steps, float phaseOffset,
                                  float amplitude, float offset) noexcept {
    for (unsigned int i = 0; i < steps; ++i)
        out[i] = static_cast<float>(static_cast<double>(phases[i]) * 6.283185307179586 + double{phaseOffset});
    sineInPlace(target, out, steps);
    for (unsigned int i = 0; i < steps; ++i) out[i] = out[i] * amplitude + offset;
}

}  // namespace orvane::lanes::ORVANE_LEVEL
