// The five effect nodes against their plain models, bit for bit, under scripted changes; the
// impulse responses their descriptions give; defaults, formats, flushing, and the ping-pong
// delay's host properties.

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "extension/AudioEffectsNodeFactory.h"
#include "host/AudioBusFormat.h"
#include "nodes/PingPongDelayNode.h"
#include "support/NodeTesting.h"

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#endif

namespace orvane::testing {
namespace {

using extensions::audioeffects::AudioEffectsNodeFactory;
using extensions::audioeffects::PingPongDelayNode;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

// The processor's floating-point control word (MXCSR on x86; 0 where not read).
unsigned int floatingPointMode() {
#if defined(__SSE__) || defined(__x86_64__)
    return _mm_getcsr();
#else
    return 0;
#endif
}

bool isDelay(EffectType type) { return type == EffectType::Delay || type == EffectType::PingPongDelay; }

// Before the first block at or after `frame`: a parameter ("@name": through the ping-pong
// delay's host property), the format ("rate", "channels"), or an extra block: "gap" of
// `value` frames without channels, "empty" of no frames at rate `value`.
struct Event {
    std::size_t frame;
    const char* name;
    double value;
};

const std::vector<Event> delayScript = {
    {0, "delayMs", 5},          {300, "channels", 8},    {500, "@delayMs", 13},       {700, "feedbackLevel", 0.9},
    {700, "wetMix", 0.55},      {900, "enabled", 0},     {1000, "rate", 22050},       {1000, "channels", 1},
    {1000, "gap", 50},          {1200, "rate", 48000},   {1200, "channels", 2},       {1300, "@enabled", 1},
    {1500, "delayMs", 1},       {1700, "rate", 44100},   {1900, "delayMs", 0},        {2100, "delayMs", 7},
    {2300, "channels", 1},      {2500, "channels", 3},   {2700, "empty", 44100},      {2700, "delayMs", 4},
    {2700, "empty", 96000},     {2900, "gap", 100},      {2900, "dryMix", -0.25},     {3100, "rate", 96000},
    {3100, "delayMs", 2000},    {3400, "@delayMs", 3},   {3600, "rate", 0},           {3800, "rate", 500},
    {3800, "delayMs", 1},       {4000, "rate", 48000},   {4000, "delayMs", UINT_MAX}, {4300, "delayMs", 9},
    {4500, "feedbackLevel", 1}, {4500, "@wetMix", 1},    {4800, "channels", 0},       {5000, "rate", 384000},
    {5000, "channels", 2},      {5000, "delayMs", 1000}, {5200, "rate", 8000},
};

const std::vector<Event> sweepScript = {
    {0, "frequency", 7},        {200, "channels", 8},        {400, "sweepWidth", 0.01},
    {600, "frequency", 55},     {800, "enabled", 0},         {900, "rate", 22050},
    {900, "gap", 300},          {1000, "rate", 48000},       {1100, "enabled", 1},
    {1200, "sweepWidth", 0},    {1400, "sweepWidth", -0.03}, {1600, "rate", 44100},
    {1800, "sweepWidth", 1.2},  {2000, "sweepWidth", 3},     {2200, "sweepWidth", -2.5},
    {2400, "channels", 1},      {2600, "frequency", 0},      {2800, "channels", 2},
    {2800, "rate", 96000},      {2800, "frequency", 3},      {2800, "sweepWidth", 0.004},
    {3000, "gap", 500},         {3200, "empty", 88200},      {3400, "frequency", -3},
    {3600, "frequency", 60000}, {3800, "frequency", nan},    {4000, "sweepWidth", nan},
    {4100, "sweepWidth", inf},  {4200, "sweepWidth", 1e30},  {4300, "sweepWidth", FLT_MAX},
    {4400, "sweepWidth", 0.02}, {4400, "frequency", inf},    {4600, "frequency", 5},
    {4800, "rate", 0},          {5000, "rate", 48000},       {5000, "channels", 0},
    {5200, "channels", 2},
};

// Runs node and model through signal in blocks of blockSize, applying the script; the first
// block that differs fails the test.
void expectMatchesModel(EffectType type, unsigned int built, const Channels& signal, const std::vector<Event>& script,
                        std::size_t blockSize, bool inPlace) {
    SCOPED_TRACE(::testing::Message() << effectName(type) << " built for " << built << ", blocks of " << blockSize
                                      << (inPlace ? " in place" : ""));
    auto node = makeEffect(type, built);
    NodeModel model(type, built);
    std::uint32_t rate = 48000;
    std::size_t channels = 2, next = 0;
    auto compare = [&](const Channels& input, std::size_t frames, std::uint32_t blockRate, std::size_t start) {
        const auto same =
            sameBits(runBlock(*node, input, frames, blockRate, inPlace), model.process(input, frames, blockRate));
        EXPECT_TRUE(same) << "block at frame " << start;
        return static_cast<bool>(same);
    };
    const std::size_t total = signal.front().size();
    for (std::size_t start = 0; start < total; start += blockSize) {
        for (; next < script.size() && script[next].frame <= start; ++next) {
            const Event& event = script[next];
            const bool viaProperty = event.name[0] == '@';
            const std::string name = event.name + (viaProperty ? 1 : 0);
            if (name == "rate") {
                rate = static_cast<std::uint32_t>(event.value);
            } else if (name == "channels") {
                channels = static_cast<std::size_t>(event.value);
            } else if (name == "gap") {
                if (!compare({}, static_cast<std::size_t>(event.value), rate, start)) return;
            } else if (name == "empty") {
                if (!compare(Channels(channels), 0, static_cast<std::uint32_t>(event.value), start)) return;
            } else {
                if (viaProperty && type == EffectType::PingPongDelay)
                    EXPECT_TRUE(setProperty(*node, name, event.value)) << name;
                else
                    setParameter(*node, type, name, event.value);
                model.set(name, event.value);
            }
        }
        const std::size_t length = std::min(blockSize, total - start);
        if (!compare(slice(signal, channels, start, length), length, rate, start)) return;
    }
}

class EveryNode : public ::testing::TestWithParam<EffectType> {};

INSTANTIATE_TEST_SUITE_P(Nodes, EveryNode, ::testing::ValuesIn(allEffectTypes),
                         [](const auto& info) { return std::string(effectName(info.param)); });

TEST_P(EveryNode, MatchesItsModelUnderScriptedChanges) {
    const EffectType type = GetParam();
    const Channels signal = noise(8, 5400, 1);
    const auto& script = isDelay(type) ? delayScript : sweepScript;
    for (std::size_t blockSize : {1u, 17u, 512u})
        for (bool inPlace : {false, true}) expectMatchesModel(type, 2, signal, script, blockSize, inPlace);
    if (type != EffectType::PingPongDelay)
        for (unsigned int built : {0u, 1u, 3u}) expectMatchesModel(type, built, signal, script, 17, false);
}

TEST_P(EveryNode, DefaultsThenSweepsWiderThanTheLineMatchItsModel) {
    const EffectType type = GetParam();
    // A whole cycle of the oscillator (5 s for the chorus, 2.5 s for the flanger) fills the
    // lines; then sweeps reaching past the ring read them where only fmodf brings them back.
    const std::size_t cycle = type == EffectType::Chorus ? 240000 : type == EffectType::Flanger ? 120000 : 50000;
    const std::vector<Event> wide = {{cycle, "sweepWidth", 3},
                                     {cycle + 2000, "sweepWidth", -2.5},
                                     {cycle + 4000, "sweepWidth", 1e30},
                                     {cycle + 4000, "frequency", 0.01}};
    expectMatchesModel(type, 2, noise(2, cycle + 6000, 2), isDelay(type) ? std::vector<Event>{} : wide, 500, false);
}

TEST_P(EveryNode, NonFiniteInputAndLevelsMatchItsModel) {
    const EffectType type = GetParam();
    Channels signal = noise(2, 1600, 3);
    signal[0][100] = std::numeric_limits<float>::quiet_NaN();
    signal[1][300] = std::numeric_limits<float>::infinity();
    signal[0][700] = -std::numeric_limits<float>::infinity();
    const std::vector<Event> script = isDelay(type) ? std::vector<Event>{{0, "delayMs", 3},  //
                                                                         {400, "dryMix", nan},
                                                                         {800, "dryMix", 0.5},
                                                                         {800, "feedbackLevel", inf},
                                                                         {1200, "wetMix", -inf}}
                                                    : std::vector<Event>{{0, "sweepWidth", 0.001}};
    expectMatchesModel(type, 2, signal, script, 64, false);
}

TEST_P(EveryNode, SubnormalsAreFlushedWithinProcessOnly) {
    // Echoes dying away would otherwise cost many times more; the caller's mode comes back.
    const EffectType type = GetParam();
    auto node = makeEffect(type, 2);
    NodeModel model(type, 2);
    for (const char* name : {"delayMs", "feedbackLevel"}) {
        setParameter(*node, type, name, name[0] == 'd' ? 1 : 0.9);
        model.set(name, name[0] == 'd' ? 1 : 0.9);
    }
    const Channels tiny = noise(2, 4000, 4, 1e-38f);
    const unsigned int modeBefore = floatingPointMode();
    const Channels out = runBlock(*node, tiny, 4000, 48000, false);
    EXPECT_EQ(floatingPointMode(), modeBefore);
    EXPECT_TRUE(sameBits(out, model.process(tiny, 4000, 48000)));
    for (const auto& channel : out)
        for (float sample : channel) ASSERT_NE(std::fpclassify(sample), FP_SUBNORMAL);
}

// ---------------------------------------------------------------------------------------
// Impulse responses

// The samples of `channel` in [first, last] add up to sum (within tolerance); the row's
// output is zero outside all of its taps.
struct Tap {
    unsigned int channel;
    std::size_t first, last;
    double sum, tolerance = 1e-6;
};

struct ImpulseRow {
    const char* what;
    EffectType type;
    std::vector<std::pair<const char*, double>> settings;
    std::uint32_t rate;
    std::size_t channels, frames;
    std::vector<std::size_t> impulseOn;
    std::vector<Tap> taps;
};

constexpr std::size_t D = 9600;  // 200 ms at 48 kHz

// clang-format off
const ImpulseRow impulseRows[] = {
    {"delay defaults", EffectType::Delay, {}, 48000, 2, 38400, {0, 1},
     {{0, 0, 0, 0.7}, {0, D, D, 0.3}, {0, 2 * D, 2 * D, 0.06}, {0, 3 * D, 3 * D, 0.012},
      {1, 0, 0, 0.7}, {1, D, D, 0.3}, {1, 2 * D, 2 * D, 0.06}, {1, 3 * D, 3 * D, 0.012}}},
    {"delay of 44.1 samples", EffectType::Delay, {{"delayMs", 1}}, 44100, 1, 100, {0},
     {{0, 0, 0, 0.7}, {0, 44, 44, 0.3}, {0, 88, 88, 0.06}}},
    {"ping-pong, left", EffectType::PingPongDelay, {}, 48000, 2, 3 * D + 1, {0},
     {{0, 0, 0, 0.7}, {0, D, D, 0.3}, {0, 2 * D, 2 * D, 0.012}, {0, 3 * D, 3 * D, 0.00048},
      {1, D, D, 0.06}, {1, 2 * D, 2 * D, 0.0024}, {1, 3 * D, 3 * D, 0.000096}}},
    {"ping-pong, right", EffectType::PingPongDelay, {}, 48000, 2, 3 * D + 1, {1},
     {{1, 0, 0, 0.7}, {1, D, D, 0.3}, {1, 2 * D, 2 * D, 0.012}, {1, 3 * D, 3 * D, 0.00048},
      {0, 2 * D, 2 * D, 0.06}, {0, 3 * D, 3 * D, 0.0024}}},
    {"ping-pong, mono bus", EffectType::PingPongDelay, {}, 48000, 1, 4 * D, {0}, {{0, 0, 0, 0.7}, {0, D, D, 0.3}}},
    {"chorus without sweep", EffectType::Chorus, {{"sweepWidth", 0}}, 48000, 2, 3000, {0, 1},
     {{0, 0, 0, 1, 0}, {0, 1002, 1002, 0.8}, {1, 0, 0, 1, 0}, {1, 1002, 1002, 0.8}}},
    {"chorus, first reads 1602 and 2202 back", EffectType::Chorus, {{"frequency", 0}}, 48000, 2, 2300, {0, 1},
     {{0, 0, 0, 1, 0}, {0, 1602, 1602, 0.8}, {1, 0, 0, 1, 0}, {1, 2202, 2202, 0.8}}},
    {"flanger, channel 0", EffectType::Flanger, {}, 48000, 2, 300, {0},
     {{0, 0, 0, 1, 0}, {0, 122, 123, 0.8, 0.01}, {0, 200, 299, 0.48, 0.02}}},
    {"flanger, channel 1 a quarter cycle ahead", EffectType::Flanger, {}, 48000, 2, 540, {1},
     {{1, 0, 0, 1, 0}, {1, 241, 242, 0.8, 0.01}, {1, 300, 539, 0.48, 0.02}}},
    {"flanger without sweep", EffectType::Flanger, {{"sweepWidth", 0}}, 48000, 1, 12, {0},
     {{0, 0, 0, 1, 0}, {0, 2, 2, 0.8}, {0, 4, 4, 0.48}, {0, 6, 6, 0.288}, {0, 8, 8, 0.1728}, {0, 10, 10, 0.10368}}},
    {"vibrato", EffectType::Vibrato, {}, 48000, 2, 12000, {0, 1}, {{0, 275, 276, 1.1, 0.1}, {1, 275, 276, 1.1, 0.1}}},
    {"vibrato without sweep", EffectType::Vibrato, {{"sweepWidth", 0}}, 48000, 1, 8, {0}, {{0, 1, 1, 1, 0}}},
};
// clang-format on

TEST(ImpulseResponses, AreTheOnesTheNodesDescribe) {
    for (const ImpulseRow& row : impulseRows) {
        SCOPED_TRACE(row.what);
        auto node = makeEffect(row.type, 2);
        NodeModel model(row.type, 2);
        for (const auto& [name, value] : row.settings) {
            setParameter(*node, row.type, name, value);
            model.set(name, value);
        }
        Channels input(row.channels, std::vector<float>(row.frames, 0.0f));
        for (std::size_t c : row.impulseOn) input[c][0] = 1.0f;
        const Channels out = runBlock(*node, input, row.frames, row.rate, false);
        EXPECT_TRUE(sameBits(out, model.process(input, row.frames, row.rate)));
        for (std::size_t c = 0; c < row.channels; ++c)
            for (std::size_t f = 0; f < row.frames; ++f) {
                bool inTap = false;
                for (const Tap& tap : row.taps) inTap = inTap || (tap.channel == c && f >= tap.first && f <= tap.last);
                ASSERT_TRUE(inTap || out[c][f] == 0.0f) << "channel " << c << " frame " << f << ": " << out[c][f];
            }
        for (const Tap& tap : row.taps) {
            double sum = 0.0;
            for (std::size_t f = tap.first; f <= tap.last; ++f) sum += out[tap.channel][f];
            EXPECT_NEAR(sum, tap.sum, tap.tolerance) << "channel " << tap.channel << " from frame " << tap.first;
            EXPECT_TRUE(tap.first < tap.last || out[tap.channel][tap.first] != 0.0f) << "frame " << tap.first;
        }
    }
}

// ---------------------------------------------------------------------------------------
// Defaults and formats

// Each type's defaults, in the order of parameterNames().
const std::vector<double> defaults[] = {
    {1, 200, 0.7f, 0.3f, 0.2f}, {1, 200, 0.7f, 0.3f, 0.2f}, {1, 0.025f, 0.2f}, {1, 0.005f, 0.4f}, {1, 0.01f, 4.0f}};

TEST(Defaults, OfDirectAndFactoryMadeNodes) {
    AudioEffectsNodeFactory factory;
    const OVAnyMap configuration{{"delayMs", 500u},   {"dryMix", 0.1f},   {"sweepWidth", 0.5f},
                                 {"frequency", 9.0f}, {"enabled", false}, {"numberOfChannels", 6u}};
    for (const EffectType type : allEffectTypes) {
        SCOPED_TRACE(effectName(type));
        auto made = factory.createNode(effectName(type), configuration);
        ASSERT_TRUE(made.ok()) << made.error();
        auto& fromFactory = dynamic_cast<SingleBusAudioProcessorNode&>(*made.value());
        const auto& names = parameterNames(type);
        const std::vector<double>& expected = defaults[static_cast<int>(type)];
        for (std::size_t i = 0; i < names.size(); ++i) {
            for (unsigned int built : {0u, 2u})
                EXPECT_EQ(getParameter(*makeEffect(type, built), type, names[i]), expected[i]) << names[i];
            EXPECT_EQ(getParameter(fromFactory, type, names[i]), expected[i]) << names[i];
        }
        // Built for two channels, with the defaults the model starts from.
        const Channels input = noise(3, 3000, 5);
        EXPECT_TRUE(
            sameBits(runBlock(fromFactory, input, 3000, 48000, false), NodeModel(type, 2).process(input, 3000, 48000)));
    }
}

struct FormatRow {
    EffectType type;
    unsigned int built;
    AudioBusFormat in, out;
    bool answer;
    AudioBusFormat agreedIn;
};

const FormatRow formatRows[] = {
    {EffectType::Delay, 2, {48000, 1, 512}, {48000, 1, 512}, true, {48000, 1, 512}},
    {EffectType::Delay, 2, {48000, 2, 512}, {48000, 2, 512}, true, {48000, 2, 512}},
    {EffectType::Delay, 2, {48000, 3, 512}, {48000, 3, 512}, false, {48000, 3, 512}},
    {EffectType::Delay, 2, {48000, 2, 512}, {44100, 2, 512}, false, {48000, 2, 512}},
    {EffectType::Delay, 2, {48000, 2, 0}, {0, 0, 256}, true, {48000, 2, 256}},
    {EffectType::Delay, 2, {0, 3, 0}, {96000, 0, 64}, false, {96000, 3, 64}},
    {EffectType::Delay, 1, {48000, 2, 512}, {48000, 2, 512}, false, {48000, 2, 512}},
    {EffectType::Delay, 0, {48000, 0, 512}, {48000, 0, 512}, true, {48000, 0, 512}},
    {EffectType::Delay, 0, {48000, 1, 512}, {48000, 1, 512}, false, {48000, 1, 512}},
    {EffectType::PingPongDelay, 2, {48000, 2, 512}, {48000, 2, 512}, true, {48000, 2, 512}},
    {EffectType::PingPongDelay, 2, {48000, 0, 512}, {48000, 0, 512}, false, {48000, 0, 512}},
    {EffectType::PingPongDelay, 2, {48000, 1, 0}, {0, 0, 64}, false, {48000, 1, 64}},
    {EffectType::PingPongDelay, 2, {48000, 3, 512}, {48000, 3, 512}, false, {48000, 3, 512}},
    {EffectType::PingPongDelay, 2, {0, 2, 0}, {44100, 0, 128}, true, {44100, 2, 128}},
    {EffectType::Chorus, 0, {48000, 2, 256}, {48000, 2, 256}, true, {48000, 2, 256}},
    {EffectType::Chorus, 2, {48000, 0, 256}, {48000, 0, 256}, true, {48000, 0, 256}},
    {EffectType::Chorus, 2, {0, 1, 0}, {22050, 0, 32}, true, {22050, 1, 32}},
    {EffectType::Flanger, 2, {48000, 0, 256}, {48000, 0, 256}, true, {48000, 0, 256}},
    {EffectType::Vibrato, 2, {48000, 0, 256}, {48000, 0, 256}, true, {48000, 0, 256}},
    {EffectType::Flanger, 4, {48000, 3, 256}, {48000, 3, 256}, false, {48000, 3, 256}},
    {EffectType::Flanger, 1, {48000, 2, 256}, {48000, 2, 128}, false, {48000, 2, 256}},
    {EffectType::Vibrato, 1, {96000, 2, 128}, {96000, 2, 128}, true, {96000, 2, 128}},
    {EffectType::Vibrato, 2, {44100, 4, 512}, {0, 0, 0}, false, {44100, 4, 512}},
    {EffectType::Vibrato, 4, {48000, 3, 256}, {48000, 3, 256}, false, {48000, 3, 256}},
    {EffectType::Chorus, 4, {48000, 3, 256}, {48000, 3, 256}, false, {48000, 3, 256}},
    {EffectType::Delay, 4, {48000, 3, 256}, {48000, 3, 256}, true, {48000, 3, 256}},
};

TEST(BusFormats, AreMatchedThenCheckedForChannels) {
    for (const FormatRow& row : formatRows) {
        SCOPED_TRACE(::testing::Message() << effectName(row.type) << " built for " << row.built << ", "
                                          << row.in.numberOfChannels << " channels in");
        auto node = makeEffect(row.type, row.built);
        AudioBusFormat in = row.in, out = row.out;
        EXPECT_EQ(node->setBusFormat(in, out), row.answer);
        EXPECT_EQ(in, row.agreedIn);  // matching runs whatever the answer
        AudioBusFormatList ins{row.in}, outs{row.out};
        EXPECT_EQ(node->setBusFormats(ins, outs), row.answer);
    }
}

// ---------------------------------------------------------------------------------------
// The ping-pong delay's host properties

OVAnyMap numberProperty(const char* description, const char* type, OVAny initial, OVAny min, OVAny max) {
    return OVAnyMap{{"description", description}, {"type", type},          {"default", std::move(initial)},
                    {"min", std::move(min)},      {"max", std::move(max)}, {"readOnly", false}};
}

TEST(PingPongProperties, AreDescribedAsTheTypeRecordSays) {
    const OVAnyMap expected{
        {"enabled", OVAnyMap{{"description", "Enable or disable the ping-pong delay effect."},
                             {"type", "boolean"},
                             {"readOnly", false},
                             {"default", true}}},
        {"delayMs", numberProperty("The delay time in milliseconds.", "int", 200, 1, 1000)},
        {"dryMix", numberProperty("Level of the dry signal. 0 means no dry signal, 1 means maximum dry signal.",
                                  "float", 0.7f, 0.0f, 1.0f)},
        {"wetMix", numberProperty("Level of the wet signal. 0 means no wet signal, 1 means maximum wet signal.",
                                  "float", 0.3f, 0.0f, 1.0f)},
        {"feedbackLevel",
         numberProperty("The feedback level of the delay. 0 means no feedback, 1 means maximum feedback.", "float",
                        0.2f, 0.0f, 0.99f)}};
    EXPECT_EQ(PingPongDelayNode::getNodeTypeInfo().properties, expected);
    PingPongDelayNode node(OVAnyMap{});
    EXPECT_EQ(node.getPropertyNames(), expected.keys());
    for (const std::string& name : expected.keys())
        EXPECT_EQ(node.getPropertyDescription(name), OVAny::convert<OVAnyMap>(expected.at(name))) << name;
    EXPECT_EQ(node.getValue("delay").error(),
              "Unknown property 'delay' of node; known properties: enabled, delayMs, dryMix, wetMix, feedbackLevel");
}

}  // namespace
}  // namespace orvane::testing
