#pragma once

#include <cstdint>

namespace orvane::tools {

/// A one-line progress bar on stderr, redrawn in place as work advances.
class ProgressBar {
public:
    /// Inputs up to this long finish too soon for a bar to help.
    static constexpr double minimumSeconds = 10.0;

    /// Whether a bar is wanted: not silenced, stderr is a terminal, and the input is long.
    static bool wanted(bool quiet, double inputSeconds);

    /// A bar over totalFrames frames at sampleRate; draws nothing unless shown.
    ProgressBar(std::uint64_t totalFrames, std::uint32_t sampleRate, bool shown);
    /// Ends the bar's line if it was drawn.
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    /// Records that doneFrames frames are done; redraws only when the bar visibly changes.
    void update(std::uint64_t doneFrames);
    /// Draws the bar full and ends its line.
    void finish();

private:
    void draw(std::uint64_t doneFrames);

    std::uint64_t total;
    std::uint32_t rate;
    bool shown;
    bool drawn = false;
    bool finished = false;
    int lastPermille = -1;
};

}  // namespace orvane::tools
