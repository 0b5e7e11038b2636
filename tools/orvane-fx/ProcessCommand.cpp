#include "ProcessCommand.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <iostream>
#include <optional>
#include <utility>
#include <vector>

#include "EffectCatalogue.h"
#include "EffectChain.h"
#include "OutputFormat.h"
#include "ProgressBar.h"
#include "SoundFileReader.h"
#include "SoundFileWriter.h"
#include "ToolError.h"

namespace orvane::tools {

namespace {

// Files are read and written in chunks of many blocks: fewer, larger library calls.
constexpr std::size_t chunkTargetFrames = 65536;

void deinterleave(const float* interleaved, std::uint32_t channels, std::uint32_t frames, AudioBuffer<float>& block) {
    for (std::uint32_t c = 0; c < channels; ++c) {
        float* destination = block.getChannelData(c);
        const float* source = interleaved + c;
        for (std::uint32_t f = 0; f < frames; ++f) destination[f] = source[std::size_t{f} * channels];
    }
}

void interleave(const AudioBuffer<float>& block, std::uint32_t channels, std::uint32_t frames, float* interleaved) {
    for (std::uint32_t c = 0; c < channels; ++c) {
        const float* source = block.getChannelData(c);
        float* destination = interleaved + c;
        for (std::uint32_t f = 0; f < frames; ++f) destination[std::size_t{f} * channels] = source[f];
    }
}

}  // namespace

ProcessCommand::ProcessCommand(ProcessOptions processOptions) : options(std::move(processOptions)) {}

void ProcessCommand::run() {
    // Everything that can be checked without audio is checked before any file is touched.
    const EffectCatalogue catalogue = EffectCatalogue::ofExtension(EffectCatalogue::effectsExtension);
    EffectChain chain;
    for (const EffectRequest& request : options.effects) {
        Effect effect = catalogue.create(request.type);
        for (const ParameterSetting& setting : request.parameters) effect.setParameter(setting.name, setting.value);
        chain.append(std::move(effect));
    }
    OutputFormat::containerFor(options.output);

    SoundFileReader reader(options.input);
    if (!reader.truncationNote().empty())
        std::cerr << "orvane-fx: warning: input '" << options.input << "' is shorter than its header says ("
                  << reader.truncationNote() << "); processing the " << reader.frames() << " frames it holds\n";
    const FormatChoice output = OutputFormat::choose(options.output, options.encoding, reader.format());
    const std::uint32_t channels = reader.channels();
    const std::uint32_t sampleRate = reader.sampleRate();
    const std::uint32_t blockSize = options.blockSize;
    chain.prepare(sampleRate, channels, blockSize);

    const auto tailFrames = static_cast<std::uint64_t>(std::llround(options.tailSeconds * sampleRate));
    const auto inputFrames = static_cast<std::uint64_t>(std::max<std::int64_t>(reader.frames(), 0));
    const std::optional<std::uint64_t> outputFrames =
        reader.lengthKnown() ? std::optional<std::uint64_t>(inputFrames + tailFrames) : std::nullopt;
    const int outputFormat = OutputFormat::forLength(output.format, channels, outputFrames);
    // An output its container cannot hold is refused before any work; with an input of
    // unknown length the writer stops at the limit instead.
    const std::optional<std::uint64_t> frameLimit = OutputFormat::frameLimit(outputFormat, channels);
    if (frameLimit && outputFrames && *outputFrames > *frameLimit)
        throw ToolError(OutputFormat::tooLongMessage(options.output, outputFormat));
    if (!output.note.empty()) std::cerr << "orvane-fx: note: " << output.note << "\n";

    SoundFileWriter writer(options.output, outputFormat, sampleRate, channels);

    const double inputSeconds = static_cast<double>(inputFrames) / sampleRate;
    ProgressBar progress(outputFrames, sampleRate, ProgressBar::wanted(options.quiet, inputSeconds));

    const std::size_t chunkFrames = std::size_t{blockSize} * std::max<std::size_t>(1, chunkTargetFrames / blockSize);
    std::vector<float> inputChunk(chunkFrames * channels);
    std::vector<float> outputChunk(chunkFrames * channels);

    bool inputEnded = false;
    std::uint64_t tailLeft = tailFrames;
    std::uint64_t framesDone = 0;
    for (;;) {
        std::size_t frames = 0;
        if (!inputEnded) {
            frames = reader.read(inputChunk.data(), chunkFrames);
            inputEnded = frames < chunkFrames;
        }
        if (inputEnded && frames < chunkFrames && tailLeft > 0) {
            const auto silence = static_cast<std::size_t>(std::min<std::uint64_t>(chunkFrames - frames, tailLeft));
            std::fill_n(inputChunk.begin() + static_cast<std::ptrdiff_t>(frames * channels), silence * channels, 0.0f);
            frames += silence;
            tailLeft -= silence;
        }
        if (frames == 0) break;

        for (std::size_t start = 0; start < frames; start += blockSize) {
            const auto length = static_cast<std::uint32_t>(std::min<std::size_t>(blockSize, frames - start));
            AudioBuffer<float>& block = chain.inputBlock(length);
            deinterleave(inputChunk.data() + start * channels, channels, length, block);
            const AudioBuffer<float>& processed = chain.process();
            interleave(processed, channels, length, outputChunk.data() + start * channels);
        }
        writer.write(outputChunk.data(), frames);
        framesDone += frames;
        progress.update(framesDone);
    }
    writer.commit();
    progress.finish(framesDone);
}

}  // namespace orvane::tools
