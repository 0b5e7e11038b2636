#include "OutputFormat.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include <sndfile.h>

#include "ToolError.h"

namespace orvane::tools {

namespace {

constexpr const char* acceptedExtensions = ".wav, .aif, .aiff, .flac or .ogg";

int subformatOf(Encoding encoding) {
    switch (encoding) {
        case Encoding::Float32:
            return SF_FORMAT_FLOAT;
        case Encoding::Pcm16:
            return SF_FORMAT_PCM_16;
        case Encoding::Pcm24:
            return SF_FORMAT_PCM_24;
    }
    return SF_FORMAT_FLOAT;
}

std::string nameOfSubformat(int subformat) {
    switch (subformat) {
        case SF_FORMAT_FLOAT:
            return "float32";
        case SF_FORMAT_DOUBLE:
            return "float64";
        case SF_FORMAT_PCM_16:
            return "pcm16";
        case SF_FORMAT_PCM_24:
            return "pcm24";
        case SF_FORMAT_PCM_32:
            return "pcm32";
        case SF_FORMAT_PCM_S8:
        case SF_FORMAT_PCM_U8:
            return "pcm8";
        case SF_FORMAT_VORBIS:
            return "Vorbis";
        case SF_FORMAT_OPUS:
            return "Opus";
        case SF_FORMAT_ULAW:
            return "u-law";
        case SF_FORMAT_ALAW:
            return "A-law";
        case SF_FORMAT_MPEG_LAYER_I:
            return "MPEG layer I";
        case SF_FORMAT_MPEG_LAYER_II:
            return "MPEG layer II";
        case SF_FORMAT_MPEG_LAYER_III:
            return "MP3";
        case SF_FORMAT_IMA_ADPCM:
            return "IMA ADPCM";
        case SF_FORMAT_MS_ADPCM:
            return "MS ADPCM";
        case SF_FORMAT_GSM610:
            return "GSM 6.10";
        default:
            return {};
    }
}

std::string describeInputEncoding(int subformat) {
    const std::string name = nameOfSubformat(subformat);
    return name.empty() ? "the input's encoding" : "the input's encoding (" + name + ")";
}

bool holds(int container, int subformat) {
    SF_INFO probe{};
    probe.samplerate = 48000;
    probe.channels = 2;
    probe.format = container | subformat;
    return sf_format_check(&probe) != 0;
}

// Bytes each sample takes; for compressed encodings a bound from above.
std::uint64_t bytesPerSample(int subformat) {
    switch (subformat) {
        case SF_FORMAT_PCM_S8:
        case SF_FORMAT_PCM_U8:
        case SF_FORMAT_ULAW:
        case SF_FORMAT_ALAW:
        case SF_FORMAT_IMA_ADPCM:
        case SF_FORMAT_GSM610:
            return 1;
        case SF_FORMAT_PCM_16:
        case SF_FORMAT_DWVW_12:
        case SF_FORMAT_DWVW_16:
            return 2;
        case SF_FORMAT_PCM_24:
        case SF_FORMAT_DWVW_24:
            return 3;
        case SF_FORMAT_DOUBLE:
            return 8;
        default:
            return 4;
    }
}

std::string nameOfContainer(int container) {
    switch (container) {
        case SF_FORMAT_WAV:
        case SF_FORMAT_RF64:
            return "WAV";
        case SF_FORMAT_AIFF:
            return "AIFF";
        case SF_FORMAT_FLAC:
            return "FLAC";
        case SF_FORMAT_OGG:
            return "OGG";
        default:
            return "the output format";
    }
}

// The encodings of the --encoding choice that a container holds, from libsndfile itself.
std::string encodingsHeldBy(int container) {
    std::string names;
    for (Encoding encoding : {Encoding::Float32, Encoding::Pcm16, Encoding::Pcm24})
        if (holds(container, subformatOf(encoding)))
            names += (names.empty() ? "" : ", ") + nameOfSubformat(subformatOf(encoding));
    return names;
}

// The samples a 32-bit length can count, leaving room for the chunks around them.
constexpr std::uint64_t byteLimit32 = 0xFFFFFFFFu - 65536u;

}  // namespace

std::optional<Encoding> OutputFormat::parseEncoding(const std::string& text) {
    if (text == "float32") return Encoding::Float32;
    if (text == "pcm16") return Encoding::Pcm16;
    if (text == "pcm24") return Encoding::Pcm24;
    return std::nullopt;
}

const char* OutputFormat::encodingNames() noexcept { return "float32, pcm16 or pcm24"; }

int OutputFormat::containerFor(const std::string& path) {
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == ".wav") return SF_FORMAT_WAV;
    if (extension == ".aif" || extension == ".aiff") return SF_FORMAT_AIFF;
    if (extension == ".flac") return SF_FORMAT_FLAC;
    if (extension == ".ogg") return SF_FORMAT_OGG;
    throw ToolError("cannot tell the output format of '" + path + "' from its extension; use " + acceptedExtensions);
}

FormatChoice OutputFormat::choose(const std::string& path, std::optional<Encoding> requested, int inputFormat) {
    const int container = containerFor(path);
    if (container == SF_FORMAT_OGG) {
        if (requested)
            throw ToolError("--encoding does not apply to OGG output, which is always Vorbis; leave it out or use " +
                            std::string(".wav, .aif, .aiff or .flac"));
        return {SF_FORMAT_OGG | SF_FORMAT_VORBIS, {}};
    }
    // A WAV output may have to be RF64 (see forLength), so it takes what both hold.
    const int checkedContainer = container == SF_FORMAT_WAV ? SF_FORMAT_RF64 : container;
    if (requested) {
        const int subformat = subformatOf(*requested);
        if (!holds(checkedContainer, subformat))
            throw ToolError(nameOfContainer(container) + " cannot hold " + nameOfSubformat(subformat) + " samples; " +
                            nameOfContainer(container) + " takes --encoding " + encodingsHeldBy(checkedContainer));
        return {container | subformat, {}};
    }
    const int inputSubformat = inputFormat & SF_FORMAT_SUBMASK;
    if (holds(checkedContainer, inputSubformat)) return {container | inputSubformat, {}};
    // The nearest the container holds: FLAC takes only integers, of which 24 bits keep most.
    const int closest = container == SF_FORMAT_FLAC ? SF_FORMAT_PCM_24 : SF_FORMAT_FLOAT;
    return {container | closest, nameOfContainer(container) + " cannot hold " + describeInputEncoding(inputSubformat) +
                                     "; writing " + nameOfSubformat(closest) + " instead; --encoding chooses from " +
                                     encodingsHeldBy(checkedContainer)};
}

int OutputFormat::forLength(int format, std::uint32_t channels, std::optional<std::uint64_t> frames) noexcept {
    if ((format & SF_FORMAT_TYPEMASK) != SF_FORMAT_WAV) return format;
    // A plain WAV header past 4 GiB would wrap around while libsndfile reports success.
    const std::optional<std::uint64_t> limit = frameLimit(format, channels);
    if (frames && limit && *frames <= *limit) return format;
    return SF_FORMAT_RF64 | (format & SF_FORMAT_SUBMASK);
}

std::optional<std::uint64_t> OutputFormat::frameLimit(int format, std::uint32_t channels) noexcept {
    const int container = format & SF_FORMAT_TYPEMASK;
    if (container != SF_FORMAT_WAV && container != SF_FORMAT_AIFF) return std::nullopt;
    return byteLimit32 / (std::uint64_t{channels == 0 ? 1 : channels} * bytesPerSample(format & SF_FORMAT_SUBMASK));
}

std::string OutputFormat::tooLongMessage(const std::string& path, int format) {
    const int container = format & SF_FORMAT_TYPEMASK;
    const std::string message = "cannot write output '" + path + "': " + nameOfContainer(container) +
                                " holds at most 4 GiB of samples and this output would be longer";
    if (container != SF_FORMAT_AIFF) return message;
    return message + "; write a .wav file instead, which becomes RF64 beyond 4 GiB";
}

bool OutputFormat::isInteger(int format) noexcept {
    switch (format & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_FLOAT:
        case SF_FORMAT_DOUBLE:
        case SF_FORMAT_VORBIS:
        case SF_FORMAT_OPUS:
            return false;
        default:
            return true;
    }
}

}  // namespace orvane::tools
