#include "nodes/FlangerNode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <vector>

#include "host/AudioBusFormat.h"
#include "support/Blocks.h"
#include "support/NodeTesting.h"

namespace {

using orvane::AudioBusFormat;
using orvane::extensions::audioeffects::FlangerNode;
using orvane::nodetesting::allFinite;
using orvane::nodetesting::append;
using orvane::nodetesting::BlockFormat;
using orvane::nodetesting::expectMatchesModel;
using orvane::nodetesting::expectSameBits;
using orvane::nodetesting::format;
using orvane::nodetesting::modelInBlocks;
using orvane::nodetesting::noise;
using orvane::nodetesting::nonZeroFrames;
using orvane::nodetesting::processShape;
using orvane::nodetesting::ReferenceLine;
using orvane::nodetesting::ReferenceOscillator;
using orvane::nodetesting::silence;
using orvane::nodetesting::slice;
using orvane::testing::Channels;
using orvane::testing::impulse;
using orvane::testing::processBlock;
using orvane::testing::processInBlocks;

constexpr float inf = std::numeric_limits<float>::infinity();
constexpr float nan = std::numeric_limits<float>::quiet_NaN();

/// The flanger written out plainly: per channel a 48000-slot line and an oscillator over
/// [0, 1], read 2 + sweep slots behind the writer with linear interpolation; the line takes
/// x + 0.6 * delayed, the output is x + 0.8 * delayed.
class FlangerModel {
public:
    explicit FlangerModel(std::uint32_t channels) : lines(channels) {
        for (std::uint32_t c = 0; c < channels; ++c) oscillators.push_back(ReferenceOscillator::sweep(0.4f, c));
    }

    bool enabled = true;
    float sweepWidth = 0.005f;
    void setFrequency(float hertz) {
        for (auto& oscillator : oscillators) oscillator.frequency = hertz;
    }

    Channels process(const Channels& input, std::uint32_t sampleRate) {
        Channels output = input;
        if (!enabled) return output;
        const auto channels = static_cast<std::uint32_t>(input.size());
        if (sampleRate != lastSampleRate || channels != lastChannels) {
            for (auto& line : lines) line.reset();
            lastSampleRate = sampleRate;
            lastChannels = channels;
        }
        const std::size_t frames = input.empty() ? 0 : input.front().size();
        const auto rate = static_cast<float>(sampleRate);
        const std::size_t active = std::min<std::size_t>(channels, lines.size());
        for (std::size_t f = 0; f < frames; ++f)
            for (std::size_t c = 0; c < active; ++c) {
                ReferenceLine& line = lines[c];
                const float lfo = oscillators[c].step(static_cast<int>(sampleRate));
                const float sweep = (lfo * sweepWidth) * rate;
                const float x = input[c][f];
                const float delayed = line.interpolate(line.sweptPosition(sweep, 2.0f));
                line.data[static_cast<std::size_t>(line.writePointer)] = 0.6f * delayed + x;
                line.writePointer = ReferenceLine::wrap(line.writePointer + 1LL);
                output[c][f] = delayed * 0.8f + x;
            }
        return output;
    }

    std::vector<ReferenceOscillator> oscillators;

private:
    std::vector<ReferenceLine> lines;
    std::uint32_t lastSampleRate = 0;
    std::uint32_t lastChannels = 0;
};

/// Non-zero frames of channel within [from, to).
std::vector<std::size_t> nonZeroBetween(const std::vector<float>& channel, std::size_t from, std::size_t to) {
    std::vector<std::size_t> frames;
    for (std::size_t f = from; f < to; ++f)
        if (channel[f] != 0.0f) frames.push_back(f);
    return frames;
}

TEST(FlangerNodeTest, StartsWithDefaultsAndStoresParametersUnchanged) {
    FlangerNode node(2);
    EXPECT_TRUE(node.getIsEnabled());
    EXPECT_EQ(node.getSweepWidth(), 0.005f);
    EXPECT_EQ(node.getFrequency(), 0.4f);
    node.setSweepWidth(12.0f);
    EXPECT_EQ(node.getSweepWidth(), 12.0f);
    node.setIsEnabled(false);
    EXPECT_FALSE(node.getIsEnabled());
    EXPECT_TRUE(node.getPropertyNames().empty());

    FlangerNode none(0);
    EXPECT_EQ(none.getFrequency(), 0.4f);
    none.setFrequency(1.0f);
    EXPECT_TRUE(std::isfinite(none.getFrequency()));
}

TEST(FlangerNodeTest, ImpulseComesBackSweptAndRepeatsFromFeedback) {
    FlangerNode node(2);
    const Channels out = processBlock(node, impulse(2, 4000, {0, 1}), 48000);
    EXPECT_EQ(out[0][0], 1.0f);
    EXPECT_EQ(out[1][0], 1.0f);

    // Channel 0 starts mid-sweep (122 samples back), channel 1 at its peak (242 back).
    EXPECT_EQ(nonZeroBetween(out[0], 1, 200), (std::vector<std::size_t>{122, 123}));
    EXPECT_EQ(nonZeroBetween(out[1], 1, 300), (std::vector<std::size_t>{241, 242}));
    EXPECT_NEAR(out[0][122] + out[0][123], 0.8f, 0.01f);
    EXPECT_NEAR(out[1][241] + out[1][242], 0.8f, 0.01f);

    // The 0.6 fed back returns once more about a sweep later, fainter.
    const auto repeat0 = nonZeroBetween(out[0], 200, 300);
    const auto repeat1 = nonZeroBetween(out[1], 300, 540);
    ASSERT_FALSE(repeat0.empty());
    ASSERT_FALSE(repeat1.empty());
    float sum0 = 0.0f, sum1 = 0.0f;
    for (std::size_t f : repeat0) sum0 += out[0][f];
    for (std::size_t f : repeat1) sum1 += out[1][f];
    EXPECT_NEAR(sum0, 0.8f * 0.6f, 0.02f);
    EXPECT_NEAR(sum1, 0.8f * 0.6f, 0.02f);

    FlangerModel model(2);
    expectSameBits(out, model.process(impulse(2, 4000, {0, 1}), 48000), "model");
}

TEST(FlangerNodeTest, WithoutSweepTheDelayIsTwoSamplesWithFeedback) {
    FlangerNode node(2);
    node.setSweepWidth(0.0f);
    const Channels input = noise(2, 3000, 51);
    const Channels out = processBlock(node, input, 48000);
    for (std::size_t c = 0; c < 2; ++c) {
        SCOPED_TRACE(c);
        std::vector<float> line(input[c].size(), 0.0f);
        for (std::size_t f = 0; f < input[c].size(); ++f) {
            const float delayed = f >= 2 ? line[f - 2] : 0.0f;
            line[f] = 0.6f * delayed + input[c][f];
            ASSERT_EQ(out[c][f], delayed * 0.8f + input[c][f]) << f;
        }
    }
    FlangerNode impulseNode(1);
    impulseNode.setSweepWidth(0.0f);
    const Channels echo = processBlock(impulseNode, impulse(1, 12, {0}), 48000);
    EXPECT_EQ(nonZeroFrames(echo[0]), (std::vector<std::size_t>{0, 2, 4, 6, 8, 10}));
    EXPECT_EQ(echo[0][2], 1.0f * 0.8f + 0.0f);
    EXPECT_EQ(echo[0][4], (0.6f * 1.0f + 0.0f) * 0.8f + 0.0f);
}

struct FlangerEvent {
    std::size_t frame;
    std::function<void(FlangerNode&, FlangerModel&, BlockFormat&)> apply;
};

std::vector<FlangerEvent> flangerScript() {
    auto width = [](float seconds) {
        return [seconds](FlangerNode& n, FlangerModel& m, BlockFormat&) {
            n.setSweepWidth(seconds);
            m.sweepWidth = seconds;
        };
    };
    auto frequency = [](float hertz) {
        return [hertz](FlangerNode& n, FlangerModel& m, BlockFormat&) {
            n.setFrequency(hertz);
            m.setFrequency(hertz);
        };
    };
    auto enable = [](bool on) {
        return [on](FlangerNode& n, FlangerModel& m, BlockFormat&) {
            n.setIsEnabled(on);
            m.enabled = on;
        };
    };
    return {
        {0, frequency(9.0f)},
        {800, width(0.002f)},
        {1300, frequency(120.0f)},
        {1700, enable(false)},
        {2100, enable(true)},
        {2400, width(0.0f)},
        {2700, width(-0.004f)},
        {3000, [](FlangerNode&, FlangerModel&, BlockFormat& f) { f.sampleRate = 44100; }},
        {3400, width(2.0f)},
        {3700, [](FlangerNode&, FlangerModel&, BlockFormat& f) { f.channels = 1; }},
        {4100, frequency(0.0f)},
        {4400,
         [](FlangerNode& n, FlangerModel& m, BlockFormat& f) {
             f.channels = 2;
             f.sampleRate = 96000;
             n.setFrequency(2.5f);
             m.setFrequency(2.5f);
             n.setSweepWidth(0.005f);
             m.sweepWidth = 0.005f;
         }},
        {5100, [](FlangerNode&, FlangerModel&, BlockFormat& f) { f.sampleRate = 48000; }},
    };
}

TEST(FlangerNodeTest, MatchesPlainModelAcrossBlockSizesAndParameterChanges) {
    const Channels input = noise(2, 6000, 52);
    orvane::nodetesting::expectMatchesModelUnderScript(
        input, flangerScript(), [] { return std::make_unique<FlangerNode>(2); }, [] { return FlangerModel(2); });
}

TEST(FlangerNodeTest, DefaultsMatchPlainModelOverSeveralSeconds) {
    const Channels input = noise(2, 48000 * 3, 53);  // more than a full sweep cycle of 2.5 s
    FlangerNode node(2);
    FlangerModel model(2);
    expectSameBits(processInBlocks(node, input, 48000, 4096), modelInBlocks(model, input, 48000, 4096), "defaults");
}

TEST(FlangerNodeTest, DisabledPassesInputAndFreezesLinesAndOscillators) {
    const Channels first = noise(2, 3000, 54);
    const Channels middle = noise(2, 2000, 55);
    const Channels last = noise(2, 4000, 56);
    FlangerNode reference(2);
    processBlock(reference, first, 48000);
    const Channels expected = processBlock(reference, last, 48000);

    FlangerNode node(2);
    processBlock(node, first, 48000);
    node.setIsEnabled(false);
    expectSameBits(processBlock(node, middle, 48000), middle, "disabled");
    expectSameBits(processBlock(node, noise(1, 300, 57), 96000), noise(1, 300, 57), "disabled, other format");
    node.setIsEnabled(true);
    expectSameBits(processBlock(node, last, 48000), expected, "re-enabled");
}

TEST(FlangerNodeTest, FormatChangesClearLinesButKeepPhases) {
    const Channels first = noise(2, 5000, 58);
    for (BlockFormat change : {BlockFormat{44100, 2}, BlockFormat{48000, 1}}) {
        SCOPED_TRACE(testing::Message() << change.sampleRate << " Hz, " << change.channels << " channels");
        FlangerNode node(2);
        FlangerModel model(2);
        processBlock(node, first, 48000);
        model.process(first, 48000);
        const Channels quiet = silence(change.channels, 2000);
        const Channels out = processBlock(node, quiet, change.sampleRate);
        for (const auto& channel : out) EXPECT_TRUE(nonZeroFrames(channel).empty());
        model.process(quiet, change.sampleRate);
        const Channels next = noise(change.channels, 4000, 59);
        const Channels actual = processBlock(node, next, change.sampleRate);
        expectSameBits(actual, model.process(next, change.sampleRate), "after the change");
        FlangerNode fresh(2);
        processBlock(fresh, quiet, change.sampleRate);
        EXPECT_NE(actual, processBlock(fresh, next, change.sampleRate));
    }
}

TEST(FlangerNodeTest, EmptyBlocksOnlyTrackTheFormat) {
    const Channels first = noise(2, 3000, 60);
    const Channels later = noise(2, 3000, 61);
    FlangerNode control(2);
    processBlock(control, first, 48000);
    const Channels continued = processBlock(control, later, 48000);
    {
        SCOPED_TRACE("zero frames, same format");
        FlangerNode node(2);
        processBlock(node, first, 48000);
        EXPECT_EQ(processShape(node, 2, 0, 48000).getNumberOfFrames(), 0u);
        expectSameBits(processBlock(node, later, 48000), continued, "nothing changed");
    }
    {
        SCOPED_TRACE("zero frames at another rate, then back");
        FlangerNode node(2);
        FlangerModel model(2);
        processBlock(node, first, 48000);
        model.process(first, 48000);
        processShape(node, 2, 0, 32000);
        model.process(silence(2, 0), 32000);
        const Channels out = processBlock(node, later, 48000);
        expectSameBits(out, model.process(later, 48000), "cleared twice, phases kept");
        EXPECT_NE(out, continued);
    }
    {
        SCOPED_TRACE("frames without channels");
        FlangerNode node(2);
        FlangerModel model(2);
        processBlock(node, first, 48000);
        model.process(first, 48000);
        const auto empty = processShape(node, 0, 500, 48000);
        EXPECT_EQ(empty.getNumberOfChannels(), 0u);
        EXPECT_EQ(empty.getNumberOfFrames(), 500u);
        model.process(Channels{}, 48000);
        expectSameBits(processBlock(node, later, 48000), model.process(later, 48000), "after channel-less block");
    }
}

TEST(FlangerNodeTest, SetFrequencyReachesEveryOscillator) {
    FlangerNode node(2);
    node.setFrequency(1.0f);
    EXPECT_EQ(node.getFrequency(), 1.0f);
    FlangerModel model(2);
    model.setFrequency(1.0f);
    const Channels input = noise(2, 48000, 62);
    const Channels out = processInBlocks(node, input, 48000, 1000);
    expectSameBits(out, modelInBlocks(model, input, 48000, 1000), "both at 1 Hz");
    FlangerModel partial(2);
    partial.oscillators[0].frequency = 1.0f;
    EXPECT_NE(out[1], modelInBlocks(partial, input, 48000, 1000)[1]);
}

TEST(FlangerNodeTest, MonoBusAdvancesOnlyTheFirstOscillatorAndLine) {
    const Channels mono = noise(1, 7000, 63);
    const Channels stereo = noise(2, 5000, 64);
    FlangerNode node(2);
    processBlock(node, mono, 48000);
    const Channels out = processBlock(node, stereo, 48000);
    FlangerNode fresh(2);
    const Channels freshOut = processBlock(fresh, stereo, 48000);
    EXPECT_EQ(out[1], freshOut[1]);
    EXPECT_NE(out[0], freshOut[0]);
    FlangerModel model(2);
    model.process(mono, 48000);
    expectSameBits(out, model.process(stereo, 48000), "model");
}

TEST(FlangerNodeTest, ChannelsWithoutStateKeepTheirInput) {
    const Channels stereo = noise(2, 4000, 65);
    {
        SCOPED_TRACE("built for 1, fed 2");
        FlangerNode node(1);
        FlangerModel model(1);
        const Channels out = processInBlocks(node, stereo, 48000, 333);
        expectSameBits(out, modelInBlocks(model, stereo, 48000, 333), "mono node");
        EXPECT_EQ(out[1], stereo[1]);
    }
    {
        SCOPED_TRACE("built for 0, fed 2");
        FlangerNode node(0);
        expectSameBits(processBlock(node, stereo, 48000), stereo, "no state");
        EXPECT_EQ(node.getFrequency(), 0.4f);
    }
    {
        SCOPED_TRACE("built for 2, fed 8");
        const Channels wide = noise(8, 4000, 66);
        FlangerNode node(2);
        FlangerModel model(2);
        const Channels out = processBlock(node, wide, 48000);
        expectSameBits(out, model.process(wide, 48000), "eight channels");
        for (std::size_t c = 2; c < 8; ++c) EXPECT_EQ(out[c], wide[c]) << c;
    }
}

TEST(FlangerNodeTest, NonFiniteSweepReadsAsNoSweep) {
    const Channels input = noise(2, 6000, 67);
    FlangerNode unswept(2);
    unswept.setSweepWidth(0.0f);
    const Channels expected = processInBlocks(unswept, input, 48000, 500);
    for (float width : {nan, inf, -inf}) {
        SCOPED_TRACE(width);
        FlangerNode node(2);
        node.setSweepWidth(width);
        expectSameBits(processInBlocks(node, input, 48000, 500), expected, "non-finite width");
    }
    for (float width : {1e30f, -1e30f, FLT_MAX, -FLT_MAX, 1e-30f}) {
        SCOPED_TRACE(width);
        FlangerNode node(2);
        node.setSweepWidth(width);
        FlangerModel model(2);
        model.sweepWidth = width;
        const Channels out = processInBlocks(node, input, 48000, 500);
        EXPECT_TRUE(allFinite(out));
        expectSameBits(out, modelInBlocks(model, input, 48000, 500), "huge width");
    }
}

TEST(FlangerNodeTest, NonFiniteFrequencyHoldsTheSweep) {
    const Channels first = noise(2, 3000, 68);
    const Channels later = noise(2, 6000, 69);
    FlangerNode held(2);
    processBlock(held, first, 48000);
    held.setFrequency(0.0f);
    const Channels expected = processBlock(held, later, 48000);
    for (float hertz : {nan, inf, -inf}) {
        SCOPED_TRACE(hertz);
        FlangerNode node(2);
        processBlock(node, first, 48000);
        node.setFrequency(hertz);
        expectSameBits(processBlock(node, later, 48000), expected, "frozen sweep");
    }
    for (float hertz : {1e30f, -1e30f, FLT_MAX, -FLT_MAX, 48000.0f * 3.5f, -7.0f}) {
        SCOPED_TRACE(hertz);
        FlangerNode node(2);
        node.setFrequency(hertz);
        EXPECT_TRUE(allFinite(processInBlocks(node, later, 48000, 700)));
    }
}

TEST(FlangerNodeTest, ZeroSampleRateAfterAnotherKeepsOutputFinite) {
    const Channels input = noise(2, 3000, 70);
    FlangerNode node(2);
    FlangerModel model(2);
    processBlock(node, input, 48000);
    model.process(input, 48000);
    const Channels out = processBlock(node, input, 0);
    EXPECT_TRUE(allFinite(out));
    expectSameBits(out, model.process(input, 0), "0 Hz");
    expectSameBits(processBlock(node, input, 48000), model.process(input, 48000), "back at 48 kHz");
}

TEST(FlangerNodeTest, InPlaceMatchesSeparateBuffers) {
    const Channels input = noise(2, 20000, 71);
    FlangerNode separate(2);
    FlangerNode inPlace(2);
    expectSameBits(orvane::nodetesting::processInPlace(inPlace, input, 48000), processBlock(separate, input, 48000),
                   "in place");
}

TEST(FlangerNodeTest, BusFormatAgreement) {
    for (unsigned int built : {0u, 1u, 2u, 4u}) {
        SCOPED_TRACE(built);
        FlangerNode node(built);
        for (std::uint32_t channels : {0u, 1u, 2u}) {
            AudioBusFormat in = format(44100, channels, 256), out = format(44100, channels, 256);
            EXPECT_TRUE(node.setBusFormat(in, out)) << channels;
            AudioBusFormat otherIn = format(44100, channels, 256), otherOut = format(48000, channels, 256);
            EXPECT_FALSE(node.setBusFormat(otherIn, otherOut)) << channels;
        }
        AudioBusFormat in3 = format(44100, 3, 256), out3 = format(44100, 3, 256);
        EXPECT_FALSE(node.setBusFormat(in3, out3));
    }
    FlangerNode node(2);
    AudioBusFormat partialIn = format(48000, 0, 64), partialOut = format(0, 2, 0);
    EXPECT_TRUE(node.setBusFormat(partialIn, partialOut));
    EXPECT_EQ(partialIn, format(48000, 2, 64));
    EXPECT_EQ(partialOut, format(48000, 2, 64));
    AudioBusFormat wideIn = format(48000, 3, 0), wideOut = format(0, 0, 0);
    EXPECT_FALSE(node.setBusFormat(wideIn, wideOut));
    EXPECT_EQ(wideOut, format(48000, 3, 0));
}

TEST(FlangerNodeTest, SubnormalsAreFlushedWithinProcessOnly) {
    // Inside process() subnormal operands and results count as zero, since echoes dying away
    // would otherwise cost many times more; apart from that the arithmetic is the model's, and
    // the caller's floating-point mode comes back unchanged.
    const Channels tiny = orvane::nodetesting::scaled(noise(2, 6000, 72), 1e-38f);
    ASSERT_TRUE(orvane::nodetesting::hasSubnormal(tiny));
    FlangerNode node(2);
    FlangerModel model(2);
    const unsigned int modeBefore = orvane::nodetesting::floatingPointMode();
    const Channels out = processInBlocks(node, tiny, 48000, 512);
    EXPECT_EQ(orvane::nodetesting::floatingPointMode(), modeBefore);
    EXPECT_FALSE(orvane::nodetesting::hasSubnormal(out));
    expectSameBits(out, orvane::nodetesting::flushingSubnormals([&] { return modelInBlocks(model, tiny, 48000, 512); }),
                   "tiny signal");
}

TEST(FlangerNodeTest, ParametersMayChangeWhileProcessing) {
    FlangerNode node(2);
    const float widths[] = {0.0f, 0.01f, -0.02f, 2.0f, nan, inf, 1e30f};
    const float frequencies[] = {0.2f, 0.0f, 9.0f, -3.0f, 60000.0f, nan, inf};
    orvane::nodetesting::processWhileChanging(
        node,
        [&](unsigned int i) {
            node.setSweepWidth(widths[i % 7]);
            node.setFrequency(frequencies[(i / 7) % 7]);
            node.setIsEnabled(i % 13 != 0);
            (void)node.getFrequency();
        },
        300);
}

}  // namespace
