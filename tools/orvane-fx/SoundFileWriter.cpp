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

// The file a write to path lands in: through every symbolic link, also for an output that
// does not exist yet (a plain new name, or a link to a file still to be made).
std::filesystem::path finalTarget(std::filesystem::path path) {
    std::error_code error;
    if (std::filesystem::exists(path, error)) {
        std::filesystem::path target = std::filesystem::canonical(path, error);
        if (!error) return target;
    }
    // A dangling link: follow it by hand, as far as the system would (40 links).
    for (int hops = 0; hops < 40 && std::filesystem::is_symlink(std::filesystem::symlink_status(path, error)); ++hops) {
        const std::filesystem::path link = std::filesystem::read_symlink(path, error);
        if (error) break;
        path = link.is_absolute() ? link : path.parent_path() / link;
    }
    std::filesystem::path target = std::filesystem::weakly_canonical(path, error);
    return error ? path : target;
}

}  // namespace

SoundFileWriter::SoundFileWriter(const std::string& outputPath, int outputFormat, std::uint32_t sampleRate,
                                 std::uint32_t channels)
    : path(outputPath), format(outputFormat), frameLimit(OutputFormat::frameLimit(outputFormat, channels)) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error))
        throw ToolError("cannot write output '" + path + "': it is a directory; give a file name ending in " +
                        ".wav, .aif, .aiff, .flac or .ogg");
    SF_INFO info{};
    info.samplerate = static_cast<int>(sampleRate);
    info.channels = static_cast<int>(channels);
    info.format = format;
    if (!sf_format_check(&info))
        throw ToolError("cannot write output '" + path + "': libsndfile cannot write this format with " +
                        std::to_string(channels) + " channels at " + std::to_string(sampleRate) + " Hz");

    // Writing replaces the file a link points to, not the link.
    const std::filesystem::path target = finalTarget(path);
    targetPath = target.string();

    // An existing output keeps its permissions; a new one gets the usual ones.
    mode_t mode = 0;
    struct stat existing {};
    if (stat(targetPath.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
        mode = existing.st_mode & 0777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }

    // Beside the target, so that the final rename stays within one file system.
    const std::filesystem::path directory = target.has_parent_path() ? target.parent_path() : ".";
    std::string hiddenName = ".";  // appended piecewise: g++ 12 misreports "." + string at -O3
    hiddenName += target.filename().string();
    hiddenName += ".partial-XXXXXX";
    const std::string pattern = (directory / hiddenName).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    {
        // A signal between creating the file and guarding it would leave it behind.
        const InterruptCleanup::Hold hold;
        descriptor = mkstemp(name.data());
        if (descriptor < 0)
            throw ToolError("cannot write output '" + path + "': " + systemError() +
                            "; the output's directory must exist and be writable");
        temporaryPath = name.data();
        try {
            interruptCleanup.arm(temporaryPath);
        } catch (...) {
            discard();
            throw;
        }
    }

    // mkstemp makes the file private.
    if (fchmod(descriptor, mode) != 0) {
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
    // RF64 only where it has to be: a file that stays below 4 GiB is finished as a RIFF
    // WAV file (with an extensible format chunk), which far more programs read.
    if ((format & SF_FORMAT_TYPEMASK) == SF_FORMAT_RF64) sf_command(file, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
    // Integer encodings clip samples beyond full scale instead of wrapping them around.
    if (OutputFormat::isInteger(format)) sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
}

SoundFileWriter::~SoundFileWriter() {
    if (!committed) discard();
}

void SoundFileWriter::write(const float* interleaved, std::size_t frames) {
    // libsndfile would wrap the 32-bit length of a longer WAV or AIFF file and report success.
    if (frameLimit && frames > *frameLimit - framesWritten) throw ToolError(OutputFormat::tooLongMessage(path, format));
    const auto wanted = static_cast<sf_count_t>(frames);
    if (sf_writef_float(file, interleaved, wanted) != wanted)
        throw ToolError("writing output '" + path + "' failed: " + sf_strerror(file));
    framesWritten += frames;
}

void SoundFileWriter::commit() {
    const int closeError = sf_close(file);
    file = nullptr;
    if (closeError != SF_ERR_NO_ERROR)
        throw ToolError("writing output '" + path + "' failed: " + sf_error_number(closeError));
    // On the disk before it takes the output's name, so a crash cannot leave an empty output.
    if (fsync(descriptor) != 0) throw ToolError("writing output '" + path + "' failed: " + systemError());
    const int closed = close(descriptor);
    descriptor = -1;
    if (closed != 0) throw ToolError("writing output '" + path + "' failed: " + systemError());
    const InterruptCleanup::Hold hold;
    if (std::rename(temporaryPath.c_str(), targetPath.c_str()) != 0)
        throw ToolError("cannot write output '" + path + "': " + systemError());
    committed = true;
    interruptCleanup.disarm();
}

void SoundFileWriter::discard() noexcept {
    if (file) sf_close(file);
    file = nullptr;
    if (descriptor >= 0) close(descriptor);
    descriptor = -1;
    const InterruptCleanup::Hold hold;
    if (!temporaryPath.empty()) std::remove(temporaryPath.c_str());
    interruptCleanup.disarm();
}

}  // namespace orvane::tools
