// The bundle's presets as hosts meet them: lilv finds them for every plugin, restores each to
// values inside the ports' ranges, exactly the preset table's; and a plugin whose controls
// hold a restored preset gives the bits the offline renderer gives with that preset (the
// renderer under orvane-fx and the Python package).

#include <gtest/gtest.h>
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/presets/presets.h>
#include <lv2/urid/urid.h>

#include <map>
#include <string>
#include <vector>

#include "PluginHarness.h"
#include "render/OfflineRenderer.h"

namespace orvane::lv2testing {
namespace {

/// URIDs for lilv's state API: each URI its index, once.
struct UridMap {
    std::vector<std::string> uris;
    LV2_URID_Map map{this, [](LV2_URID_Map_Handle handle, const char* uri) -> LV2_URID {
                         auto& uris = static_cast<UridMap*>(handle)->uris;
                         for (std::size_t i = 0; i < uris.size(); ++i)
                             if (uris[i] == uri) return static_cast<LV2_URID>(i + 1);
                         uris.emplace_back(uri);
                         return static_cast<LV2_URID>(uris.size());
                     }};
    LV2_URID operator()(const char* uri) { return map.map(map.handle, uri); }
};

struct Restored {
    std::string label;
    std::map<std::string, float> values;  // port symbol -> value, as lilv restores them
};

/// Every preset lilv finds for the plugin, restored through lilv's state API.
std::vector<Restored> restoredPresets(LilvWorld* world, const LilvPlugin* plugin, UridMap& urids) {
    LilvNode* presetClass = lilv_new_uri(world, LV2_PRESETS__Preset);
    LilvNodes* presets = lilv_plugin_get_related(plugin, presetClass);
    std::vector<Restored> found;
    LILV_FOREACH(nodes, i, presets) {
        const LilvNode* preset = lilv_nodes_get(presets, i);
        lilv_world_load_resource(world, preset);
        LilvState* state = lilv_state_new_from_world(world, &urids.map, preset);
        if (!state) {
            ADD_FAILURE() << "lilv cannot load " << lilv_node_as_uri(preset);
            continue;
        }
        Restored& restored =
            found.emplace_back(Restored{lilv_state_get_label(state) ? lilv_state_get_label(state) : "", {}});
        struct Context {
            Restored* restored;
            UridMap* urids;
        } context{&restored, &urids};
        lilv_state_restore(
            state, nullptr,
            [](const char* symbol, void* data, const void* value, uint32_t, uint32_t type) {
                auto& [into, map] = *static_cast<Context*>(data);
                float number = NAN;
                if (type == (*map)(LV2_ATOM__Float)) number = *static_cast<const float*>(value);
                if (type == (*map)(LV2_ATOM__Double)) number = static_cast<float>(*static_cast<const double*>(value));
                if (type == (*map)(LV2_ATOM__Int)) number = static_cast<float>(*static_cast<const int32_t*>(value));
                if (type == (*map)(LV2_ATOM__Long)) number = static_cast<float>(*static_cast<const int64_t*>(value));
                into->values[symbol] = number;
            },
            &context, 0, nullptr);
        lilv_state_free(state);
    }
    lilv_nodes_free(presets);
    lilv_node_free(presetClass);
    return found;
}

TEST(Lv2PresetTest, LilvRestoresEveryPresetOfTheTableInsideThePortsRanges) {
    LilvWorld* world = lilv_world_new();
    LilvNode* bundle = lilv_new_file_uri(world, nullptr, ORVANE_LV2_BUNDLE);
    lilv_world_load_bundle(world, bundle);
    UridMap urids;
    for (const lv2::PluginType& type : lv2::pluginTypes()) {
        SCOPED_TRACE(std::string(type.kind.label));
        LilvNode* uri = lilv_new_uri(world, std::string(type.kind.uri).c_str());
        const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
        ASSERT_NE(plugin, nullptr);
        const std::vector<Restored> restored = restoredPresets(world, plugin, urids);
        const auto table = render::presetsOf(type.effect.type);
        EXPECT_GE(restored.size(), 2u);
        EXPECT_EQ(restored.size(), table.size());
        for (const Restored& preset : restored) {
            const render::EffectPreset* expected = render::findPreset(type.effect.type, preset.label);
            ASSERT_NE(expected, nullptr) << preset.label;
            EXPECT_EQ(preset.values.size(), expected->values.size()) << preset.label;
            for (const auto& [symbol, value] : expected->values) {
                ASSERT_TRUE(preset.values.contains(std::string(symbol))) << preset.label << " " << symbol;
                const float got = preset.values.at(std::string(symbol));
                EXPECT_EQ(got, value) << preset.label << " " << symbol;
                LilvNode* portSymbol = lilv_new_string(world, std::string(symbol).c_str());
                const LilvPort* port = lilv_plugin_get_port_by_symbol(plugin, portSymbol);
                ASSERT_NE(port, nullptr) << symbol;
                LilvNode *def = nullptr, *min = nullptr, *max = nullptr;
                lilv_port_get_range(plugin, port, &def, &min, &max);
                EXPECT_GE(got, lilv_node_as_float(min)) << preset.label << " " << symbol;
                EXPECT_LE(got, lilv_node_as_float(max)) << preset.label << " " << symbol;
                lilv_node_free(def), lilv_node_free(min), lilv_node_free(max), lilv_node_free(portSymbol);
            }
            // The same bits as the renderer's effect started from the preset.
            PluginInstance instance(std::string(type.kind.label), 48000, 512);
            for (const auto& [symbol, value] : preset.values) instance.set(symbol, value);
            const Channels signal = noise(type.kind.channels, 20000, 3);
            const Channels fromLv2 = instance.process(signal, 512);
            render::OfflineEffect effect(type.effect);
            effect.applyPreset(*expected);
            render::OfflineEffect* const chain[] = {&effect};
            render::OfflineRender renderer(chain, {type.kind.channels, 48000, 512, 0, true, signal[0].size()});
            Channels fromRenderer(signal.size(), std::vector<float>(signal[0].size()));
            std::vector<const float*> in;
            std::vector<float*> out;
            for (std::size_t c = 0; c < signal.size(); ++c)
                in.push_back(signal[c].data()), out.push_back(fromRenderer[c].data());
            renderer.renderAll(in.data(), signal[0].size(), out.data());
            EXPECT_TRUE(testing::sameBits(fromLv2, fromRenderer)) << preset.label;
        }
        lilv_node_free(uri);
    }
    lilv_node_free(bundle);
    lilv_world_free(world);
}

}  // namespace
}  // namespace orvane::lv2testing
