// The offline renderer: what it writes against blocks run by hand, whatever the pieces; its
// refusals before any work; one render at a time per effect; fuzz-like scripts.
#include <gtest/gtest.h>

#include <bit>
#include <random>
#include <vector>

#include "host/AudioBus.h"
#include "render/OfflineRenderer.h"
#include "render/RenderScript.h"

namespace orvane::render {
namespace {

using extensions::audioeffects::effectDescriptions;

constexpr std::uint32_t rate = 48000;

std::vector<float> noise(std::size_t count, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> value(-1, 1);
    std::vector<float> samples(count);
    for (float& sample : samples) sample = value(random);
    return samples;
}

/// Planar samples, channels x frames.
struct Signal {
    std::size_t channels, frames;
    std::vector<float> samples;
    const float* row(std::size_t c) const { return samples.data() + c * frames; }
    float* row(std::size_t c) { return samples.data() + c * frames; }
};

/// The nodes run block by block as a host runs them: one node for one or two channels,
/// one per channel beyond; the automated parameter set at each block's first frame.
Signal byHand(const EffectDescription& description, const Signal& input, std::size_t tail, std::uint32_t blockSize,
              std::size_t parameter, const std::vector<double>& curve) {
    const std::size_t width = input.channels > 2 ? 1 : input.channels, total = input.frames + tail;
    Signal output{input.channels, total, std::vector<float>(input.channels * total)};
    for (std::size_t first = 0; first < input.channels; first += width) {
        auto node = description.create(static_cast<unsigned>(width));
        AudioBusFormat format{rate, static_cast<std::uint32_t>(width), blockSize}, agreed{};
        EXPECT_TRUE(node->setBusFormat(format, agreed));
        for (std::size_t start = 0; start < total; start += blockSize) {
            const auto length = static_cast<std::uint32_t>(std::min<std::size_t>(blockSize, total - start));
            const EffectParameter& automated = description.parameters[parameter];
            automated.set(*node, automated.fromNumber(static_cast<float>(curve[start])));
            AudioBuffer<float> block(static_cast<std::uint32_t>(width), length, rate);
            for (std::size_t c = 0; c < width; ++c)
                for (std::size_t f = 0; f < length && start + f < input.frames; ++f)
                    block.getChannelData(static_cast<std::uint32_t>(c))[f] = input.row(first + c)[start + f];
            AudioBus bus(block);
            node->process(bus, bus);
            for (std::size_t c = 0; c < width; ++c)
                std::copy_n(block.getChannelData(static_cast<std::uint32_t>(c)), length, output.row(first + c) + start);
        }
    }
    return output;
}

/// The render of input through effect, the input pushed in pieces of the given lengths
/// (cycled) and the tail taken a block at a time.
Signal rendered(OfflineEffect& effect, const Signal& input, double tailSeconds, std::uint32_t blockSize,
                std::span<const std::vector<Automation>> automation, const std::vector<std::size_t>& pieces) {
    OfflineEffect* const chain[] = {&effect};
    OfflineRender renderer(chain, {input.channels, rate, blockSize, tailSeconds, true, input.frames}, automation);
    const std::size_t total = input.frames + renderer.tailFrames();
    Signal output{input.channels, total, std::vector<float>(input.channels * total, NAN)};
    std::vector<const float*> in(input.channels);
    std::vector<float*> out(input.channels);
    std::size_t taken = 0, written = 0;
    const auto point = [&] {
        for (std::size_t c = 0; c < input.channels; ++c) {
            in[c] = input.row(c) + taken;
            out[c] = output.row(c) + written;
        }
    };
    for (std::size_t i = 0; taken < input.frames; ++i) {
        const std::size_t piece = std::min(pieces[i % pieces.size()], input.frames - taken);
        point();
        written += renderer.push(in.data(), piece, out.data());
        taken += piece;
    }
    for (point(); const std::size_t more = renderer.finish(out.data(), blockSize); point()) written += more;
    EXPECT_EQ(written, total);
    return output;
}

bool sameBits(const Signal& a, const Signal& b) {
    return a.samples.size() == b.samples.size() &&
           std::equal(a.samples.begin(), a.samples.end(), b.samples.begin(), [](float x, float y) {
               return std::bit_cast<std::uint32_t>(x) == std::bit_cast<std::uint32_t>(y);
           });
}

TEST(OfflineRender, WritesWhatBlocksRunByHandGiveWhateverThePieces) {
    const std::vector<std::size_t> pieceCycles[] = {{1u << 30}, {1, 0, 700, 3}, {512}, {37, 1000}};
    for (const EffectDescription& description : effectDescriptions)
        for (const std::size_t channels : {1u, 2u, 5u})
            for (const std::uint32_t blockSize : {1u, 37u, 512u}) {
                if (description.onlyChannels != 0 && channels != description.onlyChannels) continue;
                SCOPED_TRACE(std::string(description.type) + " channels " + std::to_string(channels) + " block " +
                             std::to_string(blockSize));
                const Signal input{channels, 3000, noise(channels * 3000, static_cast<unsigned>(channels))};
                // The last parameter swept across its range in steps, through every output frame.
                const std::size_t parameter = description.parameters.size() - 1;
                const EffectParameter& swept = description.parameters[parameter];
                std::vector<double> curve(3000 + 480);
                for (std::size_t f = 0; f < curve.size(); ++f)
                    curve[f] = swept.minimum + (swept.maximum - swept.minimum) * static_cast<double>(f / 700 % 4) / 3;
                const Signal expected = byHand(description, input, 480, blockSize, parameter, curve);
                const std::vector<Automation> plan[] = {{{parameter, curve}}};
                for (const auto& pieces : pieceCycles) {
                    OfflineEffect effect(description);
                    EXPECT_TRUE(sameBits(rendered(effect, input, 0.01, blockSize, plan, pieces), expected));
                    // Automation held for that render only: the effect is at its own values again.
                    EXPECT_EQ(effect.value(parameter), swept.fromNumber(swept.defaultValue));
                }
            }
}

TEST(OfflineRender, AResetEffectGivesWhatANewOneGivesWhateverItRanBefore) {
    // Before the probe: noise at other values (long enough to wrap every line) or NaN input,
    // then a continuation cut short. The probe then runs from a reset, at its own values.
    struct Before {
        std::size_t frames;
        float share;  // each parameter at this share of its range
        bool withNaN;
    };
    const auto setAll = [](OfflineEffect& effect, float share) {
        for (std::size_t p = 0; p < effect.description.parameters.size(); ++p) {
            const EffectParameter& q = effect.description.parameters[p];
            effect.setValue(p, q.fromNumber(q.minimum + (q.maximum - q.minimum) * share));
        }
    };
    for (const EffectDescription& description : effectDescriptions)
        for (const std::size_t channels : {1u, 2u, 3u})
            for (const Before before : {Before{3000, 0.5f, false}, Before{60000, 1, false}, Before{2000, 0.2f, true}}) {
                if (description.onlyChannels != 0 && channels != description.onlyChannels) continue;
                SCOPED_TRACE(std::string(description.type) + " channels " + std::to_string(channels) + " after " +
                             std::to_string(before.frames) + " frames");
                OfflineEffect used(description), fresh(description);
                setAll(used, before.share);
                Signal earlier{channels, before.frames, noise(channels * before.frames, 7)};
                for (std::size_t i = 0; before.withNaN && i < earlier.samples.size(); i += 7) earlier.samples[i] = NAN;
                rendered(used, earlier, 0, 128, {}, {1u << 30});
                {
                    OfflineEffect* const alone[] = {&used};
                    std::vector<float> scratch(300);
                    OfflineRender(alone, {channels, rate, 128, 0, false, {}})
                        .push(std::vector<const float*>(channels, earlier.row(0)).data(), 200,
                              std::vector<float*>(channels, scratch.data()).data());
                }
                setAll(used, 0.7f), setAll(fresh, 0.7f);
                const Signal probe{channels, 4000, noise(channels * 4000, 8)};
                EXPECT_TRUE(sameBits(rendered(used, probe, 0.01, 128, {}, {1u << 30}),
                                     rendered(fresh, probe, 0.01, 128, {}, {1u << 30})));
            }
}

TEST(OfflineRender, RefusesBadSettingsBeforeAnyWorkAndKeepsTheState) {
    const double wide[3] = {0, 0, 0};
    struct Case {
        const char* what;
        Check check;
        void (*spoil)(RenderSettings&, std::vector<OfflineEffect*>&, std::vector<std::vector<Automation>>&,
                      const double*);
    };
    const Case cases[] = {
        {"no channels", Check::Channels, [](auto& s, auto&, auto&, auto) { s.channels = 0; }},
        {"65 channels", Check::Channels, [](auto& s, auto&, auto&, auto) { s.channels = 65; }},
        {"rate 0", Check::SampleRate, [](auto& s, auto&, auto&, auto) { s.sampleRate = 0; }},
        {"rate 384001", Check::SampleRate, [](auto& s, auto&, auto&, auto) { s.sampleRate = 384001; }},
        {"block 0", Check::BlockSize, [](auto& s, auto&, auto&, auto) { s.blockSize = 0; }},
        {"block 65537", Check::BlockSize, [](auto& s, auto&, auto&, auto) { s.blockSize = 65537; }},
        {"tail NaN", Check::Tail, [](auto& s, auto&, auto&, auto) { s.tailSeconds = NAN; }},
        {"tail 3601", Check::Tail, [](auto& s, auto&, auto&, auto) { s.tailSeconds = 3601; }},
        {"one effect twice", Check::RepeatedEffect,
         [](auto&, auto& c, auto& a, auto) { c.push_back(c[0]), a.emplace_back(); }},
        {"another rate", Check::Continuation,
         [](auto& s, auto&, auto&, auto) { s.reset = false, s.sampleRate = 44100; }},
        {"another width", Check::Continuation, [](auto& s, auto&, auto&, auto) { s.reset = false, s.channels = 1; }},
        {"short curve", Check::AutomationLength,
         [](auto&, auto&, auto& a, auto w) {
             a[1].push_back({1, {w, 2}});
         }},
        {"NaN in a curve", Check::AutomationValue,
         [](auto& s, auto&, auto& a, auto) {
             static const double values[3] = {100, 100, NAN};
             s.inputFrames = 3;
             a[1].push_back({1, values});
         }},
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(each.what);
        OfflineEffect chorus(effectDescriptions[4]), delay(effectDescriptions[0]);
        std::vector<OfflineEffect*> chain{&chorus, &delay};
        const std::vector<Automation> none[] = {{}};
        OfflineEffect* const alone[] = {&delay};
        { OfflineRender warm(alone, {2, rate, 64, 0, true, {}}); }  // the delay now carries stereo state
        RenderSettings settings{2, rate, 64, 0, true, 3};
        std::vector<std::vector<Automation>> automation(2);
        each.spoil(settings, chain, automation, wide);
        try {
            OfflineRender refused(chain, settings, automation);
            ADD_FAILURE() << "accepted";
        } catch (const RenderError& refusal) {
            EXPECT_EQ(refusal.check, each.check) << refusal.what();
        }
        // Nothing was claimed, built or changed: the delay still holds its two channels at 48 kHz.
        EXPECT_EQ(delay.stateChannels(), 2u);
        EXPECT_EQ(delay.stateSampleRate(), rate);
        OfflineRender accepted(alone, {2, rate, 64, 0, false, {}}, none);
    }
}

TEST(OfflineRender, AnEffectRendersOnceAtATime) {
    OfflineEffect flanger(effectDescriptions[3]);
    OfflineEffect* const chain[] = {&flanger};
    {
        OfflineRender first(chain, {2, rate, 64, 0, true, {}});
        try {
            OfflineRender second(chain, {2, rate, 64, 0, true, {}});
            ADD_FAILURE() << "a second render of one effect was accepted";
        } catch (const RenderError& refusal) {
            EXPECT_EQ(refusal.check, Check::Busy);
        }
        EXPECT_THROW(flanger.reset(), RenderError);
    }
    flanger.reset();
    OfflineRender again(chain, {2, rate, 64, 0, true, {}});
}

TEST(OfflineRender, ScriptsOfAnyChainsSettingsAndPiecesRunClean) {
    std::mt19937 random(2026);
    for (int script = 0; script < 400; ++script) {
        std::vector<std::uint8_t> bytes(random() % 200);
        for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
        EXPECT_EQ(testing::runRenderScript(bytes.data(), bytes.size()), "") << "script " << script;
    }
}

}  // namespace
}  // namespace orvane::render
