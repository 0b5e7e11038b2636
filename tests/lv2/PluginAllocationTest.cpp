// Part of the allocation gate: every plugin's run(), instantiated through its descriptor,
// must not touch the heap, whatever the block size, the controls or the port layout.

#include <gtest/gtest.h>

#include <cstddef>
#include <limits>
#include <string>

#include "PluginHarness.h"
#include "support/CountingAllocator.h"

namespace orvane::lv2testing {
namespace {

TEST(Lv2AllocationTest, RunNeverAllocates) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (const lv2::PluginKind& kind : lv2::pluginKinds) {
        const std::string label(kind.label);
        // 10000 frames go to the node in pieces.
        PluginInstance plugin(label, 48000, 10000);
        plugin.inputs = noise(kind.channels, 10000, 0);
        std::size_t step = 0;
        for (bool inPlace : {false, true}) {
            plugin.connect(inPlace);
            for (std::uint32_t frames : {0u, 1u, 37u, 4096u, 10000u, 0u}) {
                // A different value on every control before every run: each is handed on.
                for (std::size_t i = 0; i < plugin.controls.size(); ++i) {
                    const lv2::ControlPort& port = plugin.type.controls[i];
                    const float values[] = {port.defaultValue, port.minimum, port.maximum, nan, 1e30f};
                    plugin.controls[i] = values[(step + i) % 5];
                }
                ++step;
                const std::size_t allocationsBefore = counts.allocations.load();
                const std::size_t releasesBefore = counts.releases.load();
                armed = true;
                plugin.run(frames);
                armed = false;
                EXPECT_EQ(counts.allocations.load() - allocationsBefore, 0u) << label << ", " << frames << " frames";
                EXPECT_EQ(counts.releases.load() - releasesBefore, 0u) << label << ", " << frames << " frames";
            }
        }
    }
}

}  // namespace
}  // namespace orvane::lv2testing
