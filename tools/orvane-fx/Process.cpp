#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>

#include "Effects.h"
#include "SoundFiles.h"
#include "Tool.h"
#include "render/OfflineRenderer.h"

namespace orvane::tools {

namespace {

using render::EffectPreset;

/// A progress line on stderr, redrawn in place: a bar over a known total, else the seconds
/// of audio done.
class Progress {
public:
    Progress(bool shown, std::optional<std::uint64_t> total, std::uint32_t rate)
        : shown(shown), total(total), rate(rate) {}
    ~Progress() {
        // Stopped by an error: the message starts on a line of its own.
        if (drawn && !finished) std::fputc('\n', stderr);
    }

    void update(std::uint64_t done) {
        if (!shown) return;
        const std::uint64_t step =
            total ? std::min(done, *total) * 1000 / std::max<std::uint64_t>(*total, 1) : done * 10 / rate;
        if (drawn && step == lastStep) return;
        lastStep = step;
        draw(done, total);
    }

    /// The end state, with what was done as the total: a header's length may have been wrong.
    void finish(std::uint64_t done) {
        if (!shown) return;
        draw(done, total ? std::optional(done) : std::nullopt);
        std::fputc('\n', stderr);
        finished = true;
    }

private:
    void draw(std::uint64_t done, std::optional<std::uint64_t> whole) {
        char line[160];
        int width = 0;
        if (whole) {
            done = std::min(done, *whole);
            const int filled = *whole ? static_cast<int>(done * 40 / *whole) : 40;
            const std::string bar = std::string(filled, '#') + std::string(40 - filled, '.');
            width = std::snprintf(line, sizeof line, "processing [%s] %5.1f%%  %.1f s of %.1f s", bar.c_str(),
                                  *whole ? 100.0 * static_cast<double>(done) / static_cast<double>(*whole) : 100.0,
                                  static_cast<double>(done) / rate, static_cast<double>(*whole) / rate);
        } else {
            width = std::snprintf(line, sizeof line, "processing  %.1f s of audio", static_cast<double>(done) / rate);
        }
        // Blanks over the rest of a longer earlier line.
        std::fprintf(stderr, "\r%s%*s", line, std::max(0, lastWidth - width), "");
        std::fflush(stderr);
        lastWidth = std::max(lastWidth, width);
        drawn = true;
    }

    bool shown;
    std::optional<std::uint64_t> total;
    std::uint32_t rate;
    bool drawn = false;
    bool finished = false;
    std::uint64_t lastStep = 0;
    int lastWidth = 0;
};

}  // namespace

void processFile(const ProcessOptions& options) {
    // Everything that can be checked without audio is checked before any file is touched.
    const Catalogue catalogue = Catalogue::named("AudioEffects");
    std::vector<std::unique_ptr<render::OfflineEffect>> chain;
    for (const EffectRequest& request : options.effects) {
        const Effect named = catalogue.create(request.type);
        const EffectDescription* description = extensions::audioeffects::findEffect(named.info.type);
        if (!named.processor() || !description)
            throw ToolError(named.info.getFQTypeName() +
                            " is not one of this extension's audio effects; only those can run here");
        auto& effect = chain.emplace_back(std::make_unique<render::OfflineEffect>(*description));
        if (!request.preset.empty()) {
            const EffectPreset* preset = render::findPreset(description->type, request.preset);
            if (!preset) {
                std::vector<std::string> known;
                for (const EffectPreset& each : render::presetsOf(description->type)) known.emplace_back(each.name);
                throw ToolError(named.info.type + " has no preset '" + request.preset + "'; its presets are " +
                                joined(known));
            }
            effect->applyPreset(*preset);
        }
        for (const auto& [name, text] : request.parameters) {
            const auto [index, value] = named.parse(name, text);
            effect->setValue(index, value);
        }
    }
    chooseOutputFormat(options.output, options.encoding, SF_FORMAT_WAV | SF_FORMAT_PCM_16);

    InputFile input(options.input);
    if (!input.truncation.empty())
        std::cerr << "orvane-fx: warning: input '" << options.input << "' is shorter than its header says ("
                  << input.truncation << "); processing the " << input.info.frames << " frames it holds\n";
    const FormatChoice output = chooseOutputFormat(options.output, options.encoding, input.info.format);
    const auto channels = static_cast<std::uint32_t>(input.info.channels);
    const auto rate = static_cast<std::uint32_t>(input.info.samplerate);
    const std::uint32_t blockSize = options.blockSize;
    std::vector<render::OfflineEffect*> effects;
    for (auto& effect : chain) effects.push_back(effect.get());
    std::optional<render::OfflineRender> renderer;
    try {
        renderer.emplace(effects, render::RenderSettings{channels, rate, blockSize, options.tailSeconds, true, {}});
    } catch (const render::RenderError& refusal) {
        if (refusal.check == render::Check::Channels)
            throw ToolError("input '" + options.input + "' has " + std::to_string(channels) +
                            " channels; orvane-fx processes 1 to " + std::to_string(render::maxChannels));
        throw ToolError(std::string(refusal.what()) +
                        (refusal.check == render::Check::EffectChannels ? " at " + std::to_string(rate) + " Hz" : ""));
    }

    const std::uint64_t tailFrames = renderer->tailFrames();
    const auto inputFrames = static_cast<std::uint64_t>(std::max<sf_count_t>(input.info.frames, 0));
    const std::optional<std::uint64_t> outputFrames =
        input.lengthKnown ? std::optional(inputFrames + tailFrames) : std::nullopt;
    // AIFF cannot become RF64: refused before any work when it is known not to fit.
    const std::optional<std::uint64_t> limit = frameLimit(output.format, channels);
    if ((output.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_AIFF && limit && outputFrames && *outputFrames > *limit)
        throw ToolError("cannot write output '" + options.output +
                        "': AIFF holds at most 4 GiB of samples and this output would be longer; write a .wav file "
                        "instead, which becomes RF64 beyond 4 GiB");
    if (!output.note.empty()) std::cerr << "orvane-fx: note: " << output.note << "\n";

    OutputFile writer(options.output, output.format, input.info, outputFrames);
    Progress progress(!options.quiet && static_cast<double>(inputFrames) / rate > 10.0 && isatty(STDERR_FILENO) == 1,
                      outputFrames, rate);

    // Files are read and written many blocks at a time: fewer, larger library calls. The
    // renderer takes planar samples; files hold them interleaved.
    const std::size_t chunkFrames = std::size_t{blockSize} * std::max<std::size_t>(1, 65536 / blockSize);
    std::vector<float> interleaved(chunkFrames * channels);
    std::vector<float> planarInput(chunkFrames * channels);
    std::vector<float> planarOutput(chunkFrames * channels);
    std::vector<const float*> inputs(channels);
    std::vector<float*> outputs(channels);
    for (std::uint32_t c = 0; c < channels; ++c) {
        inputs[c] = planarInput.data() + c * chunkFrames;
        outputs[c] = planarOutput.data() + c * chunkFrames;
    }
    std::uint64_t framesDone = 0;
    const auto write = [&](std::size_t frames) {
        for (std::uint32_t c = 0; c < channels; ++c)
            for (std::size_t f = 0; f < frames; ++f) interleaved[f * channels + c] = outputs[c][f];
        writer.write(interleaved.data(), frames);
        framesDone += frames;
        progress.update(framesDone);
    };
    // Whole chunks are whole blocks: the renderer holds nothing back until the input ends.
    for (std::size_t frames = chunkFrames; frames == chunkFrames;) {
        frames = input.read(interleaved.data(), chunkFrames);
        for (std::uint32_t c = 0; c < channels; ++c)
            for (std::size_t f = 0; f < frames; ++f) planarInput[c * chunkFrames + f] = interleaved[f * channels + c];
        write(renderer->push(inputs.data(), frames, outputs.data()));
    }
    while (const std::size_t frames = renderer->finish(outputs.data(), chunkFrames)) write(frames);
    writer.commit();
    progress.finish(framesDone);
}

}  // namespace orvane::tools
