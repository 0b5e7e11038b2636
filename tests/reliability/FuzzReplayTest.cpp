#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "EffectHarness.h"

namespace orvane::testing {
namespace {

// Every committed fuzz input, run through the same harness the fuzzer drives: once as the
// bytes choose the node, then pinned to each node, as CI's fuzzing stage runs them.
TEST(FuzzCorpus, EveryInputRunsCleanlyOnEveryNode) {
    const std::filesystem::path corpus = ORVANE_FUZZ_CORPUS;
    std::size_t inputs = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(corpus)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream file(entry.path(), std::ios::binary);
        const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
        EXPECT_EQ(runScript(bytes.data(), bytes.size()), "") << entry.path();
        for (EffectType type : allEffectTypes)
            EXPECT_EQ(runScript(bytes.data(), bytes.size(), &type), "") << entry.path() << " on " << effectName(type);
        ++inputs;
    }
    EXPECT_GE(inputs, 5u) << "the corpus at " << corpus << " is missing";
}

// A script may put any bits into a sample or a parameter, the marker's own among them; a
// node passes a NaN's payload through, so such a value must never read as unwritten.
TEST(UnwrittenCheck, ScriptValuesNeverCarryTheMarkersPayload) {
    const std::uint32_t marker = std::bit_cast<std::uint32_t>(unwrittenMarker());
    for (std::uint32_t bits : {marker, marker | 0x80000000u, marker & ~0x00400000u, marker ^ 0x80400000u}) {
        const float value = floatFromScriptBits(bits);
        EXPECT_TRUE(std::isnan(value)) << std::hex << bits;
        for (float passedOn : {value, -value, value + 1.0f, static_cast<float>(static_cast<double>(value) * 0.5)})
            EXPECT_FALSE(isUnwrittenMarker(passedOn)) << std::hex << bits;
    }
    EXPECT_EQ(std::bit_cast<std::uint32_t>(floatFromScriptBits(0x7fc00000u)), 0x7fc00000u);
    EXPECT_EQ(floatFromScriptBits(std::bit_cast<std::uint32_t>(0.25f)), 0.25f);
}

// Passes its input through but skips one sample: the check must still see what was never written.
class SkipsOneSample : public SingleBusAudioProcessorNode {
public:
    explicit SkipsOneSample(std::uint32_t skipped) : skippedFrame(skipped) {}
    bool setBusFormat(AudioBusFormat&, AudioBusFormat&) override { return true; }
    bool process(AudioBus& inputBus, AudioBus& outputBus) override {
        const AudioBuffer<float>& in = inputBus.buffer;
        AudioBuffer<float>& out = outputBus.buffer;
        for (std::uint32_t c = 0; c < in.getNumberOfChannels(); ++c)
            for (std::uint32_t f = 0; f < in.getNumberOfFrames(); ++f)
                if (c != 1 || f != skippedFrame) out.setSample(c, f, in.getSample(c, f));
        return true;
    }
    using SingleBusAudioProcessorNode::process;

private:
    std::uint32_t skippedFrame;
};

TEST(UnwrittenCheck, CatchesANodeThatLeavesASampleUnwritten) {
    SkipsOneSample node(5);
    EXPECT_EQ(processChecked(node, noiseBlock(2, 8, 48000, 1), true), "output sample 5 of channel 1 not written");
    AudioBuffer<float> withNaN = noiseBlock(2, 8, 48000, 1);
    withNaN.setSample(0, 3, floatFromScriptBits(std::bit_cast<std::uint32_t>(unwrittenMarker())));
    EXPECT_EQ(processChecked(node, withNaN, false), "output sample 5 of channel 1 not written");
    SkipsOneSample writesAll(8);
    EXPECT_EQ(processChecked(writesAll, withNaN, false), "");
}

}  // namespace
}  // namespace orvane::testing
