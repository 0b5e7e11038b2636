// The bundle's shared object driven as a host drives it, against the nodes run directly:
// every plugin, block sizes from 0 up, in place and not, controls clamped as promised.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "PluginHarness.h"
#include "host/AudioBusFormat.h"

namespace orvane::lv2testing {
namespace {

using Settings = std::map<std::string, float>;

constexpr std::uint32_t rate = 48000;
const float nan = std::numeric_limits<float>::quiet_NaN();
const float inf = std::numeric_limits<float>::infinity();

// The plugin's effect as the test harness names it.
testing::EffectType effectOf(const lv2::PluginKind& kind) {
    return *std::find_if(std::begin(testing::allEffectTypes), std::end(testing::allEffectTypes),
                         [&kind](testing::EffectType each) { return testing::effectName(each) == kind.effect; });
}

// The node of the plugin's effect and channel count, given the first settings for the
// first `split` frames and the second for the rest.
Channels reference(const std::string& label, const Settings& first, const Settings& second, const Channels& signal,
                   std::size_t split) {
    const lv2::PluginKind& kind = pluginType(label).kind;
    const testing::EffectType type = effectOf(kind);
    auto node = testing::makeEffect(type, kind.channels);
    AudioBusFormat input{rate, kind.channels, 512}, output{};
    EXPECT_TRUE(node->setBusFormat(input, output));
    Channels result(signal.size());
    for (const auto& [settings, from, to] :
         {std::tuple{first, std::size_t{0}, split}, {second, split, signal[0].size()}}) {
        for (const auto& [name, value] : settings) testing::setParameter(*node, type, name, value);
        const Channels part =
            testing::processInBlocks(*node, testing::slice(signal, signal.size(), from, to - from), rate, 512);
        for (std::size_t c = 0; c < part.size(); ++c) result[c].insert(result[c].end(), part[c].begin(), part[c].end());
    }
    return result;
}

TEST(Lv2DescriptorTest, ServesExactlyTheNinePlugins) {
    const LV2_Descriptor_Function entry = descriptors();
    std::vector<std::string> uris;
    for (std::uint32_t i = 0; entry(i); ++i) uris.emplace_back(entry(i)->URI);
    EXPECT_EQ(uris,
              (std::vector<std::string>{"urn:orvane:audioeffects:Delay", "urn:orvane:audioeffects:PingPongDelay",
                                        "urn:orvane:audioeffects:Chorus", "urn:orvane:audioeffects:Flanger",
                                        "urn:orvane:audioeffects:Vibrato", "urn:orvane:audioeffects:DelayMono",
                                        "urn:orvane:audioeffects:ChorusMono", "urn:orvane:audioeffects:FlangerMono",
                                        "urn:orvane:audioeffects:VibratoMono"}));
    EXPECT_EQ(entry(std::numeric_limits<std::uint32_t>::max()), nullptr);
}

TEST(Lv2DescriptorTest, RefusesSampleRatesTheNodesCannotCount) {
    const LV2_Descriptor* descriptor = descriptors()(0);
    for (double sampleRate : {0.0, 0.5, -48000.0, static_cast<double>(nan), static_cast<double>(inf), 1e12}) {
        LV2_Handle handle = descriptor->instantiate(descriptor, sampleRate, ORVANE_LV2_BUNDLE, nullptr);
        EXPECT_EQ(handle, nullptr) << sampleRate;
        if (handle) descriptor->cleanup(handle);
    }
}

class Lv2PluginTest : public ::testing::TestWithParam<std::string> {};

// Defaults for the first half, then settings away from every default, inside every range,
// that take effect at the next run.
TEST_P(Lv2PluginTest, MatchesTheNodeWhateverTheBlocks) {
    const std::string label = GetParam();
    const Settings custom = std::map<std::string_view, Settings>{
        {"Delay", {{"delayMs", 35}, {"dryMix", 0.5f}, {"wetMix", 0.625f}, {"feedbackLevel", 0.75f}}},
        {"PingPongDelay", {{"delayMs", 35}, {"dryMix", 0.5f}, {"wetMix", 0.625f}, {"feedbackLevel", 0.75f}}},
        {"Chorus", {{"sweepWidth", 0.04f}, {"frequency", 3}}},
        {"Flanger", {{"sweepWidth", 0.008f}, {"frequency", 2.5f}}},
        {"Vibrato",
         {{"sweepWidth", 0.004f},
          {"frequency", 7}}}}.at(pluginType(label).kind.effect);
    const Channels signal = noise(pluginType(label).kind.channels, 12000, 0);
    const Channels expected = reference(label, {}, custom, signal, 6000);
    for (const std::uint32_t blockSize : {1u, 37u, 100u, 4096u, 6000u})
        for (const bool inPlace : {false, true}) {
            const bool emptyRuns = blockSize == 100;  // run(0) before every block
            SCOPED_TRACE(std::to_string(blockSize) + (inPlace ? " in place" : "") +
                         (emptyRuns ? " with empty runs" : ""));
            PluginInstance plugin(label, rate, blockSize);
            plugin.connect(inPlace);
            Channels output = plugin.process(testing::slice(signal, signal.size(), 0, 6000), blockSize, emptyRuns);
            for (const auto& [name, value] : custom) plugin.set(name, value);
            const Channels rest =
                plugin.process(testing::slice(signal, signal.size(), 6000, 6000), blockSize, emptyRuns);
            for (std::size_t c = 0; c < output.size(); ++c)
                output[c].insert(output[c].end(), rest[c].begin(), rest[c].end());
            EXPECT_TRUE(testing::sameBits(output, expected));
        }
}

TEST_P(Lv2PluginTest, UnconnectedPortsReadAsSilenceAndDefaults) {
    const lv2::PluginType& type = pluginType(GetParam());
    PluginInstance plugin(GetParam(), rate, 256);
    plugin.set("enabled", 0.0f);  // would pass the noise through, were it connected
    for (std::uint32_t i = 0; i < type.controls.size(); ++i)
        plugin.descriptor->connect_port(plugin.handle, type.firstControlIndex() + i, nullptr);
    for (std::uint32_t c = 0; c < type.kind.channels; ++c) {
        plugin.descriptor->connect_port(plugin.handle, c, nullptr);
        std::fill(plugin.outputs[c].begin(), plugin.outputs[c].end(), nan);
    }
    plugin.descriptor->connect_port(plugin.handle, 1000, nullptr);  // no such port: ignored
    plugin.run(256);
    for (const auto& channel : plugin.outputs) EXPECT_TRUE(testing::sameBits({channel}, {std::vector<float>(256)}));
}

// deactivate() then activate() leave the instance as if new, as hosts expect of a reset: no
// echo, NaN or oscillator phase from before survives, and the controls set stay set.
TEST_P(Lv2PluginTest, ActivateForgetsEverythingBefore) {
    const std::string label = GetParam();
    const lv2::PluginType& type = pluginType(label);
    const std::string control(type.controls.back().name);
    const Channels after = noise(type.kind.channels, 12000, 2);
    PluginInstance fresh(label, rate, 512);
    fresh.set(control, type.controls.back().maximum);
    const Channels expected = fresh.process(after, 512);

    PluginInstance plugin(label, rate, 512);
    plugin.set(control, type.controls.back().maximum);
    plugin.process(noise(type.kind.channels, 12000, 1), 512);
    plugin.process(Channels(type.kind.channels, std::vector<float>(512, nan)), 512);
    plugin.descriptor->deactivate(plugin.handle);
    plugin.descriptor->activate(plugin.handle);
    EXPECT_TRUE(testing::sameBits(plugin.process(after, 512), expected));
}

// Switching `enabled` as a host's bypass button does: a 440 Hz sine at 0.5 in 256-frame
// blocks, off after a second, on again half a second later. Within 30 ms of each switch no
// step between neighbouring samples may exceed 1.5 times the largest step in the steady
// second before. The node never stops; outside the 480-frame fades every bit is its output
// (on) or the input (off).
TEST_P(Lv2PluginTest, SwitchingOffAndOnDoesNotClick) {
    const std::string label = GetParam();
    const lv2::PluginKind& kind = pluginType(label).kind;
    auto node = testing::makeEffect(effectOf(kind), kind.channels);
    AudioBusFormat format{rate, kind.channels, 256}, agreed{};
    ASSERT_TRUE(node->setBusFormat(format, agreed));
    PluginInstance plugin(label, rate, 256);
    Channels sine(kind.channels, std::vector<float>(256));
    double steady = 0, afterOff = 0, afterOn = 0;
    std::vector<float> last(kind.channels, 0.0f);
    const std::size_t offAt = 188, onAt = 282;  // 1.0 s and 1.5 s; 30 ms lies within 6 blocks
    for (std::size_t block = 0; block < 320; ++block) {
        for (auto& channel : sine)
            for (std::size_t f = 0; f < 256; ++f)
                channel[f] = 0.5f * static_cast<float>(std::sin(2 * M_PI * 440 * (block * 256.0 + f) / rate));
        if (block == offAt) plugin.set("enabled", 0);
        if (block == onAt) plugin.set("enabled", 1);
        const Channels output = plugin.process(sine, 256);
        const Channels wet = testing::processInBlocks(*node, sine, rate, 256);
        for (std::size_t c = 0; c < output.size(); ++c)
            for (std::size_t f = 0; f < 256; ++f) {
                const double step = std::abs(output[c][f] - last[c]);
                last[c] = output[c][f];
                if (block >= 94 && block < offAt) steady = std::max(steady, step);
                if (block >= offAt && block < offAt + 6) afterOff = std::max(afterOff, step);
                if (block >= onAt && block < onAt + 6) afterOn = std::max(afterOn, step);
            }
        const bool fading = (block >= offAt && block < offAt + 2) || (block >= onAt && block < onAt + 2);
        if (!fading) {
            EXPECT_TRUE(testing::sameBits(output, block >= offAt && block < onAt ? sine : wet)) << block;
        }
    }
    std::printf("[bypass] %-14s steady %.4f  after off %.4f (%.2fx)  after on %.4f (%.2fx)\n", label.c_str(), steady,
                afterOff, afterOff / steady, afterOn, afterOn / steady);
    EXPECT_LE(afterOff, 1.5 * steady);
    EXPECT_LE(afterOn, 1.5 * steady);
}

INSTANTIATE_TEST_SUITE_P(EveryPlugin, Lv2PluginTest,
                         ::testing::Values("Delay", "PingPongDelay", "Chorus", "Flanger", "Vibrato", "DelayMono",
                                           "ChorusMono", "FlangerMono", "VibratoMono"));

// Values a host may pass (NaN: the default; out of range: the nearest limit), and what the node is given.
TEST(Lv2ClampTest, HostValuesAreLimitedToTheRanges) {
    for (const auto& [label, given, expected] : std::vector<std::tuple<std::string, Settings, Settings>>{
             {"Delay",
              {{"delayMs", 5000}, {"dryMix", nan}, {"wetMix", -2}, {"feedbackLevel", inf}},
              {{"delayMs", 1000}, {"dryMix", 0.7f}, {"wetMix", 0}, {"feedbackLevel", 0.99f}}},
             {"DelayMono",
              {{"delayMs", 349.5f}, {"enabled", 0.6f}, {"wetMix", 1e30f}, {"feedbackLevel", -inf}},
              {{"delayMs", 350}, {"enabled", 1}, {"wetMix", 1}, {"feedbackLevel", 0}}},
             {"PingPongDelay",
              {{"delayMs", 0}, {"feedbackLevel", nan}, {"dryMix", 3}},
              {{"delayMs", 1}, {"feedbackLevel", 0.2f}, {"dryMix", 1}}},
             {"PingPongDelay", {{"delayMs", nan}, {"enabled", -1}}, {{"delayMs", 200}, {"enabled", 0}}},
             {"Chorus", {{"sweepWidth", nan}, {"frequency", 100}}, {{"sweepWidth", 0.025f}, {"frequency", 10}}},
             {"ChorusMono", {{"enabled", nan}, {"sweepWidth", 1e9f}}, {{"enabled", 1}, {"sweepWidth", 0.1f}}},
             {"Flanger", {{"sweepWidth", 1}, {"frequency", -5}}, {{"sweepWidth", 0.02f}, {"frequency", 0}}},
             {"FlangerMono", {{"frequency", nan}, {"enabled", 0.4f}}, {{"frequency", 0.4f}, {"enabled", 0}}},
             {"Vibrato", {{"frequency", inf}, {"sweepWidth", -1}}, {{"frequency", 20}, {"sweepWidth", 0}}},
             {"VibratoMono", {{"frequency", -nan}, {"sweepWidth", nan}}, {{"frequency", 4}, {"sweepWidth", 0.01f}}}}) {
        const Channels signal = noise(pluginType(label).kind.channels, 6000, 0);
        PluginInstance plugin(label, rate, 512);
        for (const auto& [name, value] : given) plugin.set(name, value);
        const Channels output = plugin.process(signal, 512);
        for (const auto& channel : output)
            EXPECT_TRUE(std::all_of(channel.begin(), channel.end(), [](float s) { return std::isfinite(s); })) << label;
        EXPECT_TRUE(testing::sameBits(output, reference(label, expected, {}, signal, 6000))) << label;
    }
}

}  // namespace
}  // namespace orvane::lv2testing
