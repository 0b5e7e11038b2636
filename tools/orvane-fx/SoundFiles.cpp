#include "SoundFiles.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <utility>

#include "Tool.h"

namespace orvane::tools {

namespace fs = std::filesystem;

namespace {

struct Named {
    const char* name;
    int format;
};
constexpr Named containers[] = {{".wav", SF_FORMAT_WAV},
                                {".aif", SF_FORMAT_AIFF},
                                {".aiff", SF_FORMAT_AIFF},
                                {".flac", SF_FORMAT_FLAC},
                                {".ogg", SF_FORMAT_OGG}};
constexpr Named encodings[] = {{"float32", SF_FORMAT_FLOAT}, {"pcm16", SF_FORMAT_PCM_16}, {"pcm24", SF_FORMAT_PCM_24}};

std::string nameOf(int container) {
    return container == SF_FORMAT_AIFF ? "AIFF" : container == SF_FORMAT_FLAC ? "FLAC" : "WAV";
}

// A WAV output may become RF64, so it takes only what both hold.
bool holds(int container, int subformat) {
    SF_INFO probe{0, 48000, 2, (container == SF_FORMAT_WAV ? SF_FORMAT_RF64 : container) | subformat, 0, 0};
    return sf_format_check(&probe) != 0;
}

std::string encodingsHeldBy(int container) {
    std::string names;
    for (const Named& encoding : encodings)
        if (holds(container, encoding.format)) names += (names.empty() ? "" : ", ") + std::string(encoding.name);
    return names;
}

std::string systemError() { return std::strerror(errno); }

// The temporary output, for the signal handler; written only while those signals are held.
char guardedPath[PATH_MAX] = {};

extern "C" void removeTemporaryAndResignal(int number) {
    if (guardedPath[0] != '\0') unlink(guardedPath);
    // Raised again at its default action, the signal ends the program with its own status.
    signal(number, SIG_DFL);
    raise(number);
}

// Holds SIGINT, SIGTERM and SIGHUP back while the temporary file and guardedPath change together.
class SignalsHeld {
public:
    SignalsHeld() {
        sigset_t set;
        sigemptyset(&set);
        for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set, signal);
        pthread_sigmask(SIG_BLOCK, &set, &previous);
    }
    ~SignalsHeld() { pthread_sigmask(SIG_SETMASK, &previous, nullptr); }

private:
    sigset_t previous;
};

// Where a write to path lands: through every symbolic link, dangling ones included.
fs::path finalTarget(fs::path path) {
    std::error_code error;
    for (int hops = 0; hops < 40 && fs::is_symlink(fs::symlink_status(path, error)); ++hops) {
        const fs::path link = fs::read_symlink(path, error);
        path = link.is_absolute() ? link : path.parent_path() / link;
    }
    return path;
}

}  // namespace

FormatChoice chooseOutputFormat(const std::string& path, const std::string& encoding, int inputFormat) {
    std::string extension = fs::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const auto container = std::find_if(std::begin(containers), std::end(containers),
                                        [&](const Named& known) { return extension == known.name; });
    if (container == std::end(containers))
        throw ToolError("cannot tell the output format of '" + path +
                        "' from its extension; use .wav, .aif, .aiff, .flac or .ogg");
    const int type = container->format;
    if (type == SF_FORMAT_OGG) {
        if (!encoding.empty())
            throw ToolError(
                "--encoding does not apply to OGG output, which is always Vorbis; leave it out or use "
                ".wav, .aif, .aiff or .flac");
        return {SF_FORMAT_OGG | SF_FORMAT_VORBIS, {}};
    }
    for (const Named& known : encodings) {
        if (encoding != known.name) continue;
        if (!holds(type, known.format))
            throw ToolError(nameOf(type) + " cannot hold " + known.name + " samples; " + nameOf(type) +
                            " takes --encoding " + encodingsHeldBy(type));
        return {type | known.format, {}};
    }
    const int input = inputFormat & SF_FORMAT_SUBMASK;
    if (holds(type, input)) return {type | input, {}};
    // FLAC takes only integers, of which 24 bits keep most.
    const Named& nearest = type == SF_FORMAT_FLAC ? encodings[2] : encodings[0];
    SF_FORMAT_INFO described{input, nullptr, nullptr};
    sf_command(nullptr, SFC_GET_FORMAT_INFO, &described, sizeof described);
    return {type | nearest.format, nameOf(type) + " cannot hold the input's encoding (" +
                                       (described.name ? described.name : "unknown") + "); writing " + nearest.name +
                                       " instead; --encoding chooses from " + encodingsHeldBy(type)};
}

std::optional<std::uint64_t> frameLimit(int format, std::uint32_t channels) {
    const int container = format & SF_FORMAT_TYPEMASK;
    if (container != SF_FORMAT_WAV && container != SF_FORMAT_AIFF) return std::nullopt;
    // Bytes a sample takes; at most that for compressed encodings.
    const int subformat = format & SF_FORMAT_SUBMASK;
    const int oneByte[] = {SF_FORMAT_PCM_S8, SF_FORMAT_PCM_U8, SF_FORMAT_ULAW, SF_FORMAT_ALAW};
    const std::uint64_t bytes = subformat == SF_FORMAT_DOUBLE                               ? 8
                                : subformat == SF_FORMAT_PCM_24                             ? 3
                                : subformat == SF_FORMAT_PCM_16                             ? 2
                                : std::find(oneByte, oneByte + 4, subformat) != oneByte + 4 ? 1
                                                                                            : 4;
    // Room left for the chunks around the samples.
    return (0xFFFFFFFFu - 65536u) / (std::uint64_t{std::max(channels, 1u)} * bytes);
}

InputFile::InputFile(const std::string& inputPath) : path(inputPath) {
    const std::string accepted = "; give a sound file libsndfile reads, such as WAV, AIFF, FLAC or OGG";
    const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat status {};
    if (descriptor < 0 || fstat(descriptor, &status) != 0)
        throw ToolError("cannot read input '" + path + "': " + systemError() + accepted);
    if (S_ISDIR(status.st_mode)) {
        close(descriptor);
        throw ToolError("cannot read input '" + path + "': it is a directory" + accepted);
    }
    lengthKnown = S_ISREG(status.st_mode);
    file = sf_open_fd(descriptor, SFM_READ, &info, SF_TRUE);
    if (!file) throw ToolError("libsndfile cannot read input '" + path + "' (" + sf_strerror(nullptr) + ")" + accepted);
    if (info.channels < 1 || info.samplerate < 1)
        throw ToolError("input '" + path + "' has no channels or no sample rate" + accepted);
    // libsndfile reads what a cut-off file holds and notes the mismatch in its log.
    char log[4096] = {};
    sf_command(file, SFC_GET_LOG_INFO, log, sizeof log);
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("data", 0) == 0 && line.find("should be") != std::string::npos) truncation = line;
    lengthKnown = lengthKnown && truncation.empty();
}

std::size_t InputFile::read(float* interleaved, std::size_t frames) {
    const sf_count_t got = sf_readf_float(file, interleaved, static_cast<sf_count_t>(frames));
    if (got < static_cast<sf_count_t>(frames) && sf_error(file) != SF_ERR_NO_ERROR)
        throw ToolError("reading input '" + path + "' failed: " + sf_strerror(file));
    return static_cast<std::size_t>(std::max<sf_count_t>(got, 0));
}

OutputFile::OutputFile(const std::string& outputPath, int outputFormat, const SF_INFO& input,
                       std::optional<std::uint64_t> knownFrames)
    : path(outputPath), target(finalTarget(outputPath).string()), format(outputFormat) {
    const auto channels = static_cast<std::uint32_t>(input.channels);
    framesLeft = frameLimit(format, channels);
    // A plain WAV header past 4 GiB would wrap around while libsndfile reports success.
    if ((format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV && !(knownFrames && framesLeft && *knownFrames <= *framesLeft)) {
        format = SF_FORMAT_RF64 | (format & SF_FORMAT_SUBMASK);
        framesLeft.reset();
    }
    std::error_code unknown;
    if (fs::is_directory(target, unknown))
        throw ToolError("cannot write output '" + path +
                        "': it is a directory; give a file name ending in .wav, .aif, .aiff, .flac or .ogg");

    // An existing output keeps its permissions; a new one gets the usual ones.
    struct stat existing {};
    const mode_t mask = umask(0);
    umask(mask);
    const mode_t mode =
        stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode) ? existing.st_mode & 0777 : 0666 & ~mask;
    struct sigaction handler {};
    handler.sa_handler = removeTemporaryAndResignal;
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction previous {};
        // A signal the program was started ignoring (nohup) stays ignored.
        if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler != SIG_IGN)
            sigaction(signal, &handler, nullptr);
    }
    // Beside the target, so that the rename stays within one file system.
    std::string hidden = ".";  // appended piecewise: g++ 12 misreports "." + string at -O3 (-Wrestrict)
    hidden += fs::path(target).filename().string();
    const fs::path beside = fs::path(target).parent_path() / hidden;
    const std::string pattern = beside.string() + ".partial-XXXXXX";
    if (pattern.size() >= sizeof guardedPath)
        throw ToolError("cannot write output '" + path + "': its path is too long");
    {
        const SignalsHeld held;
        std::memcpy(guardedPath, pattern.c_str(), pattern.size() + 1);
        descriptor = mkostemp(guardedPath, O_CLOEXEC);
        if (descriptor < 0) guardedPath[0] = '\0';
    }
    if (descriptor < 0)
        throw ToolError("cannot write output '" + path + "': " + systemError() +
                        "; the output's directory must exist and be writable");
    SF_INFO info{0, input.samplerate, input.channels, format, 0, 0};
    if (fchmod(descriptor, mode) != 0 || !(file = sf_open_fd(descriptor, SFM_WRITE, &info, SF_FALSE))) {
        const std::string reason = file ? systemError() : sf_strerror(nullptr);
        discard();
        throw ToolError("cannot write output '" + path + "': " + reason);
    }
    sf_command(file, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
    // Integer encodings clip samples beyond full scale instead of wrapping them around.
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
}

void OutputFile::discard() noexcept {
    if (file) sf_close(std::exchange(file, nullptr));
    if (descriptor >= 0) close(std::exchange(descriptor, -1));
    const SignalsHeld held;
    if (guardedPath[0] != '\0') unlink(guardedPath);
    guardedPath[0] = '\0';
}

void OutputFile::write(const float* interleaved, std::size_t frames) {
    // libsndfile would wrap a 32-bit length and report success.
    if (framesLeft && frames > *framesLeft)
        throw ToolError("cannot write output '" + path + "': " + nameOf(format & SF_FORMAT_TYPEMASK) +
                        " holds at most 4 GiB of samples and this output would be longer; write a .wav file "
                        "instead, which becomes RF64 beyond 4 GiB");
    if (framesLeft) *framesLeft -= frames;
    if (sf_writef_float(file, interleaved, static_cast<sf_count_t>(frames)) != static_cast<sf_count_t>(frames))
        throw ToolError("writing output '" + path + "' failed: " + sf_strerror(file));
}

void OutputFile::commit() {
    const int closed = sf_close(file);
    file = nullptr;
    if (closed != SF_ERR_NO_ERROR) throw ToolError("writing output '" + path + "' failed: " + sf_error_number(closed));
    // On the disk before it takes the output's name, so that a crash cannot leave it empty.
    if (fsync(descriptor) != 0 || close(std::exchange(descriptor, -1)) != 0 ||
        std::rename(guardedPath, target.c_str()) != 0)
        throw ToolError("writing output '" + path + "' failed: " + systemError());
    const SignalsHeld held;
    guardedPath[0] = '\0';
}

}  // namespace orvane::tools
