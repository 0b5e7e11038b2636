#include "ToolHarness.h"

namespace orvane::testing::tool {
namespace {

constexpr int rate = 44100;  // not 48 kHz, so that the rate is seen to pass through

// What the options ask for, worked out with the C library and the nodes rather than the tool:
// the tail as zeros, then each node with the --param after its --effect, in blocks of 4096.
Channels expectedOutput(const std::string& options, Channels signal) {
    const std::vector<std::string> all = split(options);
    std::vector<std::pair<EffectType, std::unique_ptr<SingleBusAudioProcessorNode>>> chain;
    std::size_t tail = 0;
    for (std::size_t i = 0; i + 1 < all.size(); ++i) {
        const std::string& next = all[i + 1];
        const std::size_t equals = next.find('=');
        if (all[i].starts_with("--tail"))
            tail = std::lround(std::strtod(all[i].size() > 6 ? &all[i][7] : next.c_str(), nullptr) * rate);
        for (EffectType type : allEffectTypes)  // the tool's factory builds every node for two channels
            if (all[i] == "--effect" && next.substr(next.find('.') + 1) == effectName(type))
                chain.emplace_back(type, makeEffect(type, 2));
        if (all[i] == "--param")  // strtof: the nearest float, as the tool reads it; "false" reads as 0
            setParameter(*chain.back().second, chain.back().first, next.substr(0, equals),
                         std::strtof(&next[equals + 1], nullptr));
    }
    for (auto& channel : signal) channel.resize(channel.size() + tail);
    for (auto& [type, node] : chain) signal = processInBlocks(*node, signal, rate, 4096);
    return signal;
}

// SameFile writes over its own input, replaced only once the output is complete; Pcm16 asks
// for 16-bit samples, which clip where the output goes beyond full scale instead of wrapping.
struct EffectCase {
    std::string name, options;  // options: everything before INPUT and OUTPUT
    std::size_t channels = 2;
};
class EachEffect : public ::testing::TestWithParam<EffectCase> {};

TEST_P(EachEffect, OutputEqualsTheNodesOwnOutputSampleForSample) {
    const auto& [name, options, channels] = GetParam();
    const bool sameFile = name == "SameFile", pcm16 = name == "Pcm16";
    TemporaryDirectory directory;
    const Channels input = noise(channels, 30011, 7, 0.9f);
    writeSound(directory / "in.wav", floatWav, rate, input);
    const std::string output = sameFile ? "in.wav" : "out.wav";
    const ToolRun run = runTool(split("process " + options + " @in.wav @" + output), directory.path);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "") << "nothing on stderr when it is not a terminal";
    const SndfileHandle file(directory / output);
    EXPECT_EQ(std::pair(file.format(), file.samplerate()),
              std::pair(pcm16 ? SF_FORMAT_WAV | SF_FORMAT_PCM_16 : floatWav, rate));
    EXPECT_EQ(readText(directory / output).substr(8, 8), "WAVEfmt ") << "a plain WAV header, no room kept for RF64";
    EXPECT_EQ(entries(directory.path), split(sameFile ? "in.wav" : "in.wav out.wav"));
    const Channels written = readSound(directory / output), expected = expectedOutput(options, input);
    if (!pcm16) {
        EXPECT_TRUE(sameBits(written, expected));
        return;
    }
    ASSERT_TRUE(written.size() == channels && written[0].size() == expected[0].size());
    int clipped = 0;
    for (std::size_t i = 0; i < channels * expected[0].size(); ++i) {
        const float value = expected[i % channels][i / channels];
        const bool clips = std::abs(value) >= 1.0f;
        const float wanted = !clips ? value : value > 0 ? 32767.0f / 32768.0f : -1.0f;
        EXPECT_LE(std::abs(written[i % channels][i / channels] - wanted), clips ? 0.0f : 1.0f / 32768.0f) << i;
        clipped += clips;
    }
    EXPECT_GT(clipped, 100) << "the test signal should reach beyond full scale";
}

INSTANTIATE_TEST_SUITE_P(
    ProcessTool, EachEffect,
    ::testing::ValuesIn(std::vector<EffectCase>{
        {"Delay",
         "--block-size 300 --tail 0.5 --effect Delay --param delayMs=120 --param feedbackLevel=0.5 --param "
         "wetMix=0.45"},
        {"PingPongDelay",
         "--block-size=1 --tail=0.3 --effect AudioEffects.PingPongDelay --param delayMs=75 --param dryMix=0.6 "
         "--param feedbackLevel=0.55 --param enabled=1"},
        {"Vibrato", "--block-size 65536 --effect Vibrato --param sweepWidth=0.004 --param frequency=5.5"},
        {"Flanger", "--effect Flanger --param frequency=1.25"},
        {"Chorus", "--block-size 777 --effect AudioEffects.Chorus --param sweepWidth=1.2e-2 --param frequency=0.8"},
        // In the order given, each --param to the effect before it.
        {"Chain",
         "--block-size 1000 --tail 0.25 --effect Chorus --effect PingPongDelay --param delayMs=90 --param wetMix=0.5 "
         "--effect Delay --param enabled=false --param delayMs=10 --effect Flanger --param sweepWidth=0.003"},
        {"Mono", "--block-size 333 --effect Delay --param delayMs=30 --effect Vibrato", 1},
        // Decimals too small for a float are the nearest float, not errors.
        {"Underflow", "--tail 1e-50 --effect Delay --param wetMix=1e-50 --param dryMix=-1e-60"},
        {"SameFile", "--block-size 64 --effect Vibrato"},
        {"Pcm16", "--encoding pcm16 --effect Delay --param delayMs=1 --param dryMix=1 --param wetMix=1"}}),
    [](const auto& info) { return info.param.name; });

// The input's encoding unless one is chosen; without --encoding, one the container cannot
// hold gives the nearest it can, with a note. Integer samples through a bypass stay the same.
TEST(ProcessTool, OutputEncodingIsTheInputsTheChosenOrTheNearestWithANote) {
    TemporaryDirectory directory;
    Channels input = noise(2, 12000, 5, 0.6f);
    input[0][5] = -1.0f;  // full negative scale must survive as -32768
    writeSound(directory / "float.wav", floatWav, rate, input);
    writeSound(directory / "vorbis.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, rate, input);
    writeSound(directory / "pcm16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, rate, input);
    const std::string cannot = " cannot hold the input's encoding (";
    // The options ending in INPUT and OUTPUT, the output's format, the note if any, whether
    // the output holds the input's samples exactly.
    for (const auto& [options, format, note, same] : std::vector<std::tuple<std::string, int, std::string, bool>>{
             {"@pcm16.wav @same.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, "", true},
             {"--encoding float32 @pcm16.wav @float.wav", floatWav, "", true},
             {"--encoding pcm16 @float.wav @short.aif", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, "", false},
             {"@pcm16.wav @lossless.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, "", true},
             {"--encoding pcm24 @float.wav @deep.FLAC", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, "", false},
             {"@float.wav @lossy.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, "", false},
             {"@float.wav @o.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24,
              "FLAC" + cannot + "32 bit float); writing pcm24 instead", false},
             {"@vorbis.ogg @o.wav", floatWav, "WAV" + cannot + "Vorbis); writing float32", false},
             {"@vorbis.ogg @o.aiff", SF_FORMAT_AIFF | SF_FORMAT_FLOAT, "AIFF" + cannot + "Vorbis); writing float32",
              false}}) {
        SCOPED_TRACE(options);
        const ToolRun run = runTool(split("process --effect Chorus --param enabled=false " + options), directory.path);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(note.empty() ? run.err.empty()
                                 : isOneLine(run.err) && run.err.starts_with("orvane-fx: note: " + note))
            << run.err;
        const std::vector<std::string> files = split(options);
        const SndfileHandle output(directory / files.back().substr(1));
        EXPECT_TRUE(output.format() == format && output.samplerate() == rate && output.channels() == 2 &&
                    output.frames() >= 12000)
            << std::hex << output.format() << std::dec << " " << output.samplerate() << " Hz " << output.frames();
        EXPECT_TRUE(!same || readSound(directory / files.back().substr(1)) ==
                                 readSound(directory / files[files.size() - 2].substr(1)));
    }
}

}  // namespace
}  // namespace orvane::testing::tool
