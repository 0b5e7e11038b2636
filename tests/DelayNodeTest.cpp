#include "nodes/DelayNode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "host/AudioBusFormat.h"
#include "support/Blocks.h"
#include "support/NodeTesting.h"

namespace {

using orvane::AudioBusFormat;
using orvane::extensions::audioeffects::DelayNode;
using orvane::nodetesting::BlockFormat;
using orvane::nodetesting::expectMatchesModel;
using orvane::nodetesting::expectSameBits;
using orvane::nodetesting::format;
using orvane::nodetesting::noise;
using orvane::nodetesting::nonZeroFrames;
using orvane::nodetesting::ReferenceLine;
using orvane::nodetesting::silence;
using orvane::testing::Channels;
using orvane::testing::impulse;
using orvane::testing::processBlock;
using orvane::testing::processInBlocks;

/// The feedback delay written out plainly: one 48000-slot line per channel, the read pointer
/// placed D slots behind the writer whenever the format or the delay time changes.
class DelayModel {
public:
    explicit DelayModel(std::uint32_t channels) : lines(channels) {}

    bool enabled = true;
    float dryMix = 0.7f;
    float wetMix = 0.3f;
    unsigned int delayMs = 200;
    float feedbackLevel = 0.2f;

    Channels process(const Channels& input, std::uint32_t sampleRate) {
        Channels output = input;
        if (!enabled || delayMs == 0) return output;
        const auto channels = static_cast<std::uint32_t>(input.size());
        bool cleared = false;
        if (sampleRate != lastSampleRate || channels != lastChannels) {
            for (auto& line : lines) line.reset();
            lastSampleRate = sampleRate;
            lastChannels = channels;
            cleared = true;
        }
        if (cleared || delayMs != lastDelayMs) {
            const double exact = static_cast<double>(delayMs) * (static_cast<double>(sampleRate) / 1000.0);
            const int delaySamples = exact >= 48000.0 ? 48000 : static_cast<int>(exact);
            for (auto& line : lines) line.readPointer = ReferenceLine::wrap(line.writePointer - delaySamples);
            lastDelayMs = delayMs;
        }
        const std::size_t frames = input.empty() ? 0 : input.front().size();
        const std::size_t active = std::min<std::size_t>(channels, lines.size());
        for (std::size_t f = 0; f < frames; ++f)
            for (std::size_t c = 0; c < active; ++c) {
                ReferenceLine& line = lines[c];
                const float x = input[c][f];
                const float delayed = line.data[static_cast<std::size_t>(line.readPointer)];
                line.data[static_cast<std::size_t>(line.writePointer)] = feedbackLevel * delayed + x;
                line.writePointer = ReferenceLine::wrap(line.writePointer + 1LL);
                line.readPointer = ReferenceLine::wrap(line.readPointer + 1LL);
                output[c][f] = delayed * wetMix + x * dryMix;
            }
        return output;
    }

private:
    std::vector<ReferenceLine> lines;
    std::uint32_t lastSampleRate = 0;
    std::uint32_t lastChannels = 0;
    unsigned int lastDelayMs = 0;
};

TEST(DelayNodeTest, StartsWithDefaultsAndStoresParametersUnchanged) {
    DelayNode node(2);
    EXPECT_TRUE(node.getIsEnabled());
    EXPECT_EQ(node.getDryMix(), 0.7f);
    EXPECT_EQ(node.getWetMix(), 0.3f);
    EXPECT_EQ(node.getDelayMs(), 200u);
    EXPECT_EQ(node.getFeedbackLevel(), 0.2f);

    node.setIsEnabled(false);
    node.setDryMix(-1.0f);
    node.setWetMix(2.5f);
    node.setDelayMs(UINT_MAX);
    node.setFeedbackLevel(1.5f);
    EXPECT_FALSE(node.getIsEnabled());
    EXPECT_EQ(node.getDryMix(), -1.0f);
    EXPECT_EQ(node.getWetMix(), 2.5f);
    EXPECT_EQ(node.getDelayMs(), UINT_MAX);
    EXPECT_EQ(node.getFeedbackLevel(), 1.5f);
    EXPECT_TRUE(node.getPropertyNames().empty());
}

TEST(DelayNodeTest, ImpulseResponseAtDefaultsIsExact) {
    DelayNode node(2);
    const Channels out = processBlock(node, impulse(2, 38400, {0, 1}), 48000);

    // What the line holds and returns, in the node's float operations.
    const float dry = 0.7f, wet = 0.3f, feedback = 0.2f;
    const float first = 0.0f * wet + 1.0f * dry;
    float line = feedback * 0.0f + 1.0f;
    const float echo1 = line * wet + 0.0f * dry;
    line = feedback * line + 0.0f;
    const float echo2 = line * wet + 0.0f * dry;
    line = feedback * line + 0.0f;
    const float echo3 = line * wet + 0.0f * dry;

    for (std::size_t c = 0; c < 2; ++c) {
        SCOPED_TRACE(c);
        EXPECT_EQ(nonZeroFrames(out[c]), (std::vector<std::size_t>{0, 9600, 19200, 28800}));
        EXPECT_EQ(out[c][0], first);
        EXPECT_EQ(out[c][9600], echo1);
        EXPECT_EQ(out[c][19200], echo2);
        EXPECT_EQ(out[c][28800], echo3);
        EXPECT_FLOAT_EQ(out[c][0], 0.7f);
        EXPECT_FLOAT_EQ(out[c][9600], 0.3f);
        EXPECT_FLOAT_EQ(out[c][19200], 0.06f);
        EXPECT_FLOAT_EQ(out[c][28800], 0.012f);
    }
}

TEST(DelayNodeTest, BlockSizeAndInPlaceProcessingDoNotChangeTheResult) {
    const Channels input = noise(2, 30000, 1);
    DelayNode whole(2);
    const Channels expected = processBlock(whole, input, 48000);
    for (std::uint32_t blockSize : {1u, 17u, 512u, 9600u}) {
        DelayNode node(2);
        expectSameBits(processInBlocks(node, input, 48000, blockSize), expected, "blocks");
    }
    for (std::uint32_t blockSize : {1u, 17u, 512u}) {
        DelayNode node(2);
        DelayModel model(2);
        expectMatchesModel(
            node, model, input, blockSize, [](std::size_t) { return BlockFormat{}; }, true);
    }
}

// Parameter changes at given frames, applied to node and model alike.
struct DelayEvent {
    std::size_t frame;
    std::function<void(DelayNode&, DelayModel&, BlockFormat&)> apply;
};

std::vector<DelayEvent> delayScript() {
    auto setDelay = [](unsigned int ms) {
        return [ms](DelayNode& n, DelayModel& m, BlockFormat&) {
            n.setDelayMs(ms);
            m.delayMs = ms;
        };
    };
    return {
        {0, setDelay(5)},
        {700, setDelay(13)},
        {1100,
         [](DelayNode& n, DelayModel& m, BlockFormat&) {
             n.setFeedbackLevel(0.9f);
             m.feedbackLevel = 0.9f;
             n.setWetMix(0.55f);
             m.wetMix = 0.55f;
         }},
        {1500,
         [](DelayNode& n, DelayModel& m, BlockFormat&) {
             n.setIsEnabled(false);
             m.enabled = false;
         }},
        {1900,
         [](DelayNode& n, DelayModel& m, BlockFormat&) {
             n.setIsEnabled(true);
             m.enabled = true;
         }},
        {2300, setDelay(1)},
        {2600, [](DelayNode&, DelayModel&, BlockFormat& f) { f.sampleRate = 44100; }},
        {3100, setDelay(0)},
        {3300, setDelay(7)},
        {3800, [](DelayNode&, DelayModel&, BlockFormat& f) { f.channels = 1; }},
        {4400,
         [](DelayNode& n, DelayModel& m, BlockFormat& f) {
             f.channels = 2;
             f.sampleRate = 96000;
             n.setDryMix(-0.25f);
             m.dryMix = -0.25f;
         }},
        {5000, setDelay(2000)},
        {5300, setDelay(3)},
        {5900, [](DelayNode&, DelayModel&, BlockFormat& f) { f.sampleRate = 48000; }},
    };
}

TEST(DelayNodeTest, MatchesPlainModelAcrossBlockSizesAndParameterChanges) {
    const Channels input = noise(2, 7000, 2);
    orvane::nodetesting::expectMatchesModelUnderScript(
        input, delayScript(), [] { return std::make_unique<DelayNode>(2); }, [] { return DelayModel(2); });
}

TEST(DelayNodeTest, DisabledOrZeroDelayPassesInputAndFreezesState) {
    const Channels first = impulse(2, 1000, {0, 1});
    const Channels middle = noise(2, 3000, 3);
    const Channels last = silence(2, 10000);

    DelayNode reference(2);
    processBlock(reference, first, 48000);
    const Channels expected = processBlock(reference, last, 48000);
    ASSERT_EQ(expected[0][8600], 0.3f);  // the impulse's echo, 9600 frames after it

    for (int variant = 0; variant < 2; ++variant) {
        SCOPED_TRACE(variant == 0 ? "disabled" : "delay 0 ms");
        DelayNode node(2);
        processBlock(node, first, 48000);
        if (variant == 0)
            node.setIsEnabled(false);
        else
            node.setDelayMs(0);
        // Neither the content nor another rate or channel count may reach the lines meanwhile.
        expectSameBits(processBlock(node, middle, 48000), middle, "bypassed block");
        expectSameBits(processBlock(node, noise(1, 500, 4), 44100), noise(1, 500, 4), "bypassed mono block");
        if (variant == 0)
            node.setIsEnabled(true);
        else
            node.setDelayMs(200);
        expectSameBits(processBlock(node, last, 48000), expected, "after bypass");
    }
}

TEST(DelayNodeTest, DelayChangeMovesReadPointersAndKeepsLineContent) {
    DelayNode node(2);
    processBlock(node, impulse(2, 1000, {0, 1}), 48000);  // 1.0 now sits in slot 0 of both lines
    node.setDelayMs(100);
    const Channels out = processBlock(node, impulse(2, 9000, {0, 1}), 48000);
    for (std::size_t c = 0; c < 2; ++c) {
        SCOPED_TRACE(c);
        // The old impulse is still in the line: the read pointer, now 4800 behind the writer,
        // reaches slot 0 after 3800 frames. The new impulse returns after 4800 frames; the old
        // one's feedback (0.2) follows 4800 frames after its echo.
        EXPECT_EQ(nonZeroFrames(out[c]), (std::vector<std::size_t>{0, 3800, 4800, 8600}));
        EXPECT_EQ(out[c][3800], 1.0f * 0.3f + 0.0f * 0.7f);
        EXPECT_EQ(out[c][4800], 1.0f * 0.3f + 0.0f * 0.7f);
        EXPECT_EQ(out[c][8600], (0.2f * 1.0f + 0.0f) * 0.3f + 0.0f * 0.7f);
    }
}

TEST(DelayNodeTest, SampleRateChangeClearsLinesAndRecomputesDelay) {
    DelayNode node(2);
    processBlock(node, impulse(2, 1000, {0, 1}), 48000);
    const Channels out = processBlock(node, impulse(2, 18000, {0, 1}), 44100);
    for (std::size_t c = 0; c < 2; ++c) {
        SCOPED_TRACE(c);
        // No echo of the 48 kHz impulse at 8600; 200 ms are 8820 frames at 44.1 kHz.
        EXPECT_EQ(nonZeroFrames(out[c]), (std::vector<std::size_t>{0, 8820, 17640}));
        EXPECT_EQ(out[c][8820], 0.3f);
    }
}

TEST(DelayNodeTest, ChannelCountChangeClearsLinesAndKeepsDelay) {
    DelayNode node(2);
    processBlock(node, impulse(2, 1000, {0, 1}), 48000);
    const Channels out = processBlock(node, impulse(1, 12000, {0}), 48000);
    EXPECT_EQ(nonZeroFrames(out[0]), (std::vector<std::size_t>{0, 9600}));
    EXPECT_EQ(out[0][9600], 0.3f);

    // And back to stereo: line 1, untouched by the mono block, is cleared as well.
    DelayNode other(2);
    processBlock(other, impulse(2, 1000, {0, 1}), 48000);
    processBlock(other, silence(1, 10), 48000);
    const Channels back = processBlock(other, silence(2, 12000), 48000);
    EXPECT_TRUE(nonZeroFrames(back[0]).empty());
    EXPECT_TRUE(nonZeroFrames(back[1]).empty());
}

TEST(DelayNodeTest, EmptyBlocksStillTrackTheFormat) {
    // Control: without the empty block the echo arrives 8600 frames into the second block.
    DelayNode control(2);
    processBlock(control, impulse(2, 1000, {0, 1}), 48000);
    ASSERT_EQ(processBlock(control, silence(2, 9000), 48000)[0][8600], 0.3f);

    {
        SCOPED_TRACE("zero frames at another rate");
        DelayNode node(2);
        processBlock(node, impulse(2, 1000, {0, 1}), 48000);
        const auto empty = orvane::nodetesting::processShape(node, 2, 0, 44100);
        EXPECT_EQ(empty.getNumberOfChannels(), 2u);
        EXPECT_EQ(empty.getNumberOfFrames(), 0u);
        EXPECT_EQ(empty.getSampleRate(), 44100u);
        // Back at 48 kHz is another change: the lines are cleared again, the echo is gone.
        const Channels out = processBlock(node, silence(2, 9000), 48000);
        EXPECT_TRUE(nonZeroFrames(out[0]).empty());
        EXPECT_TRUE(nonZeroFrames(out[1]).empty());
    }
    {
        SCOPED_TRACE("frames without channels");
        DelayNode node(2);
        processBlock(node, impulse(2, 1000, {0, 1}), 48000);
        const auto empty = orvane::nodetesting::processShape(node, 0, 100, 48000);
        EXPECT_EQ(empty.getNumberOfChannels(), 0u);
        EXPECT_EQ(empty.getNumberOfFrames(), 100u);
        const Channels out = processBlock(node, silence(2, 9000), 48000);
        EXPECT_TRUE(nonZeroFrames(out[0]).empty());
        EXPECT_TRUE(nonZeroFrames(out[1]).empty());
    }
    {
        SCOPED_TRACE("zero frames with a new delay time");
        DelayNode node(1);
        processBlock(node, impulse(1, 1000, {0}), 48000);
        node.setDelayMs(100);
        orvane::nodetesting::processShape(node, 1, 0, 48000);
        // The read pointer moved in the empty block: slot 0 is reached 3800 frames on.
        const Channels out = processBlock(node, silence(1, 5000), 48000);
        EXPECT_EQ(nonZeroFrames(out[0]), (std::vector<std::size_t>{3800}));
    }
}

TEST(DelayNodeTest, DelaySampleCountIsTruncatedAndLimitedToTheLine) {
    struct Case {
        unsigned int delayMs;
        std::uint32_t sampleRate;
        std::size_t echoFrame;
    };
    const Case cases[] = {
        {1, 44100, 44},       {200, 44100, 8820},   {999, 48000, 47952},      {1000, 48000, 48000},
        {2000, 48000, 48000}, {1000, 96000, 48000}, {UINT_MAX, 48000, 48000}, {UINT_MAX, 1, 48000},
        {1000, 44100, 44100}, {3, 1000, 3},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(testing::Message() << test.delayMs << " ms at " << test.sampleRate << " Hz");
        DelayNode node(1);
        node.setDelayMs(test.delayMs);
        node.setFeedbackLevel(0.0f);
        const Channels out = processBlock(node, impulse(1, test.echoFrame + 50, {0}), test.sampleRate);
        EXPECT_EQ(nonZeroFrames(out[0]), (std::vector<std::size_t>{0, test.echoFrame}));
        EXPECT_EQ(out[0][test.echoFrame], 0.3f);
    }
}

TEST(DelayNodeTest, UnitFeedbackNeverDiesAway) {
    DelayNode node(1);
    node.setDelayMs(1);
    node.setFeedbackLevel(1.0f);
    node.setWetMix(1.0f);
    const Channels out = processBlock(node, impulse(1, 48 * 200 + 1, {0}), 48000);
    for (std::size_t k = 1; k <= 200; ++k) ASSERT_EQ(out[0][48 * k], 1.0f) << k;
    EXPECT_EQ(nonZeroFrames(out[0]).size(), 201u);
}

TEST(DelayNodeTest, BusFormatAgreement) {
    DelayNode stereo(2);
    for (std::uint32_t channels : {1u, 2u}) {
        AudioBusFormat in = format(48000, channels, 512), out = format(48000, channels, 512);
        EXPECT_TRUE(stereo.setBusFormat(in, out)) << channels;
        AudioBusFormat otherRate = format(44100, channels, 512);
        in = format(48000, channels, 512);
        EXPECT_FALSE(stereo.setBusFormat(in, otherRate)) << channels;
    }
    AudioBusFormat in3 = format(48000, 3, 512), out3 = format(48000, 3, 512);
    EXPECT_FALSE(stereo.setBusFormat(in3, out3));
    AudioBusFormat in2 = format(48000, 2, 512), out3b = format(48000, 3, 512);
    EXPECT_FALSE(stereo.setBusFormat(in2, out3b));

    // Matching always runs: unset fields are filled from the other side, also on refusal.
    AudioBusFormat partialIn = format(48000, 2, 0), partialOut = format(0, 0, 256);
    EXPECT_TRUE(stereo.setBusFormat(partialIn, partialOut));
    EXPECT_EQ(partialIn, format(48000, 2, 256));
    EXPECT_EQ(partialOut, format(48000, 2, 256));
    AudioBusFormat wideIn = format(0, 3, 0), wideOut = format(96000, 0, 64);
    EXPECT_FALSE(stereo.setBusFormat(wideIn, wideOut));
    EXPECT_EQ(wideIn, format(96000, 3, 64));
    EXPECT_EQ(wideOut, format(96000, 3, 64));

    DelayNode mono(1);
    AudioBusFormat monoIn = format(48000, 1, 512), monoOut = format(48000, 1, 512);
    EXPECT_TRUE(mono.setBusFormat(monoIn, monoOut));
    AudioBusFormat twoIn = format(48000, 2, 512), twoOut = format(48000, 2, 512);
    EXPECT_FALSE(mono.setBusFormat(twoIn, twoOut));

    DelayNode none(0);
    AudioBusFormat noneIn = format(48000, 0, 512), noneOut = format(48000, 0, 512);
    EXPECT_TRUE(none.setBusFormat(noneIn, noneOut));
    AudioBusFormat oneIn = format(48000, 1, 512), oneOut = format(48000, 1, 512);
    EXPECT_FALSE(none.setBusFormat(oneIn, oneOut));

    orvane::AudioBusFormatList ins{format(48000, 2, 512)}, outs{format(48000, 2, 512)};
    EXPECT_TRUE(stereo.setBusFormats(ins, outs));
}

TEST(DelayNodeTest, ChannelsWithoutLinesKeepTheirInput) {
    const Channels input = noise(8, 3000, 5);
    const Channels stereoInput = noise(2, 3000, 6);
    {
        SCOPED_TRACE("built for 1, fed 2");
        DelayNode node(1);
        node.setDelayMs(10);
        const Channels out = processInBlocks(node, stereoInput, 48000, 256);
        DelayModel check(1);
        check.delayMs = 10;
        Channels modelOut;
        for (std::size_t start = 0; start < 3000; start += 256) {
            const std::size_t length = std::min<std::size_t>(256, 3000 - start);
            orvane::nodetesting::append(
                modelOut, check.process(orvane::nodetesting::slice(stereoInput, 2, start, length), 48000));
        }
        expectSameBits(out, modelOut, "mono node");
        EXPECT_EQ(out[1], stereoInput[1]);
    }
    {
        SCOPED_TRACE("built for 0, fed 2");
        DelayNode node(0);
        expectSameBits(processBlock(node, stereoInput, 48000), stereoInput, "no lines");
    }
    {
        SCOPED_TRACE("built for 2, fed 8");
        DelayNode node(2);
        node.setDelayMs(5);
        DelayModel model(2);
        model.delayMs = 5;
        const Channels out = processBlock(node, input, 48000);
        expectSameBits(out, model.process(input, 48000), "eight channels");
        for (std::size_t c = 2; c < 8; ++c) EXPECT_EQ(out[c], input[c]) << c;
        EXPECT_NE(out[0], input[0]);
    }
}

TEST(DelayNodeTest, ListProcessingForwardsToTheSingleBus) {
    DelayNode node(2);
    DelayNode reference(2);
    const Channels input = noise(2, 20000, 7);
    orvane::AudioBuffer<float> in = orvane::testing::makeBuffer(input, 48000);
    orvane::AudioBuffer<float> out;
    orvane::AudioBusList inputs{orvane::AudioBus(in)};
    orvane::AudioBusList outputs{orvane::AudioBus(out)};
    EXPECT_TRUE(node.process(inputs, outputs));
    expectSameBits(orvane::testing::toChannels(out), processBlock(reference, input, 48000), "list process");
}

TEST(DelayNodeTest, SubnormalsAreFlushedWithinProcessOnly) {
    // Inside process() subnormal operands and results count as zero, since echoes dying away
    // would otherwise cost many times more; apart from that the arithmetic is the model's, and
    // the caller's floating-point mode comes back unchanged.
    const Channels tiny = orvane::nodetesting::scaled(noise(2, 4000, 8), 1e-38f);
    ASSERT_TRUE(orvane::nodetesting::hasSubnormal(tiny));
    DelayNode node(2);
    node.setDelayMs(1);
    node.setFeedbackLevel(0.9f);
    DelayModel model(2);
    model.delayMs = 1;
    model.feedbackLevel = 0.9f;
    const unsigned int modeBefore = orvane::nodetesting::floatingPointMode();
    const Channels out = processBlock(node, tiny, 48000);
    EXPECT_EQ(orvane::nodetesting::floatingPointMode(), modeBefore);
    EXPECT_FALSE(orvane::nodetesting::hasSubnormal(out));
    expectSameBits(out, orvane::nodetesting::flushingSubnormals([&] { return model.process(tiny, 48000); }),
                   "tiny signal");

    DelayNode decaying(1);
    decaying.setDelayMs(1);
    DelayModel decayModel(1);
    decayModel.delayMs = 1;
    const unsigned int modeBeforeDecay = orvane::nodetesting::floatingPointMode();
    const Channels echoes = processBlock(decaying, impulse(1, 48 * 80, {0}), 48000);
    EXPECT_EQ(orvane::nodetesting::floatingPointMode(), modeBeforeDecay);
    EXPECT_FALSE(orvane::nodetesting::hasSubnormal(echoes));
    expectSameBits(echoes, orvane::nodetesting::flushingSubnormals([&] {
                       return decayModel.process(impulse(1, 48 * 80, {0}), 48000);
                   }),
                   "decay");
}

TEST(DelayNodeTest, ParametersMayChangeWhileProcessing) {
    DelayNode node(2);
    orvane::nodetesting::processWhileChanging(
        node,
        [&node](unsigned int i) {
            node.setDelayMs(i % 7 == 0 ? 0u : i % 1500);
            node.setIsEnabled(i % 11 != 0);
            node.setDryMix(static_cast<float>(i % 10) / 10.0f);
            node.setWetMix(static_cast<float>(i % 9) / 9.0f);
            node.setFeedbackLevel(static_cast<float>(i % 9) / 10.0f);
            (void)node.getDelayMs();
        },
        300);
}

}  // namespace
