#include "SoundFileReader.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "ToolError.h"

namespace orvane::tools {

namespace {

constexpr const char* acceptedInputs = "give a sound file libsndfile reads, such as WAV, AIFF, FLAC or OGG";

}  // namespace

SoundFileReader::SoundFileReader(const std::string& inputPath) : path(inputPath) {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (!std::filesystem::exists(status))
        throw ToolError("cannot read input '" + path + "': no such file; " + acceptedInputs);
    if (std::filesystem::is_directory(status))
        throw ToolError("cannot read input '" + path + "': it is a directory; " + acceptedInputs);
    regularFile = std::filesystem::is_regular_file(status);
    {
        // libsndfile reports an unopenable file vaguely; ask the system first.
        std::ifstream probe(path, std::ios::binary);
        if (!probe) {
            const std::string reason = std::strerror(errno);
            throw ToolError("cannot read input '" + path + "': " + reason + "; " + acceptedInputs);
        }
    }
    file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file)
        throw ToolError("libsndfile cannot read input '" + path + "' (" + sf_strerror(nullptr) + "); " +
                        acceptedInputs);
    if (info.channels < 1 || info.samplerate < 1) {
        sf_close(file);
        file = nullptr;
        throw ToolError("input '" + path + "' has no channels or no sample rate; " + acceptedInputs);
    }
    // libsndfile reads what a cut-off file holds and notes the mismatch in its log.
    char log[4096] = {};
    sf_command(file, SFC_GET_LOG_INFO, log, sizeof log);
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("data", 0) == 0 && line.find("should be") != std::string::npos) truncation = line;
}

SoundFileReader::~SoundFileReader() {
    if (file) sf_close(file);
}

std::size_t SoundFileReader::read(float* interleaved, std::size_t maxFrames) {
    const sf_count_t got = sf_readf_float(file, interleaved, static_cast<sf_count_t>(maxFrames));
    if (got < static_cast<sf_count_t>(maxFrames) && sf_error(file) != SF_ERR_NO_ERROR)
        throw ToolError("reading input '" + path + "' failed: " + sf_strerror(file));
    return got < 0 ? 0 : static_cast<std::size_t>(got);
}

}  // namespace orvane::tools
