#pragma once

#include <optional>
#include <string>

namespace orvane::tools {

/// Sample encodings a user can ask the output for.
enum class Encoding { Float32, Pcm16, Pcm24 };

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

    /// The full libsndfile format for writing path: requested encoding, or else the
    /// input's. Throws ToolError when the container cannot hold that encoding, saying
    /// which it takes, and when an encoding is requested for OGG (always Vorbis).
    static int choose(const std::string& path, std::optional<Encoding> requested, int inputFormat);

    /// Whether samples of this format are integers, which libsndfile must clip rather than wrap.
    static bool isInteger(int format) noexcept;
};

}  // namespace orvane::tools
