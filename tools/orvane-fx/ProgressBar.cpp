#include "ProgressBar.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace orvane::tools {

bool ProgressBar::wanted(bool quiet, double inputSeconds) {
    return !quiet && inputSeconds > minimumSeconds && isatty(STDERR_FILENO) == 1;
}

ProgressBar::ProgressBar(std::optional<std::uint64_t> totalFrames, std::uint32_t sampleRate, bool show)
    : total(totalFrames), rate(sampleRate), shown(show) {}

ProgressBar::~ProgressBar() {
    // Interrupted by an error: end the line so the message starts on its own.
    if (drawn && !finished) std::fputc('\n', stderr);
}

void ProgressBar::update(std::uint64_t doneFrames) {
    if (!shown || (total && *total == 0) || rate == 0) return;
    const std::int64_t step = total ? static_cast<std::int64_t>(std::min(doneFrames, *total) * 1000 / *total)
                                    : static_cast<std::int64_t>(doneFrames * 10 / rate);
    if (step == lastStep) return;
    lastStep = step;
    draw(doneFrames, total);
}

void ProgressBar::finish(std::uint64_t doneFrames) {
    if (!shown || finished) return;
    // The header's length may have been wrong; what was done is the whole.
    draw(doneFrames, total ? std::optional<std::uint64_t>(doneFrames) : std::nullopt);
    std::fputc('\n', stderr);
    finished = true;
}

void ProgressBar::draw(std::uint64_t doneFrames, std::optional<std::uint64_t> totalFrames) {
    const double seconds = rate ? static_cast<double>(doneFrames) / rate : 0.0;
    char line[160];
    int width = 0;
    if (totalFrames) {
        constexpr int barWidth = 40;
        const std::uint64_t whole = *totalFrames;
        const std::uint64_t done = std::min(doneFrames, whole);
        const int filled = whole == 0 ? barWidth : static_cast<int>(done * barWidth / whole);
        char bar[barWidth + 1];
        std::fill_n(bar, filled, '#');
        std::fill_n(bar + filled, barWidth - filled, '.');
        bar[barWidth] = '\0';
        const double doneSeconds = rate ? static_cast<double>(done) / rate : 0.0;
        const double totalSeconds = rate ? static_cast<double>(whole) / rate : 0.0;
        const double percent = whole == 0 ? 100.0 : 100.0 * static_cast<double>(done) / static_cast<double>(whole);
        width = std::snprintf(line, sizeof line, "processing [%s] %5.1f%%  %.1f s of %.1f s", bar, percent, doneSeconds,
                              totalSeconds);
    } else {
        width = std::snprintf(line, sizeof line, "processing  %.1f s of audio", seconds);
    }
    width = std::clamp(width, 0, static_cast<int>(sizeof line) - 1);
    // Blanks over the rest of a longer earlier line.
    std::fprintf(stderr, "\r%s%*s", line, std::max(0, lastWidth - width), "");
    std::fflush(stderr);
    lastWidth = std::max(lastWidth, width);
    drawn = true;
}

}  // namespace orvane::tools
