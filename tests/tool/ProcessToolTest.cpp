#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "ToolHarness.h"

namespace orvane::testing::tool {
namespace {

constexpr std::uint32_t rate = 44100;  // not 48 kHz, so that the rate is seen to pass through
constexpr int floatWav = SF_FORMAT_WAV | SF_FORMAT_FLOAT;

std::vector<std::string> words(const std::string& text) {
    std::vector<std::string> all;
    std::stringstream stream(text);
    for (std::string word; stream >> word;) all.push_back(word);
    return all;
}

using Chain = std::vector<std::pair<std::string, Settings>>;

// The nodes one after another, in blocks of a size unrelated to the tool's.
Channels processInProcess(const Chain& chain, Channels signal) {
    for (const auto& [effect, settings] : chain)
        signal = processInBlocks(*makeNode(effect, settings), signal, rate, 4096);
    return signal;
}

// What the options ask for, read with the C library rather than the tool: the chain and
// the frames of tail.
std::pair<Chain, std::size_t> requested(const std::string& options) {
    std::pair<Chain, std::size_t> result;
    const std::vector<std::string> all = words(options);
    for (std::size_t i = 0; i + 1 < all.size(); ++i) {
        const std::string& next = all[i + 1];
        const std::size_t equals = next.find('=');
        if (all[i].starts_with("--tail"))
            result.second = std::lround(std::strtod(all[i].size() > 6 ? &all[i][7] : next.c_str(), nullptr) * rate);
        if (all[i] == "--effect") result.first.emplace_back(next.substr(next.find('.') + 1), Settings{});
        if (all[i] == "--param")
            result.first.back().second[next.substr(0, equals)] = std::strtof(&next[equals + 1], nullptr);
    }
    return result;
}

struct EffectCase {
    std::string name;
    std::size_t channels;
    std::string options;    // everything before INPUT and OUTPUT; enabled=false reads as 0
    bool sameFile = false;  // OUTPUT is INPUT
};

class EachEffect : public ::testing::TestWithParam<EffectCase> {};

TEST_P(EachEffect, Float32OutputEqualsTheNodesOwnOutputSampleForSample) {
    const EffectCase& effect = GetParam();
    TemporaryDirectory directory;
    const Channels input = testSignal(effect.channels, 30011);
    writeSound(directory / "in.wav", floatWav, rate, input);
    const std::string output = directory / (effect.sameFile ? "in.wav" : "out.wav");
    std::vector<std::string> arguments = words("process " + effect.options);
    arguments.insert(arguments.end(), {directory / "in.wav", output});
    const ToolRun run = runTool(arguments);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "") << "nothing on stderr when it is not a terminal";

    const auto [chain, tail] = requested(effect.options);
    Channels padded = input;
    for (auto& channel : padded) channel.resize(channel.size() + tail);
    const Sound written = readSound(output);
    EXPECT_EQ(written.format, floatWav);
    EXPECT_EQ(written.sampleRate, rate);
    EXPECT_EQ(written.channels, processInProcess(chain, padded));
    EXPECT_EQ(readText(output).substr(8, 8), "WAVEfmt ") << "a plain WAV header, no room kept for RF64";
    EXPECT_EQ(entries(directory.path), words(effect.sameFile ? "in.wav" : "in.wav out.wav"));
}

INSTANTIATE_TEST_SUITE_P(
    ProcessTool, EachEffect,
    ::testing::Values(
        EffectCase{"Delay", 2,
                   "--block-size 300 --tail 0.5 --effect Delay --param delayMs=120 --param feedbackLevel=0.5 "
                   "--param wetMix=0.45"},
        EffectCase{"PingPongDelay", 2,
                   "--block-size=1 --tail=0.3 --effect AudioEffects.PingPongDelay --param delayMs=75 --param "
                   "dryMix=0.6 --param feedbackLevel=0.55 --param enabled=1"},
        EffectCase{"Vibrato", 2, "--block-size 65536 --effect Vibrato --param sweepWidth=0.004 --param frequency=5.5"},
        EffectCase{"Flanger", 2, "--effect Flanger --param frequency=1.25"},
        EffectCase{"Chorus", 2,
                   "--block-size 777 --effect AudioEffects.Chorus --param sweepWidth=1.2e-2 --param frequency=0.8"},
        // In the order given, each --param to the effect before it.
        EffectCase{"Chain", 2,
                   "--block-size 1000 --tail 0.25 --effect Chorus --effect PingPongDelay --param delayMs=90 --param "
                   "wetMix=0.5 --effect Delay --param enabled=false --param delayMs=10 --effect Flanger --param "
                   "sweepWidth=0.003"},
        EffectCase{"Mono", 1, "--block-size 333 --effect Delay --param delayMs=30 --effect Vibrato"},
        // Decimals too small for a float are the nearest float, not errors.
        EffectCase{"Underflow", 2, "--tail 1e-50 --effect Delay --param wetMix=1e-50 --param dryMix=-1e-60"},
        // The input is replaced only once the output is complete.
        EffectCase{"SameFile", 2, "--block-size 64 --effect Vibrato", true}),
    [](const auto& info) { return info.param.name; });

TEST(ProcessTool, IntegerOutputClipsLoudSamplesInsteadOfWrappingThem) {
    TemporaryDirectory directory;
    Channels input = testSignal(2, 20000);
    for (auto& channel : input)
        for (float& sample : channel) sample *= 1.5f;  // up to 0.9
    writeSound(directory / "in.wav", floatWav, rate, input);
    const ToolRun run =
        runTool(words("process --encoding pcm16 --effect Delay --param delayMs=1 --param dryMix=1 "
                      "--param wetMix=1 " +
                      (directory / "in.wav") + " " + (directory / "out.wav")));
    ASSERT_EQ(run.status, 0) << run.err;
    const Channels expected = processInProcess({{"Delay", {{"delayMs", 1}, {"dryMix", 1}, {"wetMix", 1}}}}, input);
    const Sound output = readSound(directory / "out.wav");  // the 16-bit samples over 32768
    ASSERT_EQ(output.channels.size(), 2u);
    ASSERT_EQ(output.frames(), 20000u);
    int clipped = 0;
    for (std::size_t c = 0; c < 2; ++c)
        for (std::size_t f = 0; f < 20000; ++f) {
            const float value = expected[c][f];
            const bool clips = std::abs(value) >= 1.0f;
            const float wanted = !clips ? value : value > 0 ? 32767.0f / 32768.0f : -1.0f;
            EXPECT_LE(std::abs(output.channels[c][f] - wanted), clips ? 0.0f : 1.0f / 32768.0f) << "frame " << f;
            clipped += clips;
        }
    EXPECT_GT(clipped, 100) << "the test signal should reach beyond full scale";
}

// The input's encoding unless one is chosen; without --encoding, one the container cannot
// hold gives the nearest it can, with a note. Integer samples through a bypass stay the same.
TEST(ProcessTool, OutputEncodingIsTheInputsTheChosenOrTheNearestWithANote) {
    TemporaryDirectory directory;
    Channels input = testSignal(2, 12000);
    input[0][5] = -1.0f;  // full negative scale must survive as -32768
    writeSound(directory / "float.wav", floatWav, rate, input);
    writeSound(directory / "vorbis.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, rate, input);
    writeSound(directory / "pcm16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, rate, input);
    struct Expectation {
        std::string options, input, output;
        int format;
        std::string note;  // empty: none
        bool same;         // the samples of the input, exactly
    };
    const std::string flacNote = "FLAC cannot hold the input's encoding (";
    for (const Expectation& e : std::vector<Expectation>{
             {"", "pcm16.wav", "same.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, "", true},
             {"--encoding float32", "pcm16.wav", "float.wav", floatWav, "", true},
             {"--encoding pcm24", "float.wav", "deep.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, "", false},
             {"--encoding pcm16", "float.wav", "short.aif", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, "", false},
             {"", "pcm16.wav", "lossless.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, "", true},
             {"--encoding pcm24", "float.wav", "deep.FLAC", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, "", false},
             {"", "float.wav", "lossy.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, "", false},
             {"", "float.wav", "out.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24,
              flacNote + "32 bit float); writing pcm24 instead", false},
             {"", "vorbis.ogg", "out.wav", floatWav, "WAV cannot hold the input's encoding (Vorbis); writing float32",
              false},
             {"", "vorbis.ogg", "out.aiff", SF_FORMAT_AIFF | SF_FORMAT_FLOAT,
              "AIFF cannot hold the input's encoding (Vorbis); writing float32", false},
             {"", "vorbis.ogg", "out2.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, flacNote + "Vorbis); writing pcm24",
              false}}) {
        SCOPED_TRACE(e.input + " -> " + e.output);
        const ToolRun run = runTool(words("process --effect Chorus --param enabled=false " + e.options + " " +
                                          (directory / e.input) + " " + (directory / e.output)));
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(e.note.empty() ? run.err.empty()
                                   : isOneLine(run.err) && run.err.starts_with("orvane-fx: note: " + e.note))
            << run.err;
        const Sound output = readSound(directory / e.output);
        EXPECT_EQ(output.format, e.format);
        EXPECT_EQ(output.sampleRate, rate);
        EXPECT_EQ(output.channels.size(), 2u);
        EXPECT_GE(output.frames(), 12000u);
        EXPECT_TRUE(!e.same || output.channels == readSound(directory / e.input).channels);
    }
}

TEST(ProcessTool, HelpOfEachCommandPrintsItsOptionsAndSucceeds) {
    for (const auto& [command, option] : {std::pair{"--help", "process"},
                                          {"list --help", "--json"},
                                          {"process --help", "--block-size"},
                                          {"demo --help", "DIR"}}) {
        const ToolRun run = runTool(words(command));
        EXPECT_EQ(run.status, 0) << command;
        EXPECT_EQ(run.err, "") << command;
        EXPECT_NE(run.out.find(option), std::string::npos) << run.out;
    }
}

}  // namespace
}  // namespace orvane::testing::tool
