// Loads the effects library the way a host does: this binary links only the SDK, opens the
// library at run time and reaches the nodes through the factory, properties and bus lists.

#include <gtest/gtest.h>

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

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The first test to run in a process sees the registry before the library is loaded.
TEST(LoadExtensionTest, LoadingRegistersTheAudioEffectsExtensionOnce) {
    ExtensionManager& manager = ExtensionManager::getInstance();
    const auto before = manager.getExtensions();
    ASSERT_EQ(manager.findExtension("AudioEffects"), nullptr);

    auto loaded = manager.loadLibrary(extensionLibrary);
    ASSERT_TRUE(loaded.ok()) << loaded.error();
    ASSERT_EQ(loaded.value().size(), 1u);
    const std::shared_ptr<Extension> extension = loaded.value().front();
    EXPECT_EQ(extension->getName(), "AudioEffects");
    EXPECT_EQ(extension->getDescription(), "Basic audio effects such as delay, chorus, flanger, and vibrato.");
    EXPECT_EQ(manager.findExtension("AudioEffects"), extension);
    const auto after = manager.getExtensions();
    EXPECT_EQ(after.size(), before.size() + 1);
    for (int attempt = 0; attempt < 3; ++attempt) {  // loading again answers the same and adds nothing
        auto again = manager.loadLibrary(extensionLibrary);
        ASSERT_TRUE(again.ok()) << again.error();
        EXPECT_EQ(again.value(), loaded.value());
    }
    EXPECT_EQ(manager.getExtensions(), after);
    const std::shared_ptr<NodeFactory> factory = extension->getNodeFactory();
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(factory->getNodeTypes().size(), 5u);

    // A second library answers its own extension, and each library keeps answering its own.
    auto other = manager.loadLibrary(ORVANE_OTHER_EXTENSION_LIBRARY);
    ASSERT_TRUE(other.ok()) << other.error();
    ASSERT_EQ(other.value().size(), 1u);
    EXPECT_EQ(other.value().front()->getName(), "Other");
    EXPECT_EQ(manager.getExtensions().size(), before.size() + 2);
    EXPECT_EQ(manager.loadLibrary(extensionLibrary).value(), loaded.value());
    EXPECT_EQ(manager.loadLibrary(ORVANE_OTHER_EXTENSION_LIBRARY).value(), other.value());
}

// A missing file fails with the loader's message; a library that registers nothing is
// refused, the same way each time; neither changes the registry.
TEST(LoadExtensionTest, LibrariesThatCannotServeAreRefused) {
    ExtensionManager& manager = ExtensionManager::getInstance();
    const auto before = manager.getExtensions();
    for (const auto& [path, message] :
         {std::pair<std::string, std::string>{"/nonexistent/libNoSuchExtension.so", "No such file or directory"},
          {ORVANE_SDK_LIBRARY, "registered no extension"},
          {"libm.so.6", "registered no extension"}}) {
        auto result = manager.loadLibrary(path);
        ASSERT_FALSE(result.ok()) << path;
        EXPECT_TRUE(contains(result.error(), path) && contains(result.error(), message)) << result.error();
        EXPECT_EQ(manager.loadLibrary(path).error(), result.error());
        EXPECT_EQ(manager.getExtensions(), before) << path;
    }
    EXPECT_FALSE(manager.loadLibrary("").ok());
    EXPECT_EQ(manager.getExtensions(), before);
}

// A host that links only the SDK reaches every type by name, agrees formats and runs blocks
// through the list-level interface.
TEST(LoadExtensionTest, EveryTypeRunsThroughTheHostInterface) {
    ASSERT_TRUE(ExtensionManager::getInstance().loadLibrary(extensionLibrary).ok());
    const auto factory = ExtensionManager::getInstance().findExtension("AudioEffects")->getNodeFactory();
    for (const std::string type : {"Delay", "PingPongDelay", "Vibrato", "Flanger", "Chorus"}) {
        SCOPED_TRACE(type);
        auto created = factory->createNode("AudioEffects." + type, OVAnyMap{});
        ASSERT_TRUE(created.ok()) << created.error();
        auto* node = dynamic_cast<AudioNode*>(created.value().get());
        ASSERT_NE(node, nullptr);
        EXPECT_EQ(node->getNumberOfInputBuses(), 1u);
        EXPECT_EQ(node->getNumberOfOutputBuses(), 1u);
        AudioBusFormatList inputFormats{AudioBusFormat{48000, 2, 0}}, outputFormats{AudioBusFormat{0, 0, 512}};
        EXPECT_TRUE(node->setBusFormats(inputFormats, outputFormats));
        EXPECT_EQ(outputFormats.front(), (AudioBusFormat{48000, 2, 512}));
        AudioBuffer<float> input(2, 512, 48000), output;
        AudioBusList inputBuses{AudioBus(input)}, outputBuses{AudioBus(output)};
        ASSERT_TRUE(node->process(inputBuses, outputBuses));
        EXPECT_EQ(output.getNumberOfChannels(), 2u);
        EXPECT_EQ(output.getNumberOfFrames(), 512u);
        // Lists that do not hold exactly one bus each are refused.
        for (const auto& [inputs, outputs] : {std::pair{0u, 1u}, {2u, 1u}, {1u, 0u}, {1u, 2u}}) {
            AudioBusList in(inputs, AudioBus(input)), out(outputs, AudioBus(output));
            EXPECT_FALSE(node->process(in, out)) << inputs << " to " << outputs;
            AudioBusFormatList inFormats(inputs, AudioBusFormat{48000, 2, 0}), outFormats(outputs);
            EXPECT_FALSE(node->setBusFormats(inFormats, outFormats)) << inputs << " to " << outputs;
        }
    }
}

}  // namespace
}  // namespace orvane
