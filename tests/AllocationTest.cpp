// Processing must never touch the heap. This binary counts the C library's allocation and
// release functions, which every C++ form reaches (support/CountingAllocator.cpp), and arms
// the count around process() only, over every scenario of the reliability grid and every
// fuzz corpus script, every LV2 plugin's run(), and the renderer's push of quanta.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <new>
#include <vector>

#include "host/AudioBuffer.h"
#include "host/AudioBus.h"
#include "reliability/EffectHarness.h"
#include "render/OfflineRenderer.h"
#include "support/CountingAllocator.h"

#if defined(ORVANE_LV2_PLUGIN)
#include "lv2/PluginHarness.h"
#endif

namespace orvane {
namespace {

// Keeps the compiler from leaving out an allocation whose result is never used.
void* volatile sink = nullptr;

template <typename T>
T* kept(T* pointer) {
    sink = pointer;
    return pointer;
}

TEST(AllocationCounterTest, CountsEveryKindOnlyWhileArmed) {
    struct alignas(64) Wide {
        char bytes[64];
    };
    const std::vector<std::function<void()>> kinds = {
        [] { delete kept(new int(5)); },
        [] { delete[] kept(new int[4]); },
        [] { delete kept(new (std::nothrow) int(1)); },
        [] { delete[] kept(new (std::nothrow) int[3]); },
        [] { delete kept(new Wide()); },
        [] { delete[] kept(new Wide[2]); },
        [] { std::free(kept(std::malloc(16))); },
        [] { std::free(kept(std::calloc(4, 4))); },
        [] { std::free(kept(std::realloc(nullptr, 8))); },
        [] { std::free(kept(std::aligned_alloc(64, 128))); },
        [] {
            void* p = nullptr;
            if (posix_memalign(&p, 64, 128) == 0) sink = p;
            std::free(p);
        },
    };
    for (std::size_t k = 0; k < kinds.size(); ++k)
        EXPECT_EQ(countWhileArmed(kinds[k]), std::make_pair(std::size_t{1}, std::size_t{1})) << "kind " << k;
    const std::size_t before = counts.allocations.load();
    kinds.front()();
    EXPECT_EQ(counts.allocations.load(), before);

    // The library's own allocations are seen: an output too small for the block grows.
    auto node = testing::makeEffect(testing::EffectType::Delay, 2);
    AudioBuffer<float> input(2, 64, 48000), tooSmall;
    AudioBus inputBus(input), outputBus(tooSmall);
    EXPECT_EQ(countWhileArmed([&] { node->process(inputBus, outputBus); }).first, 1u);
}

TEST(AllocationTest, NoNodeAllocatesAnywhereInTheReliabilityScenarios) {
    testing::harnessCounters().processObserver = [](bool starting) { armed = starting; };
    const std::size_t allocationsBefore = counts.allocations.load();
    const std::size_t releasesBefore = counts.releases.load();
    for (testing::EffectType type : testing::allEffectTypes) {
        EXPECT_TRUE(testing::runFormatGrid(type).empty()) << testing::effectName(type);
        EXPECT_TRUE(testing::runParameterGrid(type).empty()) << testing::effectName(type);
    }
    for (const auto& entry : std::filesystem::directory_iterator(ORVANE_FUZZ_CORPUS)) {
        std::ifstream file(entry.path(), std::ios::binary);
        const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
        EXPECT_EQ(testing::runScript(bytes.data(), bytes.size()), "") << entry.path();
    }
    testing::harnessCounters().processObserver = nullptr;
    EXPECT_EQ(counts.allocations.load() - allocationsBefore, 0u);
    EXPECT_EQ(counts.releases.load() - releasesBefore, 0u);
}

// An offline render that starts an effect afresh in the format its nodes serve clears them:
// it builds no node and no line, whose allocations would cost a short clip more than its work.
TEST(AllocationTest, AResetRenderInTheSameFormatBuildsNothingNew) {
    for (const render::EffectDescription& description : render::effectDescriptions) {
        render::OfflineEffect effect(description);
        render::OfflineEffect* const chain[] = {&effect};
        const auto start = [&] { render::OfflineRender(chain, {2, 48000, 512, 0, true, {}}); };
        const std::size_t first = countWhileArmed(start).first, again = countWhileArmed(start).first;
        EXPECT_LT(again + 3, first) << description.type;  // a node, its state and its lines
    }
}

// The browser's engine pushes 128-frame quanta in place through a chain of every effect, its
// parameters changed between them.
TEST(RenderAllocationTest, PushingQuantaInPlaceNeverAllocates) {
    std::vector<std::unique_ptr<render::OfflineEffect>> effects;
    std::vector<render::OfflineEffect*> chain;
    for (const auto& description : render::effectDescriptions)
        chain.push_back(effects.emplace_back(std::make_unique<render::OfflineEffect>(description)).get());
    render::RenderSettings settings;
    settings.channels = 2;
    settings.sampleRate = 48000;
    settings.blockSize = 128;
    render::OfflineRender render(chain, settings);
    std::vector<float> quantum(2 * 128, 0.25f);
    float* const rows[] = {quantum.data(), quantum.data() + 128};
    for (float frequency : {1.0f, 2.0f, 3.0f})
        EXPECT_EQ(countWhileArmed([&] {
                      render.push(rows, 128, rows);
                      chain[4]->setValue(2, frequency);
                  }),
                  std::make_pair(std::size_t{0}, std::size_t{0}));
}

#if defined(ORVANE_LV2_PLUGIN)
// Every plugin's run(), instantiated through its descriptor, whatever the block size, the
// controls or the port layout.
TEST(Lv2AllocationTest, RunNeverAllocates) {
    using namespace lv2testing;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (const lv2::PluginKind& kind : lv2::pluginKinds) {
        PluginInstance plugin(std::string(kind.label), 48000, 10000);  // 10000 frames reach the node in pieces
        plugin.inputs = noise(kind.channels, 10000, 0);
        std::size_t step = 0;
        for (bool inPlace : {false, true}) {
            plugin.connect(inPlace);
            for (std::uint32_t frames : {0u, 1u, 37u, 4096u, 10000u, 0u}) {
                // A different value on every control before every run: each is handed on.
                for (std::size_t i = 0; i < plugin.controls.size(); ++i) {
                    const auto& parameter = plugin.type.controls[i];
                    const float values[] = {parameter.defaultValue, parameter.minimum, parameter.maximum, nan, 1e30f};
                    plugin.controls[i] = values[(step + i) % 5];
                }
                ++step;
                EXPECT_EQ(countWhileArmed([&] { plugin.run(frames); }), std::make_pair(std::size_t{0}, std::size_t{0}))
                    << kind.label << ", " << frames << " frames";
            }
        }
    }
}
#endif

}  // namespace
}  // namespace orvane
