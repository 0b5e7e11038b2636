#pragma once

#include <cstdint>
#include <optional>

namespace orvane::tools {

/// A one-line progress bar on stderr, redrawn in place as work advances.
///
/// With a known total it shows a bar, the percentage and seconds of audio done of the total;
/// without one (the input's length cannot be trusted) only the seconds of audio done.
class ProgressBar {
public:
    /// Inputs up to this long finish too soon for a bar to help.
    static constexpr double minimumSeconds = 10.0;

    /// Whether a bar is wanted: not silenced, stderr is a terminal, and the input is long.
    static bool wanted(bool quiet, double inputSeconds);

    /// A bar over totalFrames frames at sampleRate, or of unknown length; draws nothing
    /// unless shown.
    ProgressBar(std::optional<std::uint64_t> totalFrames, std::uint32_t sampleRate, bool shown);
    /// Ends the bar's line if it was drawn.
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    /// Records that doneFrames frames are done; redraws only when the bar visibly changes.
    void update(std::uint64_t doneFrames);
    /// Draws the end state, with the frames actually done as the total, and ends the line.
    void finish(std::uint64_t doneFrames);

private:
    void draw(std::uint64_t doneFrames, std::optional<std::uint64_t> totalFrames);

    std::optional<std::uint64_t> total;
    std::uint32_t rate;
    bool shown;
    bool drawn = false;
    bool finished = false;
    std::int64_t lastStep = -1;  // permille of the total, or tenths of a second without one
    int lastWidth = 0;
};

}  // namespace orvane::tools
