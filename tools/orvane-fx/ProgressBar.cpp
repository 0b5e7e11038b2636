#include "ProgressBar.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace orvane::tools {

bool ProgressBar::wanted(bool quiet, double inputSeconds) {
    return !quiet && inputSeconds > minimumSeconds && isatty(STDERR_FILENO) == 1;
}

ProgressBar::ProgressBar(std::uint64_t totalFrames, std::uint32_t sampleRate, bool show)
    : total(totalFrames), rate(sampleRate), shown(show) {}

ProgressBar::~ProgressBar() {
    // Interrupted by an error: end the line so the message starts on its own.
    if (drawn && !finished) std::fputc('\n', stderr);
}

void ProgressBar::update(std::uint64_t doneFrames) {
    if (!shown || total == 0) return;
    const int permille = static_cast<int>(std::min<std::uint64_t>(doneFrames, total) * 1000 / total);
    if (permille == lastPermille) return;
    lastPermille = permille;
    draw(doneFrames);
}

void ProgressBar::finish() {
    if (!shown || finished) return;
    draw(total);
    std::fputc('\n', stderr);
    finished = true;
}

void ProgressBar::draw(std::uint64_t doneFrames) {
    constexpr int width = 40;
    const std::uint64_t done = std::min(doneFrames, total);
    const int filled = total == 0 ? width : static_cast<int>(done * width / total);
    char bar[width + 1];
    std::fill_n(bar, filled, '#');
    std::fill_n(bar + filled, width - filled, '.');
    bar[width] = '\0';
    const double seconds = rate ? static_cast<double>(done) / rate : 0.0;
    const double totalSeconds = rate ? static_cast<double>(total) / rate : 0.0;
    const double percent = total == 0 ? 100.0 : 100.0 * static_cast<double>(done) / static_cast<double>(total);
    std::fprintf(stderr, "\rprocessing [%s] %5.1f%%  %.1f s of %.1f s", bar, percent, seconds, totalSeconds);
    std::fflush(stderr);
    drawn = true;
}

}  // namespace orvane::tools
