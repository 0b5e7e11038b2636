#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ToolHarness.h"
#include "nodes/ChorusNode.h"
#include "nodes/DelayNode.h"
#include "nodes/FlangerNode.h"
#include "nodes/PingPongDelayNode.h"
#include "nodes/VibratoNode.h"

namespace orvane::testing::tool {
namespace {

using namespace orvane::extensions::audioeffects;

constexpr std::uint32_t rate = 44100;  // not 48 kHz, so that the rate is seen to pass through
constexpr int floatWav = SF_FORMAT_WAV | SF_FORMAT_FLOAT;

// Runs the input through the nodes one after another in blocks of a size of its own,
// unrelated to the tool's, so that the tool's block handling is checked too.
Channels processInProcess(const std::vector<SingleBusAudioProcessorNode*>& nodes, Channels signal) {
    for (SingleBusAudioProcessorNode* node : nodes) signal = processInBlocks(*node, signal, rate, 4096);
    return signal;
}

struct EffectCase {
    std::string name;
    std::vector<std::string> arguments;  // everything before INPUT and OUTPUT
    double tailSeconds;
    std::function<std::unique_ptr<SingleBusAudioProcessorNode>()> reference;
};

std::vector<EffectCase> effectCases() {
    return {
        {"Delay",
         {"--block-size", "300", "--tail", "0.5", "--effect", "Delay", "--param", "delayMs=120", "--param",
          "feedbackLevel=0.5", "--param", "wetMix=0.45"},
         0.5,
         [] {
             auto node = std::make_unique<DelayNode>(2);
             node->setDelayMs(120);
             node->setFeedbackLevel(0.5f);
             node->setWetMix(0.45f);
             return node;
         }},
        {"PingPongDelay",
         {"--block-size=1", "--tail=0.3", "--effect", "AudioEffects.PingPongDelay", "--param", "delayMs=75", "--param",
          "dryMix=0.6", "--param", "feedbackLevel=0.55", "--param", "enabled=1"},
         0.3,
         [] {
             auto node = std::make_unique<PingPongDelayNode>(OVAnyMap{});
             node->setDelayMs(75);
             node->setDryMix(0.6f);
             node->setFeedbackLevel(0.55f);
             return node;
         }},
        {"Vibrato",
         {"--block-size", "65536", "--effect", "Vibrato", "--param", "sweepWidth=0.004", "--param", "frequency=5.5"},
         0.0,
         [] {
             auto node = std::make_unique<VibratoNode>(2);
             node->setSweepWidth(0.004f);
             node->setFrequency(5.5f);
             return node;
         }},
        {"Flanger",
         {"--effect", "Flanger", "--param", "frequency=1.25"},
         0.0,
         [] {
             auto node = std::make_unique<FlangerNode>(2);
             node->setFrequency(1.25f);
             return node;
         }},
        {"Chorus",
         {"--block-size", "777", "--effect", "AudioEffects.Chorus", "--param", "sweepWidth=1.2e-2", "--param",
          "frequency=0.8"},
         0.0,
         [] {
             auto node = std::make_unique<ChorusNode>(2);
             node->setSweepWidth(0.012f);
             node->setFrequency(0.8f);
             return node;
         }},
    };
}

class EachEffect : public ::testing::TestWithParam<EffectCase> {};

TEST_P(EachEffect, Float32OutputEqualsTheNodesOwnOutputSampleForSample) {
    const EffectCase& effect = GetParam();
    TemporaryDirectory directory;
    const Channels input = testSignal(2, 57330, rate);
    writeSound(directory / "in.wav", floatWav, rate, input);

    std::vector<std::string> arguments{"process"};
    arguments.insert(arguments.end(), effect.arguments.begin(), effect.arguments.end());
    arguments.push_back(directory / "in.wav");
    arguments.push_back(directory / "out.wav");
    const ToolRun run = runTool(arguments);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "") << "nothing on stderr when it is not a terminal";

    const auto node = effect.reference();
    const auto tailFrames = static_cast<std::size_t>(std::lround(effect.tailSeconds * rate));
    const Channels expected = processInProcess({node.get()}, withSilence(input, tailFrames));
    const Sound output = readSound(directory / "out.wav");
    EXPECT_EQ(output.format, floatWav);
    EXPECT_EQ(output.sampleRate, rate);
    EXPECT_TRUE(sameSamples(expected, output.channels));
    EXPECT_EQ(directory.entries(), (std::vector<std::string>{"in.wav", "out.wav"}));
}

INSTANTIATE_TEST_SUITE_P(ProcessTool, EachEffect, ::testing::ValuesIn(effectCases()),
                         [](const auto& info) { return info.param.name; });

TEST(ProcessTool, ChainRunsEffectsInTheOrderGivenEachWithItsOwnParameters) {
    TemporaryDirectory directory;
    const Channels input = testSignal(2, 40000, rate);
    writeSound(directory / "in.wav", floatWav, rate, input);
    const ToolRun run = runTool({"process",
                                 "--block-size",
                                 "1000",
                                 "--tail",
                                 "0.25",
                                 "--effect",
                                 "Chorus",
                                 "--effect",
                                 "PingPongDelay",
                                 "--param",
                                 "delayMs=90",
                                 "--param",
                                 "wetMix=0.5",
                                 "--effect",
                                 "Delay",
                                 "--param",
                                 "enabled=false",
                                 "--param",
                                 "delayMs=10",
                                 "--effect",
                                 "Flanger",
                                 "--param",
                                 "sweepWidth=0.003",
                                 directory / "in.wav",
                                 directory / "out.wav"});
    ASSERT_EQ(run.status, 0) << run.err;

    ChorusNode chorus(2);
    PingPongDelayNode pingPong{OVAnyMap{}};
    pingPong.setDelayMs(90);
    pingPong.setWetMix(0.5f);
    DelayNode delay(2);
    delay.setIsEnabled(false);
    delay.setDelayMs(10);
    FlangerNode flanger(2);
    flanger.setSweepWidth(0.003f);
    const Channels expected =
        processInProcess({&chorus, &pingPong, &delay, &flanger}, withSilence(input, std::lround(0.25 * rate)));
    EXPECT_TRUE(sameSamples(expected, readSound(directory / "out.wav").channels));
}

TEST(ProcessTool, MonoInputKeepsOneChannelThroughEffectsThatTakeIt) {
    TemporaryDirectory directory;
    const Channels input = testSignal(1, 30000, rate);
    writeSound(directory / "in.wav", floatWav, rate, input);
    const ToolRun run = runTool({"process", "--block-size", "333", "--effect", "Delay", "--param", "delayMs=30",
                                 "--effect", "Vibrato", directory / "in.wav", directory / "out.wav"});
    ASSERT_EQ(run.status, 0) << run.err;

    DelayNode delay(2);
    delay.setDelayMs(30);
    VibratoNode vibrato(2);
    EXPECT_TRUE(sameSamples(processInProcess({&delay, &vibrato}, input), readSound(directory / "out.wav").channels));
}

TEST(ProcessTool, IntegerSamplesPassThroughABypassedEffectUnchanged) {
    // Reading 16-bit samples as floats and writing them back must give the same integers.
    TemporaryDirectory directory;
    Channels input = testSignal(2, 20000, rate);
    input[0][5] = -1.0f;  // full negative scale must survive as -32768
    writeSound(directory / "in.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, rate, input);
    for (const std::string output : {"out.wav", "out.flac"}) {
        SCOPED_TRACE(output);
        const ToolRun run = runTool(
            {"process", "--effect", "Chorus", "--param", "enabled=false", directory / "in.wav", directory / output});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(readShorts(directory / output), readShorts(directory / "in.wav"));
    }
}

TEST(ProcessTool, IntegerOutputClipsLoudSamplesInsteadOfWrappingThem) {
    TemporaryDirectory directory;
    Channels input = testSignal(2, 20000, rate);
    for (auto& channel : input)
        for (float& sample : channel) sample *= 1.5f;  // up to 0.9
    writeSound(directory / "in.wav", floatWav, rate, input);
    const ToolRun run =
        runTool({"process", "--encoding", "pcm16", "--effect", "Delay", "--param", "delayMs=1", "--param", "dryMix=1",
                 "--param", "wetMix=1", directory / "in.wav", directory / "out.wav"});
    ASSERT_EQ(run.status, 0) << run.err;

    DelayNode delay(2);
    delay.setDelayMs(1);
    delay.setDryMix(1.0f);
    delay.setWetMix(1.0f);
    const Channels expected = processInProcess({&delay}, input);
    const std::vector<short> output = readShorts(directory / "out.wav");
    ASSERT_EQ(output.size(), 2u * 20000u);
    int clipped = 0;
    for (std::size_t f = 0; f < 20000; ++f) {
        for (std::size_t c = 0; c < 2; ++c) {
            const float value = expected[c][f];
            const short sample = output[f * 2 + c];
            if (value >= 1.0f) {
                EXPECT_EQ(sample, 32767) << "frame " << f;
                ++clipped;
            } else if (value <= -1.0f) {
                EXPECT_EQ(sample, -32768) << "frame " << f;
                ++clipped;
            } else {
                EXPECT_LE(std::abs(sample - value * 32768.0f), 1.0f) << "frame " << f;
            }
        }
    }
    EXPECT_GT(clipped, 100) << "the test signal should reach beyond full scale";
}

// The input's encoding unless one is chosen; without --encoding, an input encoding the
// output's container cannot hold gives the nearest it can, with a note.
TEST(ProcessTool, OutputEncodingIsTheInputsTheChosenOrTheNearestWithANote) {
    TemporaryDirectory directory;
    const Channels input = testSignal(2, 12000, rate);
    writeSound(directory / "float.wav", floatWav, rate, input);
    writeSound(directory / "vorbis.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, rate, input);
    writeSound(directory / "pcm16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, rate, input);
    struct Expectation {
        std::vector<std::string> options;
        std::string input;
        std::string output;
        int format;
        std::string note;  // empty: none
    };
    std::vector<Expectation> expectations{
        {{}, "pcm16.wav", "same.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, ""},
        {{"--encoding", "float32"}, "pcm16.wav", "float.wav", floatWav, ""},
        {{"--encoding", "pcm24"}, "float.wav", "deep.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, ""},
        {{"--encoding", "pcm16"}, "float.wav", "short.aif", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, ""},
        {{}, "pcm16.wav", "lossless.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, ""},
        {{"--encoding", "pcm24"}, "float.wav", "deep.FLAC", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, ""},
        {{}, "float.wav", "lossy.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, ""},
        {{},
         "float.wav",
         "out.flac",
         SF_FORMAT_FLAC | SF_FORMAT_PCM_24,
         "FLAC cannot hold the input's encoding (32 bit float); writing pcm24 instead"},
        {{}, "vorbis.ogg", "out.wav", floatWav, "WAV cannot hold the input's encoding (Vorbis); writing float32"},
        {{},
         "vorbis.ogg",
         "out.aiff",
         SF_FORMAT_AIFF | SF_FORMAT_FLOAT,
         "AIFF cannot hold the input's encoding (Vorbis); writing float32"},
        {{},
         "vorbis.ogg",
         "out2.flac",
         SF_FORMAT_FLAC | SF_FORMAT_PCM_24,
         "FLAC cannot hold the input's encoding (Vorbis); writing pcm24"},
    };
    // MP3 input where this libsndfile can make one.
    SF_INFO mp3{};
    mp3.samplerate = static_cast<int>(rate);
    mp3.channels = 2;
    mp3.format = SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
    if (sf_format_check(&mp3)) {
        writeSound(directory / "song.mp3", mp3.format, rate, input);
        expectations.push_back(
            {{}, "song.mp3", "song.wav", floatWav, "WAV cannot hold the input's encoding (MPEG Layer III)"});
    }
    for (const Expectation& expectation : expectations) {
        SCOPED_TRACE(expectation.input + " -> " + expectation.output);
        std::vector<std::string> arguments{"process", "--effect", "Flanger"};
        arguments.insert(arguments.end(), expectation.options.begin(), expectation.options.end());
        arguments.push_back(directory / expectation.input);
        arguments.push_back(directory / expectation.output);
        const ToolRun run = runTool(arguments);
        ASSERT_EQ(run.status, 0) << run.err;
        if (expectation.note.empty()) {
            EXPECT_EQ(run.err, "");
        } else {
            EXPECT_TRUE(isOneLine(run.err)) << run.err;
            EXPECT_EQ(run.err.rfind("orvane-fx: note: " + expectation.note, 0), 0u) << run.err;
        }
        const Sound output = readSound(directory / expectation.output);
        EXPECT_EQ(output.format, expectation.format);
        EXPECT_EQ(output.sampleRate, rate);
        EXPECT_EQ(output.channels.size(), 2u);
        EXPECT_GE(output.frames(), 12000u);
    }
}

// A decimal too small for a float is still a finite decimal: it becomes the nearest float.
TEST(ProcessTool, ValuesThatUnderflowAreTakenAsTheirNearestFloat) {
    TemporaryDirectory directory;
    const Channels input = testSignal(2, 6000, rate);
    writeSound(directory / "in.wav", floatWav, rate, input);
    const ToolRun run = runTool({"process", "--tail", "1e-50", "--effect", "Delay", "--param", "wetMix=1e-50",
                                 "--param", "dryMix=-1e-60", directory / "in.wav", directory / "out.wav"});
    ASSERT_EQ(run.status, 0) << run.err;
    DelayNode delay(2);
    delay.setWetMix(0.0f);
    delay.setDryMix(-0.0f);
    EXPECT_TRUE(sameSamples(processInProcess({&delay}, input), readSound(directory / "out.wav").channels));
}

TEST(ProcessTool, SameFileAsInputAndOutputIsReplacedOnlyWhenComplete) {
    TemporaryDirectory directory;
    const Channels input = testSignal(2, 9000, rate);
    writeSound(directory / "song.wav", floatWav, rate, input);
    const ToolRun run = runTool(
        {"process", "--block-size", "64", "--effect", "Vibrato", directory / "song.wav", directory / "song.wav"});
    ASSERT_EQ(run.status, 0) << run.err;
    VibratoNode vibrato(2);
    EXPECT_TRUE(sameSamples(processInProcess({&vibrato}, input), readSound(directory / "song.wav").channels));
}

TEST(ProcessTool, HelpOfEachCommandPrintsItsOptionsAndSucceeds) {
    for (const auto& [command, option] : std::vector<std::pair<std::string, std::string>>{
             {"--help", "process"}, {"list", "--json"}, {"process", "--block-size"}, {"demo", "DIR"}}) {
        SCOPED_TRACE(command);
        const ToolRun run = runTool(command == "--help" ? std::vector<std::string>{command}
                                                        : std::vector<std::string>{command, "--help"});
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err, "");
        EXPECT_NE(run.out.find(option), std::string::npos) << run.out;
    }
}

}  // namespace
}  // namespace orvane::testing::tool
