// The WebAssembly level's sines (audio::sineInPlace) over stretches of the angles the oscillators
// form, [0, 8): prints a line per stretch, "first end step hash", hash being FNV-1a over the bits
// of the sines of angles first, first + step, ... below end (as float bit patterns). SineTest
// computes the same with glibc's sinf. Tiny angles, which give themselves back, are sampled.
#include <bit>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "audio/Sine.h"

int main() {
    const std::uint32_t tiny = std::bit_cast<std::uint32_t>(0x1p-12f), end = std::bit_cast<std::uint32_t>(8.0f);
    std::vector<std::uint32_t> stretches{0, tiny};  // bounds, then steps below
    for (std::uint32_t first = tiny + (1u << 23); first < end; first += 1u << 23) stretches.push_back(first);
    stretches.push_back(end);
    std::vector<float> values(1u << 16);
    for (std::size_t s = 0; s + 1 < stretches.size(); ++s) {
        const std::uint32_t first = stretches[s], last = stretches[s + 1], step = s == 0 ? 4099 : 1;
        std::uint64_t hash = 14695981039346656037ull;
        for (std::uint32_t at = first; at < last;) {
            std::size_t count = 0;
            for (; count < values.size() && at < last; ++count, at += step) values[count] = std::bit_cast<float>(at);
            orvane::audio::sineInPlace(values.data(), static_cast<unsigned int>(count));
            for (std::size_t i = 0; i < count; ++i)
                hash = (hash ^ std::bit_cast<std::uint32_t>(values[i])) * 1099511628211ull;
        }
        std::printf("%u %u %u %llu\n", first, last, step, static_cast<unsigned long long>(hash));
    }
}
