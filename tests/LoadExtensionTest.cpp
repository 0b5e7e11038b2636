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

TEST(LoadExtensionTest, NodeFromTheFactoryProcessesThroughTheHostInterface) {
    for (const std::string type : {"PingPongDelay", "AudioEffects.PingPongDelay"}) {
        SCOPED_TRACE(type);
        std::unique_ptr<AudioNode> node = createEffect(type);
        ASSERT_NE(node, nullptr);
        EXPECT_EQ(node->getNumberOfInputBuses(), 1u);
        EXPECT_EQ(node->getNumberOfOutputBuses(), 1u);

        // Parameters through the host's properties.
        EXPECT_EQ(node->getValue("delayMs").value(), OVAny(200u));
        const Result<void> set = node->setValue("delayMs", OVAny(100u));
        ASSERT_TRUE(set.ok()) << set.error();
        EXPECT_EQ(node->getValue("delayMs").value(), OVAny(100u));
        EXPECT_FALSE(node->setValue("delayMs", OVAny(-1)).ok());
        EXPECT_FALSE(node->setValue("delay", OVAny(100u)).ok());
        EXPECT_EQ(node->getValue("delayMs").value(), OVAny(100u));
        EXPECT_EQ(node->getValue("dryMix").value(), OVAny(0.7f));
        EXPECT_EQ(node->getValue("wetMix").value(), OVAny(0.3f));
        EXPECT_EQ(node->getValue("enabled").value(), OVAny(true));

        // Formats through the list-level operation.
        AudioBusFormatList inputFormats{AudioBusFormat{48000, 2, 0}};
        AudioBusFormatList outputFormats{AudioBusFormat{0, 0, 512}};
        EXPECT_TRUE(node->setBusFormats(inputFormats, outputFormats));
        EXPECT_EQ(inputFormats.front(), (AudioBusFormat{48000, 2, 512}));
        EXPECT_EQ(outputFormats.front(), (AudioBusFormat{48000, 2, 512}));
        AudioBusFormatList monoIn{AudioBusFormat{48000, 1, 512}};
        AudioBusFormatList monoOut{AudioBusFormat{48000, 1, 512}};
        EXPECT_FALSE(node->setBusFormats(monoIn, monoOut));

        // Ten blocks of 512 frames with a left impulse at frame 0: 100 ms is 4800 frames.
        constexpr std::uint32_t blockFrames = 512;
        constexpr std::uint32_t blocks = 10;
        AudioBuffer<float> input(2, blockFrames, 48000);
        AudioBuffer<float> output(2, blockFrames, 48000);
        std::vector<float> left;
        std::vector<float> right;
        for (std::uint32_t block = 0; block < blocks; ++block) {
            for (std::uint32_t f = 0; f < blockFrames; ++f) {
                input.setSample(0, f, block == 0 && f == 0 ? 1.0f : 0.0f);
                input.setSample(1, f, 0.0f);
            }
            AudioBusList inputBuses{AudioBus(input)};
            AudioBusList outputBuses{AudioBus(output)};
            ASSERT_TRUE(node->process(inputBuses, outputBuses));
            ASSERT_EQ(output.getNumberOfChannels(), 2u);
            ASSERT_EQ(output.getNumberOfFrames(), blockFrames);
            for (std::uint32_t f = 0; f < blockFrames; ++f) {
                left.push_back(output.getSample(0, f));
                right.push_back(output.getSample(1, f));
            }
        }
        ASSERT_EQ(left.size(), 5120u);
        EXPECT_EQ(left[0], 1.0f * 0.7f);
        EXPECT_EQ(right[0], 0.0f);
        for (std::size_t f = 1; f < 4800; ++f) {
            ASSERT_EQ(left[f], 0.0f) << "left frame " << f;
            ASSERT_EQ(right[f], 0.0f) << "right frame " << f;
        }
        // The echo: the left line held the impulse; the right line its feedback.
        EXPECT_EQ(left[4800], 0.3f);
        EXPECT_EQ(right[4800], (1.0f * 0.2f) * 0.3f);
        for (std::size_t f = 4801; f < left.size(); ++f) {
            ASSERT_EQ(left[f], 0.0f) << "left frame " << f;
            ASSERT_EQ(right[f], 0.0f) << "right frame " << f;
        }

        // Lists that do not hold exactly one bus each are refused.
        AudioBusList none;
        AudioBusList one{AudioBus(output)};
        EXPECT_FALSE(node->process(none, one));
        AudioBusList two{AudioBus(input), AudioBus(input)};
        EXPECT_FALSE(node->process(two, one));
    }
}

TEST(LoadExtensionTest, EveryTypeRunsThroughTheHostInterface) {
    for (const std::string type : {"Delay", "PingPongDelay", "Vibrato", "Flanger", "Chorus"}) {
        SCOPED_TRACE(type);
        std::unique_ptr<AudioNode> node = createEffect("AudioEffects." + type);
        ASSERT_NE(node, nullptr);
        AudioBusFormatList inputFormats{AudioBusFormat{44100, 2, 256}};
        AudioBusFormatList outputFormats{AudioBusFormat{44100, 2, 256}};
        EXPECT_TRUE(node->setBusFormats(inputFormats, outputFormats));
        AudioBuffer<float> input(2, 256, 44100);
        AudioBuffer<float> output;
        for (std::uint32_t f = 0; f < 256; ++f) {
            input.setSample(0, f, 0.25f);
            input.setSample(1, f, -0.25f);
        }
        AudioBusList inputBuses{AudioBus(input)};
        AudioBusList outputBuses{AudioBus(output)};
        for (int block = 0; block < 4; ++block) ASSERT_TRUE(node->process(inputBuses, outputBuses));
        EXPECT_EQ(output.getNumberOfChannels(), 2u);
        EXPECT_EQ(output.getNumberOfFrames(), 256u);
        EXPECT_EQ(output.getSampleRate(), 44100u);
    }
}

}  // namespace
}  // namespace orvane
