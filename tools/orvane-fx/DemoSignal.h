#pragma once

#include <cstdint>

#include "host/AudioBuffer.h"

namespace orvane::tools {

/// Test signals for the demo, synthesised the same way on every run.
class DemoSignal {
public:
    /// A few seconds of stereo music: plucked strings spread across the stereo field, a
    /// percussive hit, and a quiet end in which echoes can be heard.
    static AudioBuffer<float> music(std::uint32_t sampleRate);
    /// seconds of stereo silence with 1.0 at frame 0 of both channels.
    static AudioBuffer<float> impulse(std::uint32_t sampleRate, double seconds);
};

}  // namespace orvane::tools
