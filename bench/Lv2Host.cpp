// A minimal LV2 host that times one plugin, as lv2bench does, but on a chosen input: stereo
// (or as many channels as the plugin has) white noise or silence, in fixed blocks, with every
// control at its default unless set. Prints "<ns per sample and channel> <channels>".
//   orvane_lv2_host [--input noise|silence] [--frames N] [--block N] [--runs N] [--rate HZ]
//                   [--set SYMBOL=VALUE]... [--verbose] URI
// Every run is a pass of N frames after an untimed one; the figure is the best run's wall time.
// --verbose also gives every run's wall and thread CPU time, to tell load from the plugin.
// Exit status 3: the plugin needs something this host does not offer (reason on stderr).
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/parameters/parameters.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

struct Settings {
    bool noise = true;
    std::uint32_t frames = 1u << 19;
    std::uint32_t block = 1024;
    int runs = 5;
    bool verbose = false;
    double rate = 48000.0;
    std::map<std::string, float> values;
    std::string uri;
};

double threadCpuNs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e9 + static_cast<double>(now.tv_nsec);
}

[[noreturn]] void fail(int status, const std::string& message) {
    std::fprintf(stderr, "%s\n", message.c_str());
    std::exit(status);
}

Settings parse(int argc, char** argv) {
    Settings settings;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto next = [&]() -> std::string {
            if (i + 1 >= argc) fail(1, "missing value after " + arg);
            return argv[++i];
        };
        if (arg == "--input") {
            const std::string input = next();
            if (input != "noise" && input != "silence") fail(1, "--input is noise or silence");
            settings.noise = input == "noise";
        } else if (arg == "--frames") {
            settings.frames = static_cast<std::uint32_t>(std::stoul(next()));
        } else if (arg == "--block") {
            settings.block = static_cast<std::uint32_t>(std::stoul(next()));
        } else if (arg == "--runs") {
            settings.runs = std::stoi(next());
        } else if (arg == "--verbose") {
            settings.verbose = true;
        } else if (arg == "--rate") {
            settings.rate = std::stod(next());
        } else if (arg == "--set") {
            const std::string assignment = next();
            const auto equals = assignment.find('=');
            if (equals == std::string::npos) fail(1, "--set takes SYMBOL=VALUE");
            settings.values[assignment.substr(0, equals)] = std::stof(assignment.substr(equals + 1));
        } else if (!arg.empty() && arg[0] != '-' && settings.uri.empty()) {
            settings.uri = arg;
        } else {
            fail(1,
                 "usage: orvane_lv2_host [--input noise|silence] [--frames N] [--block N] [--runs N] [--rate HZ] "
                 "[--set SYMBOL=VALUE]... [--verbose] URI");
        }
    }
    if (settings.uri.empty() || settings.block == 0 || settings.frames < settings.block || settings.runs < 1)
        fail(1, "need a URI, a block of at least one frame, at least one block and one run");
    return settings;
}

class UridMap {
public:
    LV2_URID map(const char* uri) {
        const auto [it, added] = ids.try_emplace(uri, static_cast<LV2_URID>(ids.size() + 1));
        if (added) uris.push_back(it->first.c_str());
        return it->second;
    }
    const char* unmap(LV2_URID id) const { return id >= 1 && id <= uris.size() ? uris[id - 1] : nullptr; }

    static LV2_URID mapFn(LV2_URID_Map_Handle handle, const char* uri) {
        return static_cast<UridMap*>(handle)->map(uri);
    }
    static const char* unmapFn(LV2_URID_Unmap_Handle handle, LV2_URID id) {
        return static_cast<UridMap*>(handle)->unmap(id);
    }

private:
    std::unordered_map<std::string, LV2_URID> ids;
    std::vector<const char*> uris;  // Node-based map: the keys stay put.
};

// lilv nodes freed on scope exit.
struct NodeDeleter {
    void operator()(LilvNode* node) const { lilv_node_free(node); }
};
using Node = std::unique_ptr<LilvNode, NodeDeleter>;

// An atom port's buffer, 8-byte aligned as atoms must be.
struct AtomBuffer {
    std::vector<std::uint64_t> storage = std::vector<std::uint64_t>(1024);
    bool output = false;
    LV2_Atom_Sequence* sequence() { return reinterpret_cast<LV2_Atom_Sequence*>(storage.data()); }
    // Before every run: inputs empty, outputs with their whole capacity free.
    void reset(LV2_URID sequenceType, LV2_URID chunkType) {
        LV2_Atom_Sequence* seq = sequence();
        seq->body.unit = 0;
        seq->body.pad = 0;
        if (output) {
            seq->atom.type = chunkType;
            seq->atom.size = static_cast<std::uint32_t>(storage.size() * sizeof(std::uint64_t) - sizeof(LV2_Atom));
        } else {
            seq->atom.type = sequenceType;
            seq->atom.size = sizeof(LV2_Atom_Sequence_Body);
        }
    }
};

// Nanoseconds per sample and channel, and the number of channels.
std::pair<double, std::size_t> measure(LilvWorld* world, const Settings& settings) {
    const LilvPlugins* plugins = lilv_world_get_all_plugins(world);
    const Node uriNode{lilv_new_uri(world, settings.uri.c_str())};
    const LilvPlugin* plugin = lilv_plugins_get_by_uri(plugins, uriNode.get());
    if (!plugin) fail(3, "not found (check LV2_PATH)");

    UridMap urids;
    LV2_URID_Map map{&urids, UridMap::mapFn};
    LV2_URID_Unmap unmap{&urids, UridMap::unmapFn};
    const auto block = static_cast<std::int32_t>(settings.block);
    const auto rate = static_cast<float>(settings.rate);
    const LV2_URID intType = urids.map(LV2_ATOM__Int);
    const LV2_URID floatType = urids.map(LV2_ATOM__Float);
    const LV2_Options_Option options[] = {
        {LV2_OPTIONS_INSTANCE, 0, urids.map(LV2_BUF_SIZE__minBlockLength), sizeof(block), intType, &block},
        {LV2_OPTIONS_INSTANCE, 0, urids.map(LV2_BUF_SIZE__maxBlockLength), sizeof(block), intType, &block},
        {LV2_OPTIONS_INSTANCE, 0, urids.map(LV2_BUF_SIZE__nominalBlockLength), sizeof(block), intType, &block},
        {LV2_OPTIONS_INSTANCE, 0, urids.map(LV2_PARAMETERS__sampleRate), sizeof(rate), floatType, &rate},
        {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
    const LV2_Feature mapFeature{LV2_URID__map, &map};
    const LV2_Feature unmapFeature{LV2_URID__unmap, &unmap};
    const LV2_Feature optionsFeature{LV2_OPTIONS__options, const_cast<LV2_Options_Option*>(options)};
    const LV2_Feature boundedFeature{LV2_BUF_SIZE__boundedBlockLength, nullptr};
    const LV2_Feature fixedFeature{LV2_BUF_SIZE__fixedBlockLength, nullptr};
    const LV2_Feature* const features[] = {&mapFeature,     &unmapFeature, &optionsFeature,
                                           &boundedFeature, &fixedFeature, nullptr};

    LilvNodes* required = lilv_plugin_get_required_features(plugin);
    LILV_FOREACH(nodes, i, required) {
        const char* feature = lilv_node_as_uri(lilv_nodes_get(required, i));
        const bool offered = std::any_of(std::begin(features), std::end(features) - 1,
                                         [&](const LV2_Feature* f) { return std::strcmp(f->URI, feature) == 0; });
        if (!offered && std::strcmp(feature, LV2_CORE__hardRTCapable) != 0)
            fail(3, std::string("needs feature ") + feature);
    }
    lilv_nodes_free(required);

    const Node audioClass{lilv_new_uri(world, LV2_CORE__AudioPort)};
    const Node cvClass{lilv_new_uri(world, LV2_CORE__CVPort)};
    const Node controlClass{lilv_new_uri(world, LV2_CORE__ControlPort)};
    const Node inputClass{lilv_new_uri(world, LV2_CORE__InputPort)};
    const Node atomClass{lilv_new_uri(world, LV2_ATOM__AtomPort)};
    const Node optional{lilv_new_uri(world, LV2_CORE__connectionOptional)};

    const std::uint32_t portCount = lilv_plugin_get_num_ports(plugin);
    std::vector<float> mins(portCount), maxes(portCount), controls(portCount);
    lilv_plugin_get_port_ranges_float(plugin, mins.data(), maxes.data(), controls.data());

    // Every audio port gets its own buffer: some plugins are not written for shared ones.
    std::vector<std::vector<float>> inputs, outputs;
    std::vector<AtomBuffer> atoms;
    atoms.reserve(portCount);
    struct Connection {
        std::uint32_t port;
        char kind;  // 'c' control, 'i' audio in, 'o' audio out, 'a' atom
        std::size_t index;
    };
    std::vector<Connection> connections;
    std::map<std::string, float> unused = settings.values;
    for (std::uint32_t p = 0; p < portCount; ++p) {
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, p);
        const bool input = lilv_port_is_a(plugin, port, inputClass.get());
        if (lilv_port_is_a(plugin, port, controlClass.get())) {
            const std::string symbol = lilv_node_as_string(lilv_port_get_symbol(plugin, port));
            if (std::isnan(controls[p]))
                controls[p] = !std::isnan(mins[p]) ? mins[p] : !std::isnan(maxes[p]) ? maxes[p] : 0;
            if (const auto it = unused.find(symbol); input && it != unused.end()) {
                controls[p] = it->second;
                unused.erase(it);
            }
            connections.push_back({p, 'c', p});
        } else if (lilv_port_is_a(plugin, port, audioClass.get()) || lilv_port_is_a(plugin, port, cvClass.get())) {
            auto& buffers = input ? inputs : outputs;
            buffers.emplace_back(settings.block, 0.0f);
            connections.push_back({p, input ? 'i' : 'o', buffers.size() - 1});
        } else if (lilv_port_is_a(plugin, port, atomClass.get())) {
            atoms.emplace_back().output = !input;
            connections.push_back({p, 'a', atoms.size() - 1});
        } else if (!lilv_port_has_property(plugin, port, optional.get())) {
            fail(3, "port " + std::to_string(p) + " has a type this host does not know");
        }
    }
    if (!unused.empty()) fail(1, "no input control port " + unused.begin()->first);
    const std::size_t channels = std::max(inputs.size(), outputs.size());
    if (channels == 0) fail(3, "no audio ports");

    LilvInstance* instance = lilv_plugin_instantiate(plugin, settings.rate, features);
    if (!instance) fail(3, "did not instantiate");
    for (const Connection& c : connections) {
        void* data = c.kind == 'c'   ? static_cast<void*>(&controls[c.index])
                     : c.kind == 'i' ? static_cast<void*>(inputs[c.index].data())
                     : c.kind == 'o' ? static_cast<void*>(outputs[c.index].data())
                                     : static_cast<void*>(atoms[c.index].sequence());
        lilv_instance_connect_port(instance, c.port, data);
    }

    // A ring of noise longer than any block, different on every channel; silence is the same
    // ring zeroed, so that both inputs cost the host the same copies.
    constexpr std::uint32_t ringFrames = 1u << 16;
    std::vector<std::vector<float>> ring(inputs.size(), std::vector<float>(ringFrames + settings.block, 0.0f));
    if (settings.noise) {
        std::mt19937 random(20240601);
        std::uniform_real_distribution<float> uniform(-0.5f, 0.5f);
        for (auto& channel : ring) std::generate(channel.begin(), channel.end(), [&] { return uniform(random); });
    }

    const LV2_URID sequenceType = urids.map(LV2_ATOM__Sequence);
    const LV2_URID chunkType = urids.map(LV2_ATOM__Chunk);
    const std::uint32_t blocks = settings.frames / settings.block;
    std::uint32_t position = 0;
    const auto pass = [&] {
        for (std::uint32_t b = 0; b < blocks; ++b) {
            for (std::size_t c = 0; c < inputs.size(); ++c)
                std::memcpy(inputs[c].data(), ring[c].data() + position, settings.block * sizeof(float));
            for (AtomBuffer& atom : atoms) atom.reset(sequenceType, chunkType);
            lilv_instance_run(instance, settings.block);
            position = (position + settings.block) % ringFrames;
        }
    };

    lilv_instance_activate(instance);
    // One untimed pass: first touches of the plugin's memory and the caches' warm-up stay out.
    pass();
    const double samples = static_cast<double>(blocks) * settings.block * static_cast<double>(channels);
    double best = HUGE_VAL;
    for (int run = 0; run < settings.runs; ++run) {
        const double cpuStart = threadCpuNs();
        const auto start = std::chrono::steady_clock::now();
        pass();
        const std::chrono::duration<double, std::nano> elapsed = std::chrono::steady_clock::now() - start;
        const double cpu = threadCpuNs() - cpuStart;
        best = std::min(best, elapsed.count());
        if (settings.verbose)
            std::fprintf(stderr, "run %d: wall %.3f, cpu %.3f ns per sample and channel\n", run + 1,
                         elapsed.count() / samples, cpu / samples);
    }
    lilv_instance_deactivate(instance);
    lilv_instance_free(instance);
    return {best / samples, channels};
}

}  // namespace

int main(int argc, char** argv) {
    const Settings settings = parse(argc, argv);
    LilvWorld* world = lilv_world_new();
    lilv_world_load_all(world);
    const auto [ns, channels] = measure(world, settings);
    lilv_world_free(world);
    std::printf("%.3f %zu\n", ns, channels);
    return 0;
}
