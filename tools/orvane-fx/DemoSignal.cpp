#include "DemoSignal.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace orvane::tools {

namespace {

constexpr double musicSeconds = 4.0;

/// A small fixed-seed generator, so the demo's files are the same on every machine.
class NoiseSource {
public:
    /// Uniform in [-1, 1).
    double next() {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(state >> 11) / 4503599627370496.0 - 1.0;
    }

private:
    std::uint64_t state = 0x5eed;
};

// Karplus-Strong: a burst of noise circulating in a delay line of one period, averaged
// on every pass, decays the way a plucked string does.
void pluck(std::vector<double>& left, std::vector<double>& right, std::uint32_t sampleRate, double startSeconds,
           double frequency, double pan, NoiseSource& noise) {
    const auto period = static_cast<std::size_t>(std::lround(sampleRate / frequency));
    std::vector<double> line(period);
    for (double& slot : line) slot = noise.next();
    const double leftGain = std::cos(pan * std::numbers::pi / 2.0);
    const double rightGain = std::sin(pan * std::numbers::pi / 2.0);
    const auto start = static_cast<std::size_t>(startSeconds * sampleRate);
    std::size_t position = 0;
    for (std::size_t frame = start; frame < left.size(); ++frame) {
        const std::size_t following = (position + 1) % period;
        const double sample = line[position];
        line[position] = 0.498 * (line[position] + line[following]);
        position = following;
        left[frame] += 0.25 * leftGain * sample;
        right[frame] += 0.25 * rightGain * sample;
    }
}

// A drum-like hit: a falling sine thump under a short burst of noise.
void hit(std::vector<double>& left, std::vector<double>& right, std::uint32_t sampleRate, double startSeconds,
         NoiseSource& noise) {
    const auto start = static_cast<std::size_t>(startSeconds * sampleRate);
    // Rings to the end of the signal: cutting it off earlier would click.
    const auto length = left.size() - std::min(left.size(), start);
    double phase = 0.0;
    for (std::size_t i = 0; i < length; ++i) {
        const double t = static_cast<double>(i) / sampleRate;
        const double frequency = 50.0 + 110.0 * std::exp(-t / 0.03);
        phase += 2.0 * std::numbers::pi * frequency / sampleRate;
        const double thump = std::sin(phase) * std::exp(-t / 0.12);
        const double crack = noise.next() * std::exp(-t / 0.02);
        left[start + i] += 0.5 * thump + 0.2 * crack;
        right[start + i] += 0.5 * thump + 0.2 * noise.next() * std::exp(-t / 0.02);
    }
}

}  // namespace

AudioBuffer<float> DemoSignal::music(std::uint32_t sampleRate) {
    const auto frames = static_cast<std::size_t>(musicSeconds * sampleRate);
    std::vector<double> left(frames);
    std::vector<double> right(frames);
    NoiseSource noise;
    // An A major arpeggio walking from left to right, then a chord, then the hit.
    const double notes[] = {220.0, 277.18, 329.63, 440.0, 554.37};
    for (int i = 0; i < 5; ++i) pluck(left, right, sampleRate, 0.3 * i, notes[i], 0.1 + 0.2 * i, noise);
    for (double note : {220.0, 329.63, 440.0}) pluck(left, right, sampleRate, 1.8, note, 0.5, noise);
    hit(left, right, sampleRate, 2.4, noise);

    double peak = 0.0;
    for (std::size_t i = 0; i < frames; ++i) peak = std::max({peak, std::abs(left[i]), std::abs(right[i])});
    const double gain = peak > 0.0 ? 0.5 / peak : 1.0;
    AudioBuffer<float> signal(2, static_cast<std::uint32_t>(frames), sampleRate);
    for (std::uint32_t f = 0; f < frames; ++f) {
        signal.setSample(0, f, static_cast<float>(left[f] * gain));
        signal.setSample(1, f, static_cast<float>(right[f] * gain));
    }
    return signal;
}

AudioBuffer<float> DemoSignal::impulse(std::uint32_t sampleRate, double seconds) {
    const auto frames = static_cast<std::uint32_t>(std::lround(seconds * sampleRate));
    AudioBuffer<float> signal(2, frames, sampleRate);
    if (frames > 0) {
        signal.setSample(0, 0, 1.0f);
        signal.setSample(1, 0, 1.0f);
    }
    return signal;
}

}  // namespace orvane::tools
