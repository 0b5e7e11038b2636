#include "nodes/PingPongDelayNode.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/AudioBusFormat.h"
#include "host/OVAny.h"
#include "support/Blocks.h"
#include "support/NodeTesting.h"

namespace {

using orvane::AudioBusFormat;
using orvane::OVAny;
using orvane::OVAnyMap;
using orvane::extensions::audioeffects::PingPongDelayNode;
using orvane::nodetesting::BlockFormat;
using orvane::nodetesting::expectMatchesModel;
using orvane::nodetesting::expectSameBits;
using orvane::nodetesting::format;
using orvane::nodetesting::noise;
using orvane::nodetesting::nonZeroFrames;
using orvane::nodetesting::processShape;
using orvane::nodetesting::silence;
using orvane::testing::Channels;
using orvane::testing::impulse;
using orvane::testing::processBlock;

/// The cross-feedback delay written out plainly: two 48000-sample lines sharing one position
/// that wraps at the delay length.
class PingPongModel {
public:
    bool enabled = true;
    unsigned int delayMs = 200;
    float dryMix = 0.7f;
    float wetMix = 0.3f;
    float feedbackLevel = 0.2f;

    Channels process(const Channels& input, std::uint32_t sampleRate) {
        Channels output = input;
        if (!enabled || delayMs == 0) return output;
        if (sampleRate != lastSampleRate || delayMs != lastDelayMs) {
            const double exact = static_cast<double>(delayMs) * (static_cast<double>(sampleRate) / 1000.0);
            delaySamples = exact >= 48000.0 ? 48000u : static_cast<std::uint32_t>(exact);
            lastSampleRate = sampleRate;
            lastDelayMs = delayMs;
        }
        const float dry = dryMix, wet = wetMix, feedback = feedbackLevel;
        const std::size_t frames = input.empty() ? 0 : input.front().size();
        if (frames == 0 || delaySamples == 0) return output;
        for (std::size_t f = 0; f < frames; ++f) {
            const std::uint32_t p = position;
            if (!input.empty()) {
                const float x = input[0][f];
                const float y = x * dry + left[p] * wet;
                left[p] = right[p] * feedback + x;
                output[0][f] = y;
            }
            for (std::size_t c = 1; c < input.size(); ++c) {
                const float x = input[c][f];
                const float y = x * dry + right[p] * wet;
                right[p] = left[p] * feedback + x;
                output[c][f] = y;
            }
            position = (p + 1) % delaySamples;
        }
        return output;
    }

private:
    std::vector<float> left = std::vector<float>(48000, 0.0f);
    std::vector<float> right = std::vector<float>(48000, 0.0f);
    std::uint32_t position = 0;
    std::uint32_t delaySamples = 0;
    std::uint32_t lastSampleRate = 0;
    unsigned int lastDelayMs = 0;
};

TEST(PingPongDelayNodeTest, StartsWithDefaultsThroughAccessorsAndProperties) {
    PingPongDelayNode node(OVAnyMap{{"delayMs", 500}, {"dryMix", 0.1f}});  // the map is not read
    EXPECT_TRUE(node.getIsEnabled());
    EXPECT_EQ(node.getDelayMs(), 200u);
    EXPECT_EQ(node.getDryMix(), 0.7f);
    EXPECT_EQ(node.getWetMix(), 0.3f);
    EXPECT_EQ(node.getFeedbackLevel(), 0.2f);

    EXPECT_EQ(node.getPropertyNames(),
              (std::vector<std::string>{"enabled", "delayMs", "dryMix", "wetMix", "feedbackLevel"}));
    const auto enabled = node.getValue("enabled");
    ASSERT_TRUE(enabled.ok()) << enabled.error();
    EXPECT_EQ(enabled.value(), OVAny(true));
    const auto delay = node.getValue("delayMs");
    ASSERT_TRUE(delay.ok()) << delay.error();
    EXPECT_STREQ(delay.value().typeName(), "unsigned int");
    EXPECT_EQ(delay.value(), OVAny(200u));
    EXPECT_EQ(node.getValue("dryMix").value(), OVAny(0.7f));
    EXPECT_EQ(node.getValue("wetMix").value(), OVAny(0.3f));
    EXPECT_EQ(node.getValue("feedbackLevel").value(), OVAny(0.2f));
    EXPECT_FALSE(node.getValue("delay").ok());
    EXPECT_FALSE(node.getValue("delay").error().empty());
}

TEST(PingPongDelayNodeTest, PropertiesStoreWhatConvertsAndRefuseTheRest) {
    PingPongDelayNode node(OVAnyMap{});
    // Values outside the described ranges are stored unchanged.
    EXPECT_TRUE(node.setValue("feedbackLevel", OVAny(1.5f)).ok());
    EXPECT_EQ(node.getFeedbackLevel(), 1.5f);
    EXPECT_TRUE(node.setValue("dryMix", OVAny(-1.0f)).ok());
    EXPECT_EQ(node.getDryMix(), -1.0f);
    EXPECT_TRUE(node.setValue("wetMix", OVAny(1)).ok());  // an int that a float holds exactly
    EXPECT_EQ(node.getWetMix(), 1.0f);
    EXPECT_TRUE(node.setValue("delayMs", OVAny(500)).ok());
    EXPECT_EQ(node.getDelayMs(), 500u);
    EXPECT_TRUE(node.setValue("delayMs", OVAny(5000u)).ok());
    EXPECT_EQ(node.getDelayMs(), 5000u);
    EXPECT_EQ(node.getValue("delayMs").value(), OVAny(5000u));
    EXPECT_TRUE(node.setValue("enabled", OVAny(false)).ok());
    EXPECT_FALSE(node.getIsEnabled());
    EXPECT_EQ(node.getValue("enabled").value(), OVAny(false));
    EXPECT_TRUE(node.setValue("enabled", OVAny(1)).ok());
    EXPECT_TRUE(node.getIsEnabled());

    // Refused values fail with a message and store nothing.
    const std::pair<std::string, OVAny> refused[] = {
        {"delayMs", OVAny("250")}, {"delayMs", OVAny(-5)},        {"delayMs", OVAny(2.5f)}, {"enabled", OVAny(2)},
        {"dryMix", OVAny("loud")}, {"wetMix", OVAny(OVAnyMap{})}, {"delay", OVAny(100)},    {"", OVAny(1)},
    };
    for (const auto& [name, value] : refused) {
        SCOPED_TRACE(name + " <- " + value.typeName());
        const auto result = node.setValue(name, value);
        EXPECT_FALSE(result.ok());
        EXPECT_FALSE(result.error().empty());
        EXPECT_TRUE(node.getIsEnabled());
        EXPECT_EQ(node.getDelayMs(), 5000u);
        EXPECT_EQ(node.getDryMix(), -1.0f);
        EXPECT_EQ(node.getWetMix(), 1.0f);
        EXPECT_EQ(node.getFeedbackLevel(), 1.5f);
    }

    // The accessors store unchanged too, and the properties see them.
    node.setFeedbackLevel(-3.0f);
    EXPECT_EQ(node.getValue("feedbackLevel").value(), OVAny(-3.0f));
    node.setDelayMs(UINT_MAX);
    EXPECT_EQ(node.getValue("delayMs").value(), OVAny(UINT_MAX));
}

// Left and right outputs at frames 0, D, 2D, 3D for a unit impulse on one side, computed with
// the node's float operations in its order.
struct Echoes {
    float left[4];
    float right[4];
};

Echoes expectedEchoes(bool impulseOnLeft) {
    const float d = 0.7f, w = 0.3f, g = 0.2f;
    Echoes echoes{};
    float left = 0.0f, right = 0.0f;
    for (int k = 0; k < 4; ++k) {
        const float xL = (k == 0 && impulseOnLeft) ? 1.0f : 0.0f;
        const float xR = (k == 0 && !impulseOnLeft) ? 1.0f : 0.0f;
        echoes.left[k] = xL * d + left * w;
        left = right * g + xL;
        echoes.right[k] = xR * d + right * w;
        right = left * g + xR;
    }
    return echoes;
}

TEST(PingPongDelayNodeTest, ImpulseResponsesAreExact) {
    constexpr std::size_t D = 9600;
    for (bool onLeft : {true, false}) {
        SCOPED_TRACE(onLeft ? "impulse on the left" : "impulse on the right");
        PingPongDelayNode node(OVAnyMap{});
        const Channels out = processBlock(node, impulse(2, 3 * D + 1, {onLeft ? 0u : 1u}), 48000);
        const Echoes expected = expectedEchoes(onLeft);
        for (std::size_t k = 0; k < 4; ++k) {
            EXPECT_EQ(out[0][k * D], expected.left[k]) << k;
            EXPECT_EQ(out[1][k * D], expected.right[k]) << k;
        }
        if (onLeft) {
            EXPECT_EQ(nonZeroFrames(out[0]), (std::vector<std::size_t>{0, D, 2 * D, 3 * D}));
            EXPECT_EQ(nonZeroFrames(out[1]), (std::vector<std::size_t>{D, 2 * D, 3 * D}));
            EXPECT_FLOAT_EQ(out[0][0], 0.7f);
            EXPECT_FLOAT_EQ(out[0][D], 0.3f);
            EXPECT_FLOAT_EQ(out[0][2 * D], 0.012f);
            EXPECT_FLOAT_EQ(out[0][3 * D], 0.00048f);
            EXPECT_FLOAT_EQ(out[1][D], 0.06f);
            EXPECT_FLOAT_EQ(out[1][2 * D], 0.0024f);
            EXPECT_FLOAT_EQ(out[1][3 * D], 0.000096f);
        } else {
            EXPECT_EQ(nonZeroFrames(out[0]), (std::vector<std::size_t>{2 * D, 3 * D}));
            EXPECT_EQ(nonZeroFrames(out[1]), (std::vector<std::size_t>{0, D, 2 * D, 3 * D}));
            EXPECT_FLOAT_EQ(out[1][0], 0.7f);
            EXPECT_FLOAT_EQ(out[1][D], 0.3f);
            EXPECT_FLOAT_EQ(out[1][2 * D], 0.012f);
            EXPECT_FLOAT_EQ(out[1][3 * D], 0.00048f);
            EXPECT_FLOAT_EQ(out[0][2 * D], 0.06f);
            EXPECT_FLOAT_EQ(out[0][3 * D], 0.0024f);
        }
    }
}

struct PingPongEvent {
    std::size_t frame;
    std::function<void(PingPongDelayNode&, PingPongModel&, BlockFormat&)> apply;
};

std::vector<PingPongEvent> pingPongScript() {
    auto setDelay = [](unsigned int ms) {
        return [ms](PingPongDelayNode& n, PingPongModel& m, BlockFormat&) {
            n.setDelayMs(ms);
            m.delayMs = ms;
        };
    };
    return {
        {0, setDelay(7)},
        {900, setDelay(3)},  // the position may now lie beyond the new length
        {1300,
         [](PingPongDelayNode& n, PingPongModel& m, BlockFormat&) {
             n.setFeedbackLevel(0.85f);
             m.feedbackLevel = 0.85f;
             n.setWetMix(0.6f);
             m.wetMix = 0.6f;
         }},
        {1700, setDelay(11)},
        {2000,
         [](PingPongDelayNode& n, PingPongModel& m, BlockFormat&) {
             n.setIsEnabled(false);
             m.enabled = false;
         }},
        {2400,
         [](PingPongDelayNode& n, PingPongModel& m, BlockFormat&) {
             n.setIsEnabled(true);
             m.enabled = true;
         }},
        {2800, [](PingPongDelayNode&, PingPongModel&, BlockFormat& f) { f.sampleRate = 44100; }},
        {3300, setDelay(0)},
        {3500, setDelay(2)},
        {3900, [](PingPongDelayNode&, PingPongModel&, BlockFormat& f) { f.channels = 1; }},
        {4300, [](PingPongDelayNode&, PingPongModel&, BlockFormat& f) { f.channels = 3; }},
        {4700,
         [](PingPongDelayNode& n, PingPongModel& m, BlockFormat& f) {
             f.channels = 2;
             f.sampleRate = 96000;
             n.setDryMix(-0.5f);
             m.dryMix = -0.5f;
         }},
        {5100, setDelay(1000)},
        {5400, [](PingPongDelayNode&, PingPongModel&, BlockFormat& f) { f.sampleRate = 500; }},
        {5700, [](PingPongDelayNode&, PingPongModel&, BlockFormat& f) { f.sampleRate = 48000; }},
        {5800, setDelay(5)},
    };
}

TEST(PingPongDelayNodeTest, MatchesPlainModelAcrossBlockSizesAndParameterChanges) {
    const Channels input = noise(3, 7000, 11);
    orvane::nodetesting::expectMatchesModelUnderScript(
        input, pingPongScript(), [] { return std::make_unique<PingPongDelayNode>(OVAnyMap{}); },
        [] { return PingPongModel(); });
}

TEST(PingPongDelayNodeTest, InPlaceMatchesSeparateBuffers) {
    const Channels input = noise(2, 30000, 12);
    PingPongDelayNode separate(OVAnyMap{});
    PingPongDelayNode inPlace(OVAnyMap{});
    expectSameBits(orvane::nodetesting::processInPlace(inPlace, input, 48000), processBlock(separate, input, 48000),
                   "in place");
}

TEST(PingPongDelayNodeTest, DisabledOrZeroDelayPassesInputAndFreezesState) {
    const Channels first = impulse(2, 1000, {0});
    const Channels middle = noise(2, 3000, 13);
    const Channels last = silence(2, 12000);

    PingPongDelayNode reference(OVAnyMap{});
    processBlock(reference, first, 48000);
    const Channels expected = processBlock(reference, last, 48000);
    ASSERT_EQ(expected[0][8600], 0.3f);

    for (int variant = 0; variant < 2; ++variant) {
        SCOPED_TRACE(variant == 0 ? "disabled" : "delay 0 ms");
        PingPongDelayNode node(OVAnyMap{});
        processBlock(node, first, 48000);
        if (variant == 0)
            ASSERT_TRUE(node.setValue("enabled", OVAny(false)).ok());
        else
            ASSERT_TRUE(node.setValue("delayMs", OVAny(0)).ok());
        expectSameBits(processBlock(node, middle, 48000), middle, "bypassed block");
        expectSameBits(processBlock(node, noise(2, 100, 14), 22050), noise(2, 100, 14), "bypassed other rate");
        if (variant == 0)
            node.setIsEnabled(true);
        else
            node.setDelayMs(200);
        expectSameBits(processBlock(node, last, 48000), expected, "after bypass");
    }
}

TEST(PingPongDelayNodeTest, DelayChangeKeepsPositionAndLineContent) {
    PingPongDelayNode node(OVAnyMap{});
    // 1.0 on the left at frame 2201: both lines hold it at position 2201 (right scaled by 0.2).
    Channels first = silence(2, 7000);
    first[0][2201] = 1.0f;
    processBlock(node, first, 48000);  // the shared position is now 7000

    node.setDelayMs(100);  // 4800 samples
    Channels second = silence(2, 10000);
    second[0][0] = 1.0f;  // written at position 7000, which the new length never reaches again
    const Channels out = processBlock(node, second, 48000);

    // Frame 1 uses position 7001 mod 4800 = 2201 and finds the old content there.
    float left = 0.0f * 0.2f + 1.0f;  // what frame 2201 of the first block wrote
    float right = left * 0.2f + 0.0f;
    EXPECT_EQ(out[0][1], 0.0f * 0.7f + left * 0.3f);
    EXPECT_EQ(out[1][1], 0.0f * 0.7f + right * 0.3f);
    left = right * 0.2f + 0.0f;
    right = left * 0.2f + 0.0f;
    EXPECT_EQ(out[0][4801], 0.0f * 0.7f + left * 0.3f);
    EXPECT_EQ(out[1][4801], 0.0f * 0.7f + right * 0.3f);
    EXPECT_EQ(nonZeroFrames(out[0]), (std::vector<std::size_t>{0, 1, 4801, 9601}));
    EXPECT_EQ(nonZeroFrames(out[1]), (std::vector<std::size_t>{1, 4801, 9601}));
}

TEST(PingPongDelayNodeTest, DelayLengthIsTruncatedAndLimitedToTheLine) {
    struct Case {
        unsigned int delayMs;
        std::uint32_t sampleRate;
        std::size_t delaySamples;
    };
    const Case cases[] = {
        {1, 44100, 44},       {200, 44100, 8820},   {1000, 48000, 48000},     {1000, 44100, 44100},
        {2000, 48000, 48000}, {1000, 96000, 48000}, {UINT_MAX, 48000, 48000}, {UINT_MAX, 1, 48000},
        {3, 1000, 3},         {1, 1000, 1},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(testing::Message() << test.delayMs << " ms at " << test.sampleRate << " Hz");
        PingPongDelayNode node(OVAnyMap{});
        node.setDelayMs(test.delayMs);
        const Channels out = processBlock(node, impulse(2, test.delaySamples + 20, {0}), test.sampleRate);
        if (test.delaySamples > 1) {
            EXPECT_EQ(nonZeroFrames(out[0]).at(1), test.delaySamples);
            EXPECT_EQ(nonZeroFrames(out[1]).at(0), test.delaySamples);
        }
        EXPECT_EQ(out[0][test.delaySamples], 0.3f);
        EXPECT_EQ(out[1][test.delaySamples], 1.0f * 0.2f * 0.3f);
    }
}

TEST(PingPongDelayNodeTest, ZeroSampleDelayPassesInputAndFreezesPosition) {
    for (auto [delayMs, sampleRate] : {std::pair{200u, 0u}, std::pair{1u, 500u}, std::pair{1u, 999u}}) {
        SCOPED_TRACE(testing::Message() << delayMs << " ms at " << sampleRate << " Hz");
        PingPongDelayNode node(OVAnyMap{});
        processBlock(node, impulse(2, 1, {0}), 48000);  // 1.0 at position 0, which moves on to 1
        node.setDelayMs(delayMs);
        const Channels through = noise(2, 2000, 15);
        expectSameBits(processBlock(node, through, sampleRate), through, "zero-sample delay");
        node.setDelayMs(200);
        const Channels out = processBlock(node, silence(2, 9600), 48000);
        EXPECT_EQ(nonZeroFrames(out[0]), (std::vector<std::size_t>{9599}));
        EXPECT_EQ(out[0][9599], 0.3f);
    }
}

TEST(PingPongDelayNodeTest, MonoBufferGivesOneEchoAndNoRepeats) {
    PingPongDelayNode node(OVAnyMap{});
    const Channels out = processBlock(node, impulse(1, 4 * 9600, {0}), 48000);
    EXPECT_EQ(nonZeroFrames(out[0]), (std::vector<std::size_t>{0, 9600}));
    EXPECT_EQ(out[0][0], 1.0f * 0.7f + 0.0f * 0.3f);
    EXPECT_EQ(out[0][9600], 0.0f * 0.7f + 1.0f * 0.3f);
}

TEST(PingPongDelayNodeTest, ExtraChannelsShareTheRightLine) {
    // Channel 2 reads what channel 1 wrote in the same frame, and its own write stands.
    PingPongDelayNode node(OVAnyMap{});
    const Channels out = processBlock(node, impulse(3, 3 * 9600, {1}), 48000);
    EXPECT_TRUE(nonZeroFrames(out[0]).empty());
    EXPECT_EQ(nonZeroFrames(out[1]), (std::vector<std::size_t>{0}));
    EXPECT_EQ(nonZeroFrames(out[2]), (std::vector<std::size_t>{0}));
    EXPECT_EQ(out[1][0], 1.0f * 0.7f + 0.0f * 0.3f);
    EXPECT_EQ(out[2][0], 0.0f * 0.7f + (0.0f * 0.2f + 1.0f) * 0.3f);

    // With 8 channels every channel from 1 on runs against the one right line.
    PingPongDelayNode wide(OVAnyMap{});
    wide.setDelayMs(3);
    PingPongModel model;
    model.delayMs = 3;
    const Channels input = noise(8, 2000, 16);
    expectSameBits(processBlock(wide, input, 48000), model.process(input, 48000), "eight channels");
}

TEST(PingPongDelayNodeTest, ChannelLessBlocksPassThroughAndAdvanceThePosition) {
    PingPongDelayNode node(OVAnyMap{});
    processBlock(node, impulse(2, 1, {0}), 48000);  // position 0 holds the impulse; now at 1
    const auto empty = processShape(node, 0, 100, 48000);
    EXPECT_EQ(empty.getNumberOfChannels(), 0u);
    EXPECT_EQ(empty.getNumberOfFrames(), 100u);
    EXPECT_EQ(empty.getSampleRate(), 48000u);
    // Position 101 now: position 0 comes round after 9499 frames.
    const Channels out = processBlock(node, silence(2, 9600), 48000);
    EXPECT_EQ(nonZeroFrames(out[0]), (std::vector<std::size_t>{9499}));
    EXPECT_EQ(out[0][9499], 0.3f);

    // A block without frames leaves the position alone.
    PingPongDelayNode other(OVAnyMap{});
    processBlock(other, impulse(2, 1, {0}), 48000);
    const auto none = processShape(other, 2, 0, 48000);
    EXPECT_EQ(none.getNumberOfFrames(), 0u);
    EXPECT_EQ(nonZeroFrames(processBlock(other, silence(2, 9600), 48000)[0]), (std::vector<std::size_t>{9599}));
}

TEST(PingPongDelayNodeTest, UnitFeedbackNeverDiesAway) {
    PingPongDelayNode node(OVAnyMap{});
    ASSERT_TRUE(node.setValue("feedbackLevel", OVAny(1.0f)).ok());
    ASSERT_TRUE(node.setValue("wetMix", OVAny(1.0f)).ok());
    node.setDelayMs(1);
    const Channels out = processBlock(node, impulse(2, 48 * 100 + 1, {0}), 48000);
    for (std::size_t k = 1; k <= 100; ++k) {
        ASSERT_EQ(out[0][48 * k], 1.0f) << k;
        ASSERT_EQ(out[1][48 * k], 1.0f) << k;
    }
}

TEST(PingPongDelayNodeTest, BusFormatAgreement) {
    PingPongDelayNode node(OVAnyMap{});
    AudioBusFormat in = format(48000, 2, 512), out = format(48000, 2, 512);
    EXPECT_TRUE(node.setBusFormat(in, out));
    for (std::uint32_t channels : {0u, 1u, 3u, 8u}) {
        AudioBusFormat i = format(48000, channels, 512), o = format(48000, channels, 512);
        EXPECT_FALSE(node.setBusFormat(i, o)) << channels;
    }
    AudioBusFormat mismatchIn = format(48000, 2, 512), mismatchOut = format(44100, 2, 512);
    EXPECT_FALSE(node.setBusFormat(mismatchIn, mismatchOut));

    AudioBusFormat partialIn = format(0, 2, 0), partialOut = format(44100, 0, 128);
    EXPECT_TRUE(node.setBusFormat(partialIn, partialOut));
    EXPECT_EQ(partialIn, format(44100, 2, 128));
    EXPECT_EQ(partialOut, format(44100, 2, 128));
    AudioBusFormat monoIn = format(48000, 1, 0), monoOut = format(0, 0, 64);
    EXPECT_FALSE(node.setBusFormat(monoIn, monoOut));
    EXPECT_EQ(monoOut, format(48000, 1, 64));
}

TEST(PingPongDelayNodeTest, SubnormalsAreFlushedWithinProcessOnly) {
    // Inside process() subnormal operands and results count as zero, since echoes dying away
    // would otherwise cost many times more; apart from that the arithmetic is the model's, and
    // the caller's floating-point mode comes back unchanged.
    const Channels tiny = orvane::nodetesting::scaled(noise(2, 4000, 17), 1e-38f);
    ASSERT_TRUE(orvane::nodetesting::hasSubnormal(tiny));
    PingPongDelayNode node(OVAnyMap{});
    node.setDelayMs(1);
    node.setFeedbackLevel(0.9f);
    PingPongModel model;
    model.delayMs = 1;
    model.feedbackLevel = 0.9f;
    const unsigned int modeBefore = orvane::nodetesting::floatingPointMode();
    const Channels out = processBlock(node, tiny, 48000);
    EXPECT_EQ(orvane::nodetesting::floatingPointMode(), modeBefore);
    EXPECT_FALSE(orvane::nodetesting::hasSubnormal(out));
    expectSameBits(out, orvane::nodetesting::flushingSubnormals([&] { return model.process(tiny, 48000); }),
                   "tiny signal");

    PingPongDelayNode decaying(OVAnyMap{});
    decaying.setDelayMs(1);
    PingPongModel decayModel;
    decayModel.delayMs = 1;
    const unsigned int modeBeforeDecay = orvane::nodetesting::floatingPointMode();
    const Channels echoes = processBlock(decaying, impulse(2, 48 * 40, {0}), 48000);
    EXPECT_EQ(orvane::nodetesting::floatingPointMode(), modeBeforeDecay);
    EXPECT_FALSE(orvane::nodetesting::hasSubnormal(echoes));
    expectSameBits(echoes, orvane::nodetesting::flushingSubnormals([&] {
                       return decayModel.process(impulse(2, 48 * 40, {0}), 48000);
                   }),
                   "decay");
}

TEST(PingPongDelayNodeTest, ParametersMayChangeWhileProcessing) {
    PingPongDelayNode node(OVAnyMap{});
    orvane::nodetesting::processWhileChanging(
        node,
        [&node](unsigned int i) {
            node.setValue("delayMs", OVAny(i % 7 == 0 ? 0u : i % 1500));
            node.setValue("enabled", OVAny(i % 11 != 0));
            node.setDryMix(static_cast<float>(i % 10) / 10.0f);
            node.setValue("wetMix", OVAny(static_cast<float>(i % 9) / 9.0f));
            node.setValue("feedbackLevel", OVAny(static_cast<float>(i % 9) / 10.0f));
            (void)node.getValue("delayMs");
        },
        300);
}

}  // namespace
