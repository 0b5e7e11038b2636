#include "SoundFileWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "OutputFormat.h"
#include "ToolError.h"

namespace orvane::tools {

namespace {

std::string systemError() { return std::strerror(errno); }

}  // namespace

SoundFileWriter::SoundFileWriter(const std::string& outputPath, int format, std::uint32_t sampleRate,
                                 std::uint32_t channels)
    : path(outputPath) {
    const std::filesystem::path output(path);
    std::error_code error;
    if (std::filesystem::is_directory(output, error))
        throw ToolError("cannot write output '" + path + "': it is a directory; give a file name ending in " +
                        ".wav, .aif, .aiff, .flac or .ogg");
    SF_INFO info{};
    info.samplerate = static_cast<int>(sampleRate);
    info.channels = static_cast<int>(channels);
    info.format = format;
    if (!sf_format_check(&info))
        throw ToolError("cannot write output '" + path + "': libsndfile cannot write this format with " +
                        std::to_string(channels) + " channels at " + std::to_string(sampleRate) + " Hz");

    // Beside the output, so that the final rename stays within one file system.
    const std::filesystem::path directory = output.has_parent_path() ? output.parent_path() : ".";
    std::string pattern = (directory / ("." + output.filename().string() + ".partial-XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    descriptor = mkstemp(name.data());
    if (descriptor < 0)
        throw ToolError("cannot write output '" + path + "': " + systemError() +
                        "; the output's directory must exist and be writable");
    temporaryPath = name.data();

    // mkstemp makes the file private; an output should get the usual permissions.
    const mode_t mask = umask(0);
    umask(mask);
    if (fchmod(descriptor, 0666 & ~mask) != 0) {
        const std::string reason = systemError();
        discard();
        throw ToolError("cannot write output '" + path + "': " + reason);
    }

    file = sf_open_fd(descriptor, SFM_WRITE, &info, SF_FALSE);
    if (!file) {
        const std::string reason = sf_strerror(nullptr);
        discard();
        throw ToolError("cannot write output '" + path + "': " + reason);
    }
    // Integer encodings clip samples beyond full scale instead of wrapping them around.
    if (OutputFormat::isInteger(format)) sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
}

SoundFileWriter::~SoundFileWriter() {
    if (!committed) discard();
}

void SoundFileWriter::write(const float* interleaved, std::size_t frames) {
    const auto wanted = static_cast<sf_count_t>(frames);
    if (sf_writef_float(file, interleaved, wanted) != wanted)
        throw ToolError("writing output '" + path + "' failed: " + sf_strerror(file));
}

void SoundFileWriter::commit() {
    const int closeError = sf_close(file);
    file = nullptr;
    if (closeError != SF_ERR_NO_ERROR)
        throw ToolError("writing output '" + path + "' failed: " + sf_error_number(closeError));
    const int closed = close(descriptor);
    descriptor = -1;
    if (closed != 0) throw ToolError("writing output '" + path + "' failed: " + systemError());
    if (std::rename(temporaryPath.c_str(), path.c_str()) != 0)
        throw ToolError("cannot write output '" + path + "': " + systemError());
    committed = true;
}

void SoundFileWriter::discard() noexcept {
    if (file) sf_close(file);
    file = nullptr;
    if (descriptor >= 0) close(descriptor);
    descriptor = -1;
    if (!temporaryPath.empty()) std::remove(temporaryPath.c_str());
}

}  // namespace orvane::tools
