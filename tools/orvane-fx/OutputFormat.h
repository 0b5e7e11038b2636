#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace orvane::tools {

/// Sample encodings a user can ask the output for.
enum class Encoding { Float32, Pcm16, Pcm24 };

/// The format chosen for an output, and a note for the user when it is not the one asked for.
struct FormatChoice {
    int format = 0;
    /// Empty, or one sentence saying which encoding was taken instead of the input's and why.
    std::string note;
};

/// The libsndfile format of an output file: container from the file name's extension,
/// encoding from the user's choice or else from the input.
class OutputFormat {
public:
    /// "float32", "pcm16" or "pcm24"; nothing for other text.
    static std::optional<Encoding> parseEncoding(const std::string& text);
    /// The accepted encoding names, for messages.
    static const char* encodingNames() noexcept;

    /// The container for path's extension (.wav, .aif, .aiff, .flac, .ogg). Throws
    /// ToolError for other extensions, listing these.
    static int containerFor(const std::string& path);

    /// The libsndfile format for writing path: requested encoding, or else the input's.
    /// Without a request, an input encoding the container cannot hold (Vorbis or MP3 into
    /// WAV, float into FLAC) gives the closest one it can: float32 for WAV and AIFF, pcm24
    /// for FLAC, with a note saying so. Throws ToolError when a requested encoding does not
    /// fit, saying which the container takes, and when one is requested for OGG (always
    /// Vorbis). A WAV encoding is one RF64 holds too, so that forLength() may switch.
    static FormatChoice choose(const std::string& path, std::optional<Encoding> requested, int inputFormat);

    /// The format to open for an output of frames frames (nothing: not known in advance).
    /// WAV counts its length in 32 bits; a WAV output that may not fit is opened as RF64,
    /// which libsndfile turns back into a RIFF file when it stays below 4 GiB after all.
    /// Other formats are returned as they are.
    static int forLength(int format, std::uint32_t channels, std::optional<std::uint64_t> frames) noexcept;

    /// The most frames of this many channels that a file of this format can hold, when its
    /// container counts bytes in 32 bits (WAV, AIFF); nothing when it has no such limit.
    static std::optional<std::uint64_t> frameLimit(int format, std::uint32_t channels) noexcept;
    /// The one-line refusal for an output past frameLimit, with the remedy.
    static std::string tooLongMessage(const std::string& path, int format);

    /// Whether samples of this format are integers, which libsndfile must clip rather than wrap.
    static bool isInteger(int format) noexcept;
};

}  // namespace orvane::tools
