#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <sndfile.h>

namespace orvane::tools {

/// An output sound file written through libsndfile from interleaved float frames.
///
/// The samples go to a temporary file beside the output, which commit() renames over the
/// output once the file is complete and closed. Until then an existing output stays as it
/// was; a writer destroyed without commit() removes its temporary file.
class SoundFileWriter {
public:
    /// Creates the temporary file for path in the given libsndfile format. Throws ToolError
    /// when the output cannot be written there.
    SoundFileWriter(const std::string& path, int format, std::uint32_t sampleRate, std::uint32_t channels);
    ~SoundFileWriter();
    SoundFileWriter(const SoundFileWriter&) = delete;
    SoundFileWriter& operator=(const SoundFileWriter&) = delete;

    /// Appends frames interleaved frames. Throws ToolError when writing fails.
    void write(const float* interleaved, std::size_t frames);
    /// Closes the file and moves it to the output path. Throws ToolError on failure.
    void commit();

private:
    void discard() noexcept;

    std::string path;
    std::string temporaryPath;
    int descriptor = -1;
    SNDFILE* file = nullptr;
    bool committed = false;
};

}  // namespace orvane::tools
