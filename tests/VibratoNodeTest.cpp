#include "nodes/VibratoNode.h"

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
using orvane::extensions::audioeffects::VibratoNode;
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

/// The vibrato written out plainly: one oscillator over [0, 1] shared by all channels, each
/// channel's line written first and then read 1 + sweep slots behind the writer.
class VibratoModel {
public:
    explicit VibratoModel(std::uint32_t channels) : lines(channels) {
        oscillator = ReferenceOscillator::sweep(4.0f, 0);
    }

    bool enabled = true;
    float sweepWidth = 0.01f;
    ReferenceOscillator oscillator;

    Channels process(const Channels& input, std::uint32_t sampleRate) {
        return run(input, static_cast<std::uint32_t>(input.size()), input.empty() ? 0 : input.front().size(),
                   sampleRate);
    }
    /// A block of frames without channels.
    void processWithoutChannels(std::size_t frames, std::uint32_t sampleRate) { run({}, 0, frames, sampleRate); }

private:
    Channels run(const Channels& input, std::uint32_t channels, std::size_t frames, std::uint32_t sampleRate) {
        Channels output = input;
        if (!enabled) return output;
        if (sampleRate != lastSampleRate || channels != lastChannels) {
            for (auto& line : lines) line.reset();
            lastSampleRate = sampleRate;
            lastChannels = channels;
        }
        if (frames == 0) return output;
        if (channels == 0) {
            for (std::size_t f = 0; f < frames; ++f) oscillator.step(static_cast<int>(sampleRate));
            return output;
        }
        const auto rate = static_cast<float>(sampleRate);
        const std::size_t active = std::min<std::size_t>(channels, lines.size());
        for (std::size_t f = 0; f < frames; ++f) {
            const float lfo = oscillator.step(static_cast<int>(sampleRate));
            const float sweep = (lfo * sweepWidth) * rate;
            for (std::size_t c = 0; c < active; ++c) {
                ReferenceLine& line = lines[c];
                line.data[static_cast<std::size_t>(line.writePointer)] = input[c][f];
                const float delayed = line.interpolate(line.sweptPosition(sweep, 1.0f));
                line.writePointer = ReferenceLine::wrap(line.writePointer + 1LL);
                output[c][f] = delayed;
            }
        }
        return output;
    }

    std::vector<ReferenceLine> lines;
    std::uint32_t lastSampleRate = 0;
    std::uint32_t lastChannels = 0;
};

/// The input delayed by exactly one frame.
Channels delayedByOne(const Channels& input) {
    Channels output = input;
    for (auto& channel : output) {
        channel.insert(channel.begin(), 0.0f);
        channel.pop_back();
    }
    return output;
}

TEST(VibratoNodeTest, StartsWithDefaultsAndStoresParametersUnchanged) {
    VibratoNode node(2);
    EXPECT_TRUE(node.getIsEnabled());
    EXPECT_EQ(node.getSweepWidth(), 0.01f);
    EXPECT_EQ(node.getFrequency(), 4.0f);
    node.setFrequency(1.0f);
    EXPECT_EQ(node.getFrequency(), 1.0f);
    node.setFrequency(-250.0f);
    EXPECT_EQ(node.getFrequency(), -250.0f);
    node.setSweepWidth(-1.0f);
    EXPECT_EQ(node.getSweepWidth(), -1.0f);
    node.setIsEnabled(false);
    EXPECT_FALSE(node.getIsEnabled());
    EXPECT_TRUE(node.getPropertyNames().empty());
}

TEST(VibratoNodeTest, ImpulseComesOutOnceSpreadOverTwoFrames) {
    VibratoNode node(2);
    const Channels out = processBlock(node, impulse(2, 12000, {0, 1}), 48000);
    for (std::size_t c = 0; c < 2; ++c) {
        SCOPED_TRACE(c);
        EXPECT_EQ(out[c][0], 0.0f);
        EXPECT_EQ(nonZeroFrames(out[c]), (std::vector<std::size_t>{275, 276}));
        // Both slots lie within one frame of the read position; the delay grows by about 0.12
        // samples per frame here, so the weights add up to somewhat more than 1.
        EXPECT_GT(out[c][275], 0.0f);
        EXPECT_LE(out[c][275], 1.0f);
        EXPECT_GT(out[c][276], 0.0f);
        EXPECT_LE(out[c][276], 1.0f);
        EXPECT_GT(out[c][275] + out[c][276], 1.0f);
        EXPECT_LT(out[c][275] + out[c][276], 1.2f);
    }
    EXPECT_EQ(out[0], out[1]);  // one oscillator: every channel has the same delay
    VibratoModel model(2);
    expectSameBits(out, model.process(impulse(2, 12000, {0, 1}), 48000), "model");
}

TEST(VibratoNodeTest, WithoutSweepTheDelayIsExactlyOneSample) {
    VibratoNode node(2);
    node.setSweepWidth(0.0f);
    const Channels input = noise(2, 5000, 81);
    const Channels out = processInBlocks(node, input, 48000, 777);
    EXPECT_EQ(out[0][0], 0.0f);
    expectSameBits(out, delayedByOne(input), "one-sample delay");
}

struct VibratoEvent {
    std::size_t frame;
    std::function<void(VibratoNode&, VibratoModel&, BlockFormat&)> apply;
};

std::vector<VibratoEvent> vibratoScript() {
    auto width = [](float seconds) {
        return [seconds](VibratoNode& n, VibratoModel& m, BlockFormat&) {
            n.setSweepWidth(seconds);
            m.sweepWidth = seconds;
        };
    };
    auto frequency = [](float hertz) {
        return [hertz](VibratoNode& n, VibratoModel& m, BlockFormat&) {
            n.setFrequency(hertz);
            m.oscillator.frequency = hertz;
        };
    };
    auto enable = [](bool on) {
        return [on](VibratoNode& n, VibratoModel& m, BlockFormat&) {
            n.setIsEnabled(on);
            m.enabled = on;
        };
    };
    return {
        {0, frequency(30.0f)},
        {900, width(0.003f)},
        {1400, frequency(200.0f)},
        {1800, enable(false)},
        {2200, enable(true)},
        {2500, width(0.0f)},
        {2800, width(-0.002f)},
        {3100, [](VibratoNode&, VibratoModel&, BlockFormat& f) { f.sampleRate = 44100; }},
        {3500, width(1.5f)},
        {3800, [](VibratoNode&, VibratoModel&, BlockFormat& f) { f.channels = 1; }},
        {4200, frequency(0.0f)},
        {4500,
         [](VibratoNode& n, VibratoModel& m, BlockFormat& f) {
             f.channels = 2;
             f.sampleRate = 96000;
             n.setFrequency(6.0f);
             m.oscillator.frequency = 6.0f;
             n.setSweepWidth(0.01f);
             m.sweepWidth = 0.01f;
         }},
        {5200, [](VibratoNode&, VibratoModel&, BlockFormat& f) { f.sampleRate = 48000; }},
    };
}

TEST(VibratoNodeTest, MatchesPlainModelAcrossBlockSizesAndParameterChanges) {
    const Channels input = noise(2, 6000, 82);
    orvane::nodetesting::expectMatchesModelUnderScript(
        input, vibratoScript(), [] { return std::make_unique<VibratoNode>(2); }, [] { return VibratoModel(2); });
}

TEST(VibratoNodeTest, DefaultsMatchPlainModelOverSeveralCycles) {
    const Channels input = noise(2, 48000, 83);  // four sweep cycles
    VibratoNode node(2);
    VibratoModel model(2);
    expectSameBits(processInBlocks(node, input, 48000, 4096), modelInBlocks(model, input, 48000, 4096), "defaults");
}

TEST(VibratoNodeTest, DisabledPassesInputAndFreezesLinesAndOscillator) {
    const Channels first = noise(2, 3000, 84);
    const Channels middle = noise(2, 2000, 85);
    const Channels last = noise(2, 4000, 86);
    VibratoNode reference(2);
    processBlock(reference, first, 48000);
    const Channels expected = processBlock(reference, last, 48000);

    VibratoNode node(2);
    processBlock(node, first, 48000);
    node.setIsEnabled(false);
    expectSameBits(processBlock(node, middle, 48000), middle, "disabled");
    expectSameBits(processBlock(node, noise(1, 300, 87), 44100), noise(1, 300, 87), "disabled, other format");
    processShape(node, 0, 1000, 48000);  // no oscillator steps while disabled either
    node.setIsEnabled(true);
    expectSameBits(processBlock(node, last, 48000), expected, "re-enabled");
}

TEST(VibratoNodeTest, FormatChangesClearLinesButKeepPhase) {
    const Channels first = noise(2, 5000, 88);
    for (BlockFormat change : {BlockFormat{44100, 2}, BlockFormat{48000, 1}}) {
        SCOPED_TRACE(testing::Message() << change.sampleRate << " Hz, " << change.channels << " channels");
        VibratoNode node(2);
        VibratoModel model(2);
        processBlock(node, first, 48000);
        model.process(first, 48000);
        const Channels quiet = silence(change.channels, 2000);
        const Channels out = processBlock(node, quiet, change.sampleRate);
        for (const auto& channel : out) EXPECT_TRUE(nonZeroFrames(channel).empty());
        model.process(quiet, change.sampleRate);
        const Channels next = noise(change.channels, 4000, 89);
        const Channels actual = processBlock(node, next, change.sampleRate);
        expectSameBits(actual, model.process(next, change.sampleRate), "after the change");
        VibratoNode fresh(2);
        processBlock(fresh, quiet, change.sampleRate);
        EXPECT_NE(actual, processBlock(fresh, next, change.sampleRate));
    }
}

TEST(VibratoNodeTest, FramesWithoutChannelsAdvanceTheOscillator) {
    const Channels later = noise(2, 4000, 90);

    VibratoNode stepped(2);
    const auto empty = processShape(stepped, 0, 3000, 48000);
    EXPECT_EQ(empty.getNumberOfChannels(), 0u);
    EXPECT_EQ(empty.getNumberOfFrames(), 3000u);
    const Channels out = processBlock(stepped, later, 48000);

    // Same oscillator position, reached by 3000 stereo frames and a format change that clears
    // the lines again.
    VibratoNode ran(2);
    processBlock(ran, noise(2, 3000, 91), 48000);
    processShape(ran, 0, 0, 48000);
    expectSameBits(out, processBlock(ran, later, 48000), "oscillator advanced by 3000");

    VibratoNode fresh(2);
    EXPECT_NE(out, processBlock(fresh, later, 48000));

    VibratoModel model(2);
    model.processWithoutChannels(3000, 48000);
    expectSameBits(out, model.process(later, 48000), "model");
}

TEST(VibratoNodeTest, EmptyBlocksOnlyTrackTheFormat) {
    const Channels first = noise(2, 3000, 92);
    const Channels later = noise(2, 3000, 93);
    VibratoNode control(2);
    processBlock(control, first, 48000);
    const Channels continued = processBlock(control, later, 48000);
    {
        SCOPED_TRACE("zero frames, same format");
        VibratoNode node(2);
        processBlock(node, first, 48000);
        EXPECT_EQ(processShape(node, 2, 0, 48000).getNumberOfFrames(), 0u);
        expectSameBits(processBlock(node, later, 48000), continued, "nothing changed");
    }
    {
        SCOPED_TRACE("zero frames at another rate, then back");
        VibratoNode node(2);
        VibratoModel model(2);
        processBlock(node, first, 48000);
        model.process(first, 48000);
        processShape(node, 2, 0, 88200);
        model.process(silence(2, 0), 88200);
        const Channels out = processBlock(node, later, 48000);
        expectSameBits(out, model.process(later, 48000), "cleared twice, phase kept");
        EXPECT_NE(out, continued);
    }
}

TEST(VibratoNodeTest, ChannelsWithoutLinesKeepTheirInput) {
    const Channels stereo = noise(2, 4000, 94);
    {
        SCOPED_TRACE("built for 1, fed 2");
        VibratoNode node(1);
        VibratoModel model(1);
        const Channels out = processInBlocks(node, stereo, 48000, 333);
        expectSameBits(out, modelInBlocks(model, stereo, 48000, 333), "mono node");
        EXPECT_EQ(out[1], stereo[1]);
    }
    {
        SCOPED_TRACE("built for 0, fed 2");
        VibratoNode node(0);
        expectSameBits(processBlock(node, stereo, 48000), stereo, "no lines");
    }
    {
        SCOPED_TRACE("built for 2, fed 8");
        const Channels wide = noise(8, 4000, 95);
        VibratoNode node(2);
        VibratoModel model(2);
        const Channels out = processBlock(node, wide, 48000);
        expectSameBits(out, model.process(wide, 48000), "eight channels");
        for (std::size_t c = 2; c < 8; ++c) EXPECT_EQ(out[c], wide[c]) << c;
    }
}

TEST(VibratoNodeTest, NonFiniteSweepReadsAsNoSweep) {
    const Channels input = noise(2, 6000, 96);
    for (float width : {nan, inf, -inf}) {
        SCOPED_TRACE(width);
        VibratoNode node(2);
        node.setSweepWidth(width);
        expectSameBits(processInBlocks(node, input, 48000, 500), delayedByOne(input), "non-finite width");
    }
    for (float width : {1e30f, -1e30f, FLT_MAX, -FLT_MAX, 1e-30f}) {
        SCOPED_TRACE(width);
        VibratoNode node(2);
        node.setSweepWidth(width);
        VibratoModel model(2);
        model.sweepWidth = width;
        const Channels out = processInBlocks(node, input, 48000, 500);
        EXPECT_TRUE(allFinite(out));
        expectSameBits(out, modelInBlocks(model, input, 48000, 500), "huge width");
    }
}

TEST(VibratoNodeTest, NonFiniteFrequencyHoldsTheSweep) {
    const Channels first = noise(2, 3000, 97);
    const Channels later = noise(2, 6000, 98);
    VibratoNode held(2);
    processBlock(held, first, 48000);
    held.setFrequency(0.0f);
    const Channels expected = processBlock(held, later, 48000);
    for (float hertz : {nan, inf, -inf}) {
        SCOPED_TRACE(hertz);
        VibratoNode node(2);
        processBlock(node, first, 48000);
        node.setFrequency(hertz);
        expectSameBits(processBlock(node, later, 48000), expected, "frozen sweep");
    }
    for (float hertz : {1e30f, -1e30f, FLT_MAX, -FLT_MAX, 48000.0f * 3.5f, -7.0f}) {
        SCOPED_TRACE(hertz);
        VibratoNode node(2);
        node.setFrequency(hertz);
        const Channels out = processInBlocks(node, later, 48000, 700);
        ASSERT_TRUE(allFinite(out));
        for (std::size_t c = 0; c < 2; ++c)
            for (std::size_t f = 0; f < out[c].size(); ++f) ASSERT_LE(std::fabs(out[c][f]), 1.0f);
    }
}

TEST(VibratoNodeTest, ZeroSampleRateAfterAnotherKeepsOutputFinite) {
    const Channels input = noise(2, 3000, 99);
    VibratoNode node(2);
    VibratoModel model(2);
    processBlock(node, input, 48000);
    model.process(input, 48000);
    const Channels out = processBlock(node, input, 0);
    EXPECT_TRUE(allFinite(out));
    expectSameBits(out, model.process(input, 0), "0 Hz");
    expectSameBits(out, delayedByOne(input), "no sweep at 0 Hz");
    processShape(node, 0, 100, 0);
    model.processWithoutChannels(100, 0);
    expectSameBits(processBlock(node, input, 48000), model.process(input, 48000), "back at 48 kHz");
}

TEST(VibratoNodeTest, InPlaceMatchesSeparateBuffers) {
    const Channels input = noise(2, 20000, 100);
    VibratoNode separate(2);
    VibratoNode inPlace(2);
    expectSameBits(orvane::nodetesting::processInPlace(inPlace, input, 48000), processBlock(separate, input, 48000),
                   "in place");
}

TEST(VibratoNodeTest, BusFormatAgreement) {
    for (unsigned int built : {0u, 1u, 2u, 4u}) {
        SCOPED_TRACE(built);
        VibratoNode node(built);
        for (std::uint32_t channels : {0u, 1u, 2u}) {
            AudioBusFormat in = format(96000, channels, 128), out = format(96000, channels, 128);
            EXPECT_TRUE(node.setBusFormat(in, out)) << channels;
            AudioBusFormat otherIn = format(96000, channels, 128), otherOut = format(96000, channels, 64);
            EXPECT_FALSE(node.setBusFormat(otherIn, otherOut)) << channels;
        }
        AudioBusFormat in3 = format(96000, 3, 128), out3 = format(96000, 3, 128);
        EXPECT_FALSE(node.setBusFormat(in3, out3));
    }
    VibratoNode node(2);
    AudioBusFormat partialIn = format(0, 0, 0), partialOut = format(44100, 1, 512);
    EXPECT_TRUE(node.setBusFormat(partialIn, partialOut));
    EXPECT_EQ(partialIn, format(44100, 1, 512));
    AudioBusFormat wideIn = format(44100, 4, 512), wideOut = format(0, 0, 0);
    EXPECT_FALSE(node.setBusFormat(wideIn, wideOut));
    EXPECT_EQ(wideOut, format(44100, 4, 512));
}

TEST(VibratoNodeTest, SubnormalsAreFlushedWithinProcessOnly) {
    // Inside process() subnormal operands and results count as zero, since echoes dying away
    // would otherwise cost many times more; apart from that the arithmetic is the model's, and
    // the caller's floating-point mode comes back unchanged.
    const Channels tiny = orvane::nodetesting::scaled(noise(2, 6000, 101), 1e-38f);
    ASSERT_TRUE(orvane::nodetesting::hasSubnormal(tiny));
    VibratoNode node(2);
    VibratoModel model(2);
    const unsigned int modeBefore = orvane::nodetesting::floatingPointMode();
    const Channels out = processInBlocks(node, tiny, 48000, 512);
    EXPECT_EQ(orvane::nodetesting::floatingPointMode(), modeBefore);
    EXPECT_FALSE(orvane::nodetesting::hasSubnormal(out));
    expectSameBits(out, orvane::nodetesting::flushingSubnormals([&] { return modelInBlocks(model, tiny, 48000, 512); }),
                   "tiny signal");
}

TEST(VibratoNodeTest, ParametersMayChangeWhileProcessing) {
    VibratoNode node(2);
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
