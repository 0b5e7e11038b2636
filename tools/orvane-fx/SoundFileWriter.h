#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include <sndfile.h>

#include "InterruptCleanup.h"

namespace orvane::tools {

/// An output sound file written through libsndfile from interleaved float frames.
///
/// The samples go to a temporary file beside the output, which commit() renames over the
/// output once the file is complete, synced and closed. Until then an existing output stays
/// as it was; a writer destroyed without commit(), or a program ended by SIGINT, SIGTERM or
/// SIGHUP meanwhile, removes the temporary file. When the output is a symbolic link, the
/// file it points to is replaced and the link stays; an existing output keeps its
/// permission bits.
class SoundFileWriter {
public:
    /// Creates the temporary file for path in the given libsndfile format (RF64 comes out as
    /// a RIFF WAV file if it stays below 4 GiB). Throws ToolError when the output cannot be
    /// written there.
    SoundFileWriter(const std::string& path, int format, std::uint32_t sampleRate, std::uint32_t channels);
    ~SoundFileWriter();
    SoundFileWriter(const SoundFileWriter&) = delete;
    SoundFileWriter& operator=(const SoundFileWriter&) = delete;

    /// Appends frames interleaved frames. Throws ToolError when writing fails or the format
    /// cannot hold that many frames.
    void write(const float* interleaved, std::size_t frames);
    /// Closes the file and moves it to the output path. Throws ToolError on failure.
    void commit();

private:
    void discard() noexcept;

    std::string path;        // as the user named it, for messages
    std::string targetPath;  // the file that is replaced: path with symbolic links resolved
    std::string temporaryPath;
    int format;
    std::optional<std::uint64_t> frameLimit;
    std::uint64_t framesWritten = 0;
    int descriptor = -1;
    SNDFILE* file = nullptr;
    bool committed = false;
    InterruptCleanup interruptCleanup;
};

}  // namespace orvane::tools
