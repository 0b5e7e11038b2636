#include "nodes/ChorusNode.h"

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
using orvane::extensions::audioeffects::ChorusNode;
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

/// The chorus written out plainly: per channel a 48000-slot line and an oscillator over [0, 1],
/// read 1002 + sweep slots behind the writer with linear interpolation, mixed in at 0.8.
class ChorusModel {
public:
    explicit ChorusModel(std::uint32_t channels) : lines(channels) {
        for (std::uint32_t c = 0; c < channels; ++c) oscillators.push_back(ReferenceOscillator::sweep(0.2f, c));
    }

    bool enabled = true;
    float sweepWidth = 0.025f;
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
                const float delayed = line.interpolate(line.sweptPosition(sweep, 1002.0f));
                line.data[static_cast<std::size_t>(line.writePointer)] = x;
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

/// Runs input through the model in blocks of blockSize frames.
TEST(ChorusNodeTest, StartsWithDefaultsAndStoresParametersUnchanged) {
    ChorusNode node(2);
    EXPECT_TRUE(node.getIsEnabled());
    EXPECT_EQ(node.getSweepWidth(), 0.025f);
    EXPECT_EQ(node.getFrequency(), 0.2f);
    node.setSweepWidth(-3.5f);
    EXPECT_EQ(node.getSweepWidth(), -3.5f);
    node.setIsEnabled(false);
    EXPECT_FALSE(node.getIsEnabled());
    EXPECT_TRUE(node.getPropertyNames().empty());

    ChorusNode none(0);
    EXPECT_EQ(none.getFrequency(), 0.2f);
    none.setFrequency(1.0f);  // no oscillator to reach; must not touch anything
    EXPECT_TRUE(std::isfinite(none.getFrequency()));
}

TEST(ChorusNodeTest, WithoutSweepAnImpulseReturnsOnceAfter1002Frames) {
    ChorusNode node(2);
    node.setSweepWidth(0.0f);
    const Channels out = processBlock(node, impulse(2, 6000, {0, 1}), 48000);
    for (std::size_t c = 0; c < 2; ++c) {
        SCOPED_TRACE(c);
        EXPECT_EQ(nonZeroFrames(out[c]), (std::vector<std::size_t>{0, 1002}));
        EXPECT_EQ(out[c][0], 0.0f * 0.8f + 1.0f);
        EXPECT_EQ(out[c][1002], 1.0f * 0.8f + 0.0f);
    }
}

TEST(ChorusNodeTest, FirstFramesPassUnchangedAndFirstReadsLie1602And2202Back) {
    {
        SCOPED_TRACE("first 1002 frames");
        ChorusNode node(2);
        const Channels input = noise(2, 1002, 21);
        expectSameBits(processBlock(node, input, 48000), input, "nothing delayed yet");
    }
    // The first step of each oscillator sets the read distance: 1002 + 0.5 * 0.025 * 48000 = 1602
    // on channel 0 and 1002 + 1.0 * 0.025 * 48000 = 2202 on channel 1 (a quarter cycle ahead).
    // At frequency 0 every step repeats the first one, so impulses placed that far back land
    // exactly; the default frequency then applies from the step after.
    ChorusNode node(2);
    node.setFrequency(0.0f);
    Channels first = silence(2, 2202);
    first[0][600] = 1.0f;
    first[1][0] = 1.0f;
    const Channels held = processBlock(node, first, 48000);
    EXPECT_EQ(nonZeroFrames(held[0]), (std::vector<std::size_t>{600}));
    EXPECT_EQ(nonZeroFrames(held[1]), (std::vector<std::size_t>{0}));
    node.setFrequency(0.2f);
    const Channels out = processBlock(node, silence(2, 2), 48000);
    EXPECT_EQ(out[0][0], 1.0f * 0.8f + 0.0f);
    EXPECT_EQ(out[1][0], 1.0f * 0.8f + 0.0f);

    ChorusModel model(2);
    model.setFrequency(0.0f);
    model.process(first, 48000);
    model.setFrequency(0.2f);
    expectSameBits(out, model.process(silence(2, 2), 48000), "model");
}

struct ChorusEvent {
    std::size_t frame;
    std::function<void(ChorusNode&, ChorusModel&, BlockFormat&)> apply;
};

std::vector<ChorusEvent> chorusScript() {
    auto width = [](float seconds) {
        return [seconds](ChorusNode& n, ChorusModel& m, BlockFormat&) {
            n.setSweepWidth(seconds);
            m.sweepWidth = seconds;
        };
    };
    auto frequency = [](float hertz) {
        return [hertz](ChorusNode& n, ChorusModel& m, BlockFormat&) {
            n.setFrequency(hertz);
            m.setFrequency(hertz);
        };
    };
    auto enable = [](bool on) {
        return [on](ChorusNode& n, ChorusModel& m, BlockFormat&) {
            n.setIsEnabled(on);
            m.enabled = on;
        };
    };
    return {
        {0, frequency(7.0f)},
        {1200, width(0.01f)},
        {1700, frequency(55.0f)},
        {2100, enable(false)},
        {2500, enable(true)},
        {2700, width(0.0f)},
        {3000, width(-0.03f)},  // reads ahead of the writer, into the oldest part of the ring
        {3300, [](ChorusNode&, ChorusModel&, BlockFormat& f) { f.sampleRate = 44100; }},
        {3600, width(1.2f)},  // beyond the line: wraps around the ring
        {3900, [](ChorusNode&, ChorusModel&, BlockFormat& f) { f.channels = 1; }},
        {4300, frequency(0.0f)},
        {4500,
         [](ChorusNode& n, ChorusModel& m, BlockFormat& f) {
             f.channels = 2;
             f.sampleRate = 96000;
             n.setFrequency(3.0f);
             m.setFrequency(3.0f);
             n.setSweepWidth(0.004f);
             m.sweepWidth = 0.004f;
         }},
        {5200, [](ChorusNode&, ChorusModel&, BlockFormat& f) { f.sampleRate = 48000; }},
    };
}

TEST(ChorusNodeTest, MatchesPlainModelAcrossBlockSizesAndParameterChanges) {
    const Channels input = noise(2, 6000, 22);
    orvane::nodetesting::expectMatchesModelUnderScript(
        input, chorusScript(), [] { return std::make_unique<ChorusNode>(2); }, [] { return ChorusModel(2); });
}

TEST(ChorusNodeTest, DefaultsMatchPlainModelOverSeveralSeconds) {
    // Long enough for the sweep to go through its whole range on both channels.
    const Channels input = noise(2, 48000 * 6, 23);
    ChorusNode node(2);
    ChorusModel model(2);
    expectSameBits(processInBlocks(node, input, 48000, 4096), modelInBlocks(model, input, 48000, 4096), "defaults");
}

TEST(ChorusNodeTest, DisabledPassesInputAndFreezesLinesAndOscillators) {
    const Channels first = noise(2, 3000, 24);
    const Channels middle = noise(2, 2000, 25);
    const Channels last = noise(2, 4000, 26);
    ChorusNode reference(2);
    processBlock(reference, first, 48000);
    const Channels expected = processBlock(reference, last, 48000);

    ChorusNode node(2);
    processBlock(node, first, 48000);
    node.setIsEnabled(false);
    expectSameBits(processBlock(node, middle, 48000), middle, "disabled");
    expectSameBits(processBlock(node, noise(1, 300, 27), 22050), noise(1, 300, 27), "disabled, other format");
    node.setIsEnabled(true);
    expectSameBits(processBlock(node, last, 48000), expected, "re-enabled");
}

TEST(ChorusNodeTest, FormatChangesClearLinesButKeepPhases) {
    const Channels first = noise(2, 5000, 28);
    for (BlockFormat change : {BlockFormat{44100, 2}, BlockFormat{48000, 1}}) {
        SCOPED_TRACE(testing::Message() << change.sampleRate << " Hz, " << change.channels << " channels");
        ChorusNode node(2);
        ChorusModel model(2);
        processBlock(node, first, 48000);
        model.process(first, 48000);
        // The tail stops: silence in gives silence out although the lines were full.
        const Channels quiet = silence(change.channels, 3000);
        const Channels out = processBlock(node, quiet, change.sampleRate);
        for (const auto& channel : out) EXPECT_TRUE(nonZeroFrames(channel).empty());
        model.process(quiet, change.sampleRate);
        // The oscillators ran on: the model, whose phases were never reset, keeps agreeing,
        // while a fresh node (phases at 0) does not.
        const Channels next = noise(change.channels, 4000, 29);
        const Channels actual = processBlock(node, next, change.sampleRate);
        expectSameBits(actual, model.process(next, change.sampleRate), "after the change");
        ChorusNode fresh(2);
        processBlock(fresh, quiet, change.sampleRate);
        EXPECT_NE(actual, processBlock(fresh, next, change.sampleRate));
    }
}

TEST(ChorusNodeTest, EmptyBlocksOnlyTrackTheFormat) {
    const Channels first = noise(2, 3000, 30);
    const Channels later = noise(2, 3000, 31);
    ChorusNode control(2);
    processBlock(control, first, 48000);
    const Channels continued = processBlock(control, later, 48000);

    {
        SCOPED_TRACE("zero frames, same format");
        ChorusNode node(2);
        processBlock(node, first, 48000);
        const auto empty = processShape(node, 2, 0, 48000);
        EXPECT_EQ(empty.getNumberOfFrames(), 0u);
        expectSameBits(processBlock(node, later, 48000), continued, "nothing changed");
    }
    {
        SCOPED_TRACE("zero frames at another rate, then back");
        ChorusNode node(2);
        ChorusModel model(2);
        processBlock(node, first, 48000);
        model.process(first, 48000);
        processShape(node, 2, 0, 44100);
        model.process(silence(2, 0), 44100);
        const Channels out = processBlock(node, later, 48000);
        expectSameBits(out, model.process(later, 48000), "cleared twice, phases kept");
        EXPECT_NE(out, continued);
    }
    {
        SCOPED_TRACE("frames without channels");
        ChorusNode node(2);
        ChorusModel model(2);
        processBlock(node, first, 48000);
        model.process(first, 48000);
        const auto empty = processShape(node, 0, 500, 48000);
        EXPECT_EQ(empty.getNumberOfChannels(), 0u);
        EXPECT_EQ(empty.getNumberOfFrames(), 500u);
        model.process(Channels{}, 48000);  // records 0 channels; no oscillator steps
        expectSameBits(processBlock(node, later, 48000), model.process(later, 48000), "after channel-less block");
    }
}

TEST(ChorusNodeTest, SetFrequencyReachesEveryOscillator) {
    ChorusNode node(2);
    node.setFrequency(1.0f);
    EXPECT_EQ(node.getFrequency(), 1.0f);
    ChorusModel model(2);
    model.setFrequency(1.0f);
    const Channels input = noise(2, 48000 * 2, 32);
    const Channels out = processInBlocks(node, input, 48000, 1000);
    expectSameBits(out, modelInBlocks(model, input, 48000, 1000), "both at 1 Hz");

    // Only oscillator 0 at 1 Hz would differ on channel 1.
    ChorusModel partial(2);
    partial.oscillators[0].frequency = 1.0f;
    EXPECT_NE(out[1], modelInBlocks(partial, input, 48000, 1000)[1]);
}

TEST(ChorusNodeTest, MonoBusAdvancesOnlyTheFirstOscillatorAndLine) {
    const Channels mono = noise(1, 7000, 33);
    const Channels stereo = noise(2, 5000, 34);
    ChorusNode node(2);
    processBlock(node, mono, 48000);
    const Channels out = processBlock(node, stereo, 48000);

    // Channel 1 starts as on a fresh node: oscillator 1 never stepped.
    ChorusNode fresh(2);
    const Channels freshOut = processBlock(fresh, stereo, 48000);
    EXPECT_EQ(out[1], freshOut[1]);
    EXPECT_NE(out[0], freshOut[0]);

    ChorusModel model(2);
    model.process(mono, 48000);
    expectSameBits(out, model.process(stereo, 48000), "model");
}

TEST(ChorusNodeTest, ChannelsWithoutStateKeepTheirInput) {
    const Channels stereo = noise(2, 4000, 35);
    {
        SCOPED_TRACE("built for 1, fed 2");
        ChorusNode node(1);
        ChorusModel model(1);
        const Channels out = processInBlocks(node, stereo, 48000, 333);
        expectSameBits(out, modelInBlocks(model, stereo, 48000, 333), "mono node");
        EXPECT_EQ(out[1], stereo[1]);
    }
    {
        SCOPED_TRACE("built for 0, fed 2");
        ChorusNode node(0);
        expectSameBits(processBlock(node, stereo, 48000), stereo, "no state");
        EXPECT_EQ(node.getFrequency(), 0.2f);
    }
    {
        SCOPED_TRACE("built for 2, fed 8");
        const Channels wide = noise(8, 4000, 36);
        ChorusNode node(2);
        ChorusModel model(2);
        const Channels out = processBlock(node, wide, 48000);
        expectSameBits(out, model.process(wide, 48000), "eight channels");
        for (std::size_t c = 2; c < 8; ++c) EXPECT_EQ(out[c], wide[c]) << c;
    }
}

TEST(ChorusNodeTest, NonFiniteSweepReadsAsNoSweep) {
    const Channels input = noise(2, 6000, 37);
    ChorusNode unswept(2);
    unswept.setSweepWidth(0.0f);
    const Channels expected = processInBlocks(unswept, input, 48000, 500);
    for (float width : {nan, inf, -inf}) {
        SCOPED_TRACE(width);
        ChorusNode node(2);
        node.setSweepWidth(width);
        expectSameBits(processInBlocks(node, input, 48000, 500), expected, "non-finite width");
    }
    // Huge finite widths stay inside the ring (or overflow to no sweep), exactly as modelled.
    for (float width : {1e30f, -1e30f, FLT_MAX, -FLT_MAX, 1e-30f}) {
        SCOPED_TRACE(width);
        ChorusNode node(2);
        node.setSweepWidth(width);
        ChorusModel model(2);
        model.sweepWidth = width;
        const Channels out = processInBlocks(node, input, 48000, 500);
        EXPECT_TRUE(allFinite(out));
        expectSameBits(out, modelInBlocks(model, input, 48000, 500), "huge width");
    }
}

TEST(ChorusNodeTest, NonFiniteFrequencyHoldsTheSweep) {
    const Channels first = noise(2, 3000, 38);
    const Channels later = noise(2, 6000, 39);
    ChorusNode held(2);
    processBlock(held, first, 48000);
    held.setFrequency(0.0f);
    const Channels expected = processBlock(held, later, 48000);
    for (float hertz : {nan, inf, -inf}) {
        SCOPED_TRACE(hertz);
        ChorusNode node(2);
        processBlock(node, first, 48000);
        node.setFrequency(hertz);
        expectSameBits(processBlock(node, later, 48000), expected, "frozen sweep");
    }
    for (float hertz : {1e30f, -1e30f, FLT_MAX, -FLT_MAX, 48000.0f * 3.5f, -7.0f}) {
        SCOPED_TRACE(hertz);
        ChorusNode node(2);
        node.setFrequency(hertz);
        const Channels out = processInBlocks(node, later, 48000, 700);
        ASSERT_TRUE(allFinite(out));
        for (std::size_t c = 0; c < 2; ++c)
            for (std::size_t f = 0; f < out[c].size(); ++f) ASSERT_LE(std::fabs(out[c][f]), 1.8f);
    }
}

TEST(ChorusNodeTest, ZeroSampleRateAfterAnotherKeepsOutputFinite) {
    const Channels input = noise(2, 3000, 40);
    ChorusNode node(2);
    ChorusModel model(2);
    processBlock(node, input, 48000);
    model.process(input, 48000);
    const Channels out = processBlock(node, input, 0);
    EXPECT_TRUE(allFinite(out));
    expectSameBits(out, model.process(input, 0), "0 Hz");
    expectSameBits(processBlock(node, input, 48000), model.process(input, 48000), "back at 48 kHz");
}

TEST(ChorusNodeTest, InPlaceMatchesSeparateBuffers) {
    const Channels input = noise(2, 20000, 41);
    ChorusNode separate(2);
    ChorusNode inPlace(2);
    expectSameBits(orvane::nodetesting::processInPlace(inPlace, input, 48000), processBlock(separate, input, 48000),
                   "in place");
}

TEST(ChorusNodeTest, BusFormatAgreement) {
    for (unsigned int built : {0u, 1u, 2u, 4u}) {
        SCOPED_TRACE(built);
        ChorusNode node(built);
        for (std::uint32_t channels : {0u, 1u, 2u}) {
            AudioBusFormat in = format(48000, channels, 256), out = format(48000, channels, 256);
            EXPECT_TRUE(node.setBusFormat(in, out)) << channels;
            AudioBusFormat otherIn = format(48000, channels, 256), otherOut = format(48000, channels, 128);
            EXPECT_FALSE(node.setBusFormat(otherIn, otherOut)) << channels;
        }
        AudioBusFormat in3 = format(48000, 3, 256), out3 = format(48000, 3, 256);
        EXPECT_FALSE(node.setBusFormat(in3, out3));
    }
    ChorusNode node(2);
    AudioBusFormat partialIn = format(0, 1, 0), partialOut = format(22050, 0, 32);
    EXPECT_TRUE(node.setBusFormat(partialIn, partialOut));
    EXPECT_EQ(partialIn, format(22050, 1, 32));
    EXPECT_EQ(partialOut, format(22050, 1, 32));
    AudioBusFormat wideIn = format(0, 0, 0), wideOut = format(48000, 5, 0);
    EXPECT_FALSE(node.setBusFormat(wideIn, wideOut));
    EXPECT_EQ(wideIn, format(48000, 5, 0));
}

TEST(ChorusNodeTest, SubnormalsAreFlushedWithinProcessOnly) {
    // Inside process() subnormal operands and results count as zero, since echoes dying away
    // would otherwise cost many times more; apart from that the arithmetic is the model's, and
    // the caller's floating-point mode comes back unchanged.
    const Channels tiny = orvane::nodetesting::scaled(noise(2, 6000, 42), 1e-38f);
    ASSERT_TRUE(orvane::nodetesting::hasSubnormal(tiny));
    ChorusNode node(2);
    ChorusModel model(2);
    const unsigned int modeBefore = orvane::nodetesting::floatingPointMode();
    const Channels out = processInBlocks(node, tiny, 48000, 512);
    EXPECT_EQ(orvane::nodetesting::floatingPointMode(), modeBefore);
    EXPECT_FALSE(orvane::nodetesting::hasSubnormal(out));
    expectSameBits(out, orvane::nodetesting::flushingSubnormals([&] { return modelInBlocks(model, tiny, 48000, 512); }),
                   "tiny signal");
}

TEST(ChorusNodeTest, ParametersMayChangeWhileProcessing) {
    ChorusNode node(2);
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
