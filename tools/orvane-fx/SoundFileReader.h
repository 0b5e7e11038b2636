#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <sndfile.h>

namespace orvane::tools {

/// An input sound file opened through libsndfile, read as interleaved float frames.
class SoundFileReader {
public:
    /// Opens path. Throws ToolError when it is missing, unreadable, or not a sound file
    /// libsndfile can read.
    explicit SoundFileReader(const std::string& path);
    ~SoundFileReader();
    SoundFileReader(const SoundFileReader&) = delete;
    SoundFileReader& operator=(const SoundFileReader&) = delete;

    std::uint32_t sampleRate() const noexcept { return static_cast<std::uint32_t>(info.samplerate); }
    std::uint32_t channels() const noexcept { return static_cast<std::uint32_t>(info.channels); }
    /// The frame count the file's header announces.
    std::int64_t frames() const noexcept { return info.frames; }
    /// Whether frames() can be trusted: the input is a regular file, not cut off. A pipe's
    /// header announces a length made up before the audio was known.
    bool lengthKnown() const noexcept { return regularFile && truncation.empty(); }
    /// libsndfile's SF_FORMAT_* code: container and encoding.
    int format() const noexcept { return info.format; }

    /// When libsndfile found the file shorter than its header announces (a cut-off copy), the
    /// line of its log that says so; empty otherwise. Only the frames present are read.
    const std::string& truncationNote() const noexcept { return truncation; }

    /// Reads up to maxFrames frames into interleaved; answers how many it read, fewer only
    /// at the end of the file. Throws ToolError when reading fails.
    std::size_t read(float* interleaved, std::size_t maxFrames);

private:
    std::string path;
    std::string truncation;
    bool regularFile = false;
    SF_INFO info{};
    SNDFILE* file = nullptr;
};

}  // namespace orvane::tools
