// The C++ side of bench/python-compare: every effect at its defaults over a long planar
// stereo buffer through the offline renderer the package runs: each block copied from the
// input into an AudioBuffer, processed in place, copied out to the output buffer. The buffers are far larger than the
// caches, and on huge pages where the kernel grants them, as numpy asks for its large
// arrays: otherwise the page size, not the package, would make the difference. Prints one
// line per effect:
//   EFFECT best_ns median_ns   (CPU time of the process per sample and channel)
//   orvane_node_on_buffers [seconds=60] [repetitions=5] [block_size=512] [EFFECT]
#include <sys/mman.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "render/OfflineRenderer.h"

namespace {

using namespace orvane;
using extensions::audioeffects::effectDescriptions;

constexpr std::uint32_t sampleRate = 48000;
constexpr std::uint32_t channels = 2;

double cpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

/// A zeroed buffer of count samples, advised onto huge pages as numpy does for large arrays.
struct LargeBuffer {
    explicit LargeBuffer(std::size_t count) {
        constexpr std::size_t hugePage = std::size_t{2} << 20;
        const std::size_t bytes = (count * sizeof(float) + hugePage - 1) / hugePage * hugePage;
        samples = static_cast<float*>(std::aligned_alloc(hugePage, bytes));
        if (!samples) throw std::bad_alloc();
        madvise(samples, bytes, MADV_HUGEPAGE);  // advice only: refused, the buffer stays usable
        std::fill_n(samples, bytes / sizeof(float), 0.0f);
    }
    ~LargeBuffer() { std::free(samples); }
    LargeBuffer(const LargeBuffer&) = delete;
    LargeBuffer& operator=(const LargeBuffer&) = delete;
    float* data() { return samples; }
    float* samples;
};

int wholeArgument(int argc, char** argv, int index, int fallback) {
    if (argc <= index) return fallback;
    char* end = nullptr;
    const long value = std::strtol(argv[index], &end, 10);
    if (*end != '\0' || value < 1 || value > 65536) {
        std::fprintf(stderr,
                     "usage: %s [seconds=60] [repetitions=5] [block_size=512] [EFFECT]: whole numbers from 1 "
                     "to 65536, and an effect's name to time only it\n",
                     argv[0]);
        std::exit(2);
    }
    return static_cast<int>(value);
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t frames = std::size_t{sampleRate} * static_cast<std::size_t>(wholeArgument(argc, argv, 1, 60));
    const int repetitions = wholeArgument(argc, argv, 2, 5);
    const auto blockSize = static_cast<std::uint32_t>(wholeArgument(argc, argv, 3, 512));

    const std::string only = argc > 4 ? argv[4] : "";

    LargeBuffer input(channels * frames);
    LargeBuffer output(channels * frames);
    std::mt19937 random(7);
    std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
    std::generate_n(input.data(), channels * frames, [&] { return noise(random); });

    bool found = false;
    for (const auto& description : effectDescriptions) {
        if (!only.empty() && description.type != only) continue;
        found = true;
        std::vector<double> times;
        // One run more than timed: the first warms the code and the allocator, as the
        // package's timing starts after a first call.
        for (int repetition = 0; repetition <= repetitions; ++repetition) {
            const double start = cpuSeconds();
            // A fresh effect per run, as the package's process(reset=True) makes one.
            render::OfflineEffect effect(description);
            render::OfflineEffect* const chain[] = {&effect};
            render::OfflineRender renderer(chain, {channels, sampleRate, blockSize, 0.0, true, frames});
            const float* const inputs[] = {input.data(), input.data() + frames};
            float* outputs[] = {output.data(), output.data() + frames};
            renderer.renderAll(inputs, frames, outputs);
            if (repetition > 0) times.push_back(cpuSeconds() - start);
        }
        // Keeps the output alive: the copies out cannot be left out.
        volatile float sink = output.data()[frames / 3];
        (void)sink;
        std::sort(times.begin(), times.end());
        const double scale = 1e9 / static_cast<double>(frames * channels);
        std::printf("%s %.3f %.3f\n", std::string(description.type).c_str(), times.front() * scale,
                    times[times.size() / 2] * scale);
        std::fflush(stdout);
    }
    if (!found) {
        std::fprintf(stderr, "no effect named '%s'\n", only.c_str());
        return 2;
    }
    return 0;
}
