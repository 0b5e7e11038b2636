// Loads the effects library the way a host does: this binary links only the SDK, opens the
// library at run time and reaches the nodes through the factory, properties and bus lists.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/AudioBuffer.h"
#include "host/AudioBus.h"
#include "host/AudioBusFormat.h"
#include "host/AudioNode.h"
#include "host/ExtensionManager.h"
#include "host/NodeFactory.h"
#include "host/OVAny.h"

namespace orvane {
namespace {

const std::string extensionLibrary = ORVANE_EXTENSION_LIBRARY;
const std::string sdkLibrary = ORVANE_SDK_LIBRARY;

std::size_t countNamed(const std::vector<std::shared_ptr<Extension>>& extensions, const std::string& name) {
    std::size_t count = 0;
    for (const auto& extension : extensions)
        if (extension->getName() == name) ++count;
    return count;
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Loads the effects library once for the whole binary and answers what the load answered.
const std::vector<std::shared_ptr<Extension>>& loadEffects() {
    static const std::vector<std::shared_ptr<Extension>> loaded = [] {
        auto result = ExtensionManager::getInstance().loadLibrary(extensionLibrary);
        EXPECT_TRUE(result.ok()) << result.error();
        return result.ok() ? result.value() : std::vector<std::shared_ptr<Extension>>{};
    }();
    return loaded;
}

std::unique_ptr<AudioNode> createEffect(const std::string& type) {
    loadEffects();
    const std::shared_ptr<Extension> extension = ExtensionManager::getInstance().findExtension("AudioEffects");
    if (!extension) {
        ADD_FAILURE() << "no AudioEffects extension";
        return nullptr;
    }
    const std::shared_ptr<NodeFactory> factory = extension->getNodeFactory();
    auto created = factory->createNode(type, OVAnyMap{});
    if (!created.ok()) {
        ADD_FAILURE() << created.error();
        return nullptr;
    }
    std::unique_ptr<Node> node = std::move(created).value();
    auto* audio = dynamic_cast<AudioNode*>(node.get());
    if (!audio) {
        ADD_FAILURE() << type << " is not an audio node";
        return nullptr;
    }
    node.release();
    return std::unique_ptr<AudioNode>(audio);
}

// The first test to run in a process sees the registry before the library is loaded.
TEST(LoadExtensionTest, LoadingRegistersTheAudioEffectsExtension) {
    ExtensionManager& manager = ExtensionManager::getInstance();
    const auto before = manager.getExtensions();
    const bool alreadyLoaded = countNamed(before, "AudioEffects") > 0;

    const auto& loaded = loadEffects();
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded.front()->getName(), "AudioEffects");
    EXPECT_EQ(loaded.front()->getDescription(), "Basic audio effects such as delay, chorus, flanger, and vibrato.");
    EXPECT_EQ(manager.findExtension("AudioEffects"), loaded.front());
    const auto after = manager.getExtensions();
    EXPECT_EQ(after.size(), before.size() + (alreadyLoaded ? 0 : 1));
    EXPECT_EQ(countNamed(after, "AudioEffects"), 1u);

    EXPECT_TRUE(loaded.front()->initialize(OVAnyMap{}).ok());
    const std::shared_ptr<NodeFactory> factory = loaded.front()->getNodeFactory();
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(factory->getNodeTypePrefix(), "AudioEffects");
    const auto types = factory->getNodeTypes();
    ASSERT_EQ(types.size(), 5u);
    const char* names[] = {"Delay", "PingPongDelay", "Vibrato", "Flanger", "Chorus"};
    for (std::size_t i = 0; i < types.size(); ++i) EXPECT_EQ(types[i].type, names[i]);
    EXPECT_TRUE(loaded.front()->deinitialize().ok());
}

TEST(LoadExtensionTest, LoadingTheLibraryAgainAddsNothing) {
    const auto& first = loadEffects();
    ASSERT_EQ(first.size(), 1u);
    ExtensionManager& manager = ExtensionManager::getInstance();
    const auto before = manager.getExtensions();
    for (int attempt = 0; attempt < 3; ++attempt) {
        auto again = manager.loadLibrary(extensionLibrary);
        ASSERT_TRUE(again.ok()) << again.error();
        EXPECT_EQ(again.value(), first);
    }
    EXPECT_EQ(manager.getExtensions(), before);
}

TEST(LoadExtensionTest, MissingLibraryFailsWithTheLoaderMessage) {
    ExtensionManager& manager = ExtensionManager::getInstance();
    const auto before = manager.getExtensions();
    const std::string path = "/nonexistent/dir/libNoSuchExtension.so";
    auto result = manager.loadLibrary(path);
    ASSERT_FALSE(result.ok());
    EXPECT_TRUE(contains(result.error(), path)) << result.error();
    EXPECT_TRUE(contains(result.error(), "No such file or directory")) << result.error();
    EXPECT_EQ(manager.getExtensions(), before);

    auto empty = manager.loadLibrary("");
    EXPECT_FALSE(empty.ok());
    EXPECT_EQ(manager.getExtensions(), before);
}

TEST(LoadExtensionTest, LibraryWithoutExtensionIsRefused) {
    ExtensionManager& manager = ExtensionManager::getInstance();
    const auto before = manager.getExtensions();
    for (const std::string& path : {sdkLibrary, std::string("libm.so.6")}) {
        auto result = manager.loadLibrary(path);
        ASSERT_FALSE(result.ok()) << path;
        EXPECT_TRUE(contains(result.error(), path)) << result.error();
        EXPECT_TRUE(contains(result.error(), "registered no extension")) << result.error();
        EXPECT_EQ(manager.getExtensions(), before) << path;
        // A second attempt fails the same way.
        EXPECT_EQ(manager.loadLibrary(path).error(), result.error());
    }
    EXPECT_EQ(manager.getExtensions(), before);
}

// A host that links only the SDK reaches every type by name, agrees formats and runs blocks
// through the list-level interface; the ping-pong delay's echo arrives where it should.
TEST(LoadExtensionTest, EveryTypeRunsThroughTheHostInterface) {
    for (const std::string type : {"Delay", "PingPongDelay", "Vibrato", "Flanger", "Chorus"}) {
        SCOPED_TRACE(type);
        std::unique_ptr<AudioNode> node = createEffect("AudioEffects." + type);
        ASSERT_NE(node, nullptr);
        if (type == "PingPongDelay") {
            ASSERT_TRUE(node->setValue("delayMs", OVAny(10u)).ok());
        }
        AudioBusFormatList inputFormats{AudioBusFormat{48000, 2, 0}};
        AudioBusFormatList outputFormats{AudioBusFormat{0, 0, 512}};
        EXPECT_TRUE(node->setBusFormats(inputFormats, outputFormats));
        EXPECT_EQ(outputFormats.front(), (AudioBusFormat{48000, 2, 512}));
        AudioBuffer<float> input(2, 512, 48000);
        AudioBuffer<float> output;
        input.setSample(0, 0, 1.0f);
        AudioBusList inputBuses{AudioBus(input)};
        AudioBusList outputBuses{AudioBus(output)};
        ASSERT_TRUE(node->process(inputBuses, outputBuses));
        EXPECT_EQ(output.getNumberOfChannels(), 2u);
        EXPECT_EQ(output.getNumberOfFrames(), 512u);
        if (type == "PingPongDelay") {  // 10 ms is 480 frames: the left echo, then its feedback on the right
            EXPECT_EQ(output.getSample(0, 0), 0.7f);
            EXPECT_EQ(output.getSample(0, 480), 0.3f);
            EXPECT_EQ(output.getSample(1, 480), (1.0f * 0.2f) * 0.3f);
        }
        // Lists that do not hold exactly one bus each are refused.
        AudioBusList none;
        EXPECT_FALSE(node->process(none, outputBuses));
        AudioBusList two{AudioBus(input), AudioBus(input)};
        EXPECT_FALSE(node->process(two, outputBuses));
    }
}

}  // namespace
}  // namespace orvane
