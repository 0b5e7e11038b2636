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
        default:
            return "the input's encoding";
    }
}

std::string nameOfContainer(int container) {
    switch (container) {
        case SF_FORMAT_WAV:
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
    for (Encoding encoding : {Encoding::Float32, Encoding::Pcm16, Encoding::Pcm24}) {
        SF_INFO probe{};
        probe.samplerate = 48000;
        probe.channels = 2;
        probe.format = container | subformatOf(encoding);
        if (sf_format_check(&probe)) names += (names.empty() ? "" : ", ") + nameOfSubformat(subformatOf(encoding));
    }
    return names;
}

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

int OutputFormat::choose(const std::string& path, std::optional<Encoding> requested, int inputFormat) {
    const int container = containerFor(path);
    if (container == SF_FORMAT_OGG) {
        if (requested)
            throw ToolError("--encoding does not apply to OGG output, which is always Vorbis; leave it out or use " +
                            std::string(".wav, .aif, .aiff or .flac"));
        return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    }
    const int subformat = requested ? subformatOf(*requested) : (inputFormat & SF_FORMAT_SUBMASK);
    SF_INFO probe{};
    probe.samplerate = 48000;
    probe.channels = 2;
    probe.format = container | subformat;
    if (!sf_format_check(&probe)) {
        const std::string what = requested ? nameOfSubformat(subformat) + " samples"
                                           : "the input's encoding (" + nameOfSubformat(subformat) + ")";
        throw ToolError(nameOfContainer(container) + " cannot hold " + what + "; " + nameOfContainer(container) +
                        " takes --encoding " + encodingsHeldBy(container));
    }
    return container | subformat;
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
