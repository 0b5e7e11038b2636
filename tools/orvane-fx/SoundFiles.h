#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include <sndfile.h>

namespace orvane::tools {

/// The libsndfile format of an output, and a note when it is not the encoding asked for.
struct FormatChoice {
    int format = 0;
    std::string note;
};

/// Container from path's extension (.wav, .aif, .aiff, .flac, .ogg), encoding from
/// `encoding` ("float32", "pcm16", "pcm24") or else the input's. Without a request, an input
/// encoding the container cannot hold gives the nearest it can (float32; FLAC: pcm24), with
/// a note. Throws ToolError for another extension or an encoding the container cannot hold.
FormatChoice chooseOutputFormat(const std::string& path, const std::string& encoding, int inputFormat);

/// The most frames a WAV or AIFF file of this format can count in its 32-bit lengths;
/// nothing for other containers.
std::optional<std::uint64_t> frameLimit(int format, std::uint32_t channels);

/// An input sound file, read as interleaved floats.
class InputFile {
public:
    /// Throws ToolError when path is missing, unreadable or no sound file libsndfile reads.
    explicit InputFile(const std::string& path);
    ~InputFile() { sf_close(file); }
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    /// Up to frames frames; fewer only at the end. Throws ToolError when reading fails.
    std::size_t read(float* interleaved, std::size_t frames);

    SF_INFO info{};
    /// Whether info.frames can be trusted: a regular file not cut off (a pipe's header
    /// announces a length made up before the audio was known).
    bool lengthKnown = false;
    /// libsndfile's log line when the file is shorter than its header says; else empty.
    std::string truncation;

private:
    std::string path;
    SNDFILE* file = nullptr;
};

/// An output written to a temporary file beside it, synced and renamed over it only by
/// commit(); destroyed before that, or ended by SIGINT, SIGTERM or SIGHUP, it removes the
/// temporary file. A symbolic link keeps pointing at the replaced file; an existing output
/// keeps its permission bits.
class OutputFile {
public:
    /// WAV is written as RF64 unless knownFrames fit in a plain WAV file; libsndfile turns it
    /// back into RIFF when it stays small. Throws ToolError when the output cannot be made.
    OutputFile(const std::string& path, int format, const SF_INFO& input, std::optional<std::uint64_t> knownFrames);
    ~OutputFile() { discard(); }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    /// Throws ToolError when writing fails or the container cannot count that many frames.
    void write(const float* interleaved, std::size_t frames);
    void commit();

private:
    void discard() noexcept;

    std::string path;    // as the user named it, for messages
    std::string target;  // the file replaced: path through its symbolic links
    int format;
    std::optional<std::uint64_t> framesLeft;
    int descriptor = -1;
    SNDFILE* file = nullptr;
};

}  // namespace orvane::tools
