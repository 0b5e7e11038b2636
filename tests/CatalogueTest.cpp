// The catalogue: type records, the factory and its order, the extension's registration at
// start-up and the exported entry points.

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "extension/AudioEffectsExtension.h"
#include "extension/AudioEffectsNodeFactory.h"
#include "extension/OVAudioEffectsExtension.h"
#include "host/ExtensionManager.h"
#include "metadata/NodeTypeInfo.h"
#include "nodes/ChorusNode.h"
#include "nodes/DelayNode.h"
#include "nodes/EffectParameters.h"
#include "nodes/FlangerNode.h"
#include "nodes/PingPongDelayNode.h"
#include "nodes/VibratoNode.h"

namespace orvane {
namespace {

using namespace extensions::audioeffects;

// The registry before any test ran: the linked library registered itself while loading.
const std::vector<std::shared_ptr<Extension>> extensionsAtStartUp = ExtensionManager::getInstance().getExtensions();
const std::string description = "Basic audio effects such as delay, chorus, flanger, and vibrato.";

// A missing key names itself and the type; a record is made afresh, equal, each time.
TEST(NodeTypeInfoTest, PropertyLookups) {
    const NodeTypeInfo pingPong = PingPongDelayNode::getNodeTypeInfo();
    EXPECT_EQ(pingPong.getProperty("delayMs"), OVAny::convert<OVAnyMap>(pingPong.properties.at("delayMs")));
    EXPECT_EQ(pingPong, PingPongDelayNode::getNodeTypeInfo());
    try {
        (void)DelayNode::getNodeTypeInfo().getProperty("enabled");
        ADD_FAILURE() << "found";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(),
                     "[NodeTypeInfo] Property key 'enabled' not found for node type 'AudioEffects.Delay'.");
    }
}

struct Record {
    const char* type;
    const char* displayName;
    const char* description;
    NodeTypeInfo (*info)();
};

const Record catalogue[] = {
    {"Delay", "Delay", "Applies a delay effect to the input audio signal.", &DelayNode::getNodeTypeInfo},
    {"PingPongDelay", "Ping Pong Delay", "Applies a ping pong delay effect to the input audio signal.",
     &PingPongDelayNode::getNodeTypeInfo},
    {"Vibrato", "Vibrato", "Applies a vibrato effect to the input audio signal.", &VibratoNode::getNodeTypeInfo},
    {"Flanger", "Flanger", "Applies a flanger effect to the input audio signal.", &FlangerNode::getNodeTypeInfo},
    {"Chorus", "Chorus", "Applies a chorus effect to the input audio signal.", &ChorusNode::getNodeTypeInfo},
};

TEST(AudioEffectsNodeFactoryTest, OffersTheFiveRecordsInOrder) {
    AudioEffectsNodeFactory factory;
    EXPECT_EQ(factory.getNodeTypePrefix(), "AudioEffects");
    const std::vector<NodeTypeInfo> types = factory.getNodeTypes();
    ASSERT_EQ(types.size(), std::size(catalogue));
    for (std::size_t i = 0; i < types.size(); ++i) {
        const Record& record = catalogue[i];
        SCOPED_TRACE(record.type);
        EXPECT_EQ(types[i], record.info());
        EXPECT_EQ(types[i].nodeNamespace, "AudioEffects");
        EXPECT_EQ(types[i].type, record.type);
        EXPECT_EQ(types[i].displayName, record.displayName);
        EXPECT_EQ(types[i].description, record.description);
        EXPECT_EQ(types[i].categories, (std::vector<std::string>{"Audio Processing", "Effects"}));
        EXPECT_TRUE(types[i].configuration.empty() && types[i].actions.empty() && types[i].events.empty());
        EXPECT_EQ(types[i].properties.empty(), i != 1);
        for (const std::string& name : {std::string(record.type), "AudioEffects." + std::string(record.type)}) {
            auto created = factory.createNode(name, OVAnyMap{{"anything", 1}});
            ASSERT_TRUE(created.ok()) << created.error();
            EXPECT_NE(dynamic_cast<SingleBusAudioProcessorNode*>(created.value().get()), nullptr);
        }
    }
    for (const std::string name : {"Reverb", "delay", "Orvane.Delay", "AudioEffects.", ""}) {
        const auto created = factory.createNode(name, OVAnyMap{});
        ASSERT_FALSE(created.ok()) << name;
        EXPECT_EQ(created.error(), "Unknown node type '" + name +
                                       "'; known types: AudioEffects.Delay, AudioEffects.PingPongDelay, "
                                       "AudioEffects.Vibrato, AudioEffects.Flanger, AudioEffects.Chorus");
    }
}

// What every front end offers of each parameter: kind, unit, default and range. A switch
// takes 0 and 1 only.
TEST(EffectParametersTest, EveryParameterHasItsKindUnitDefaultAndRange) {
    using enum ParameterKind;
    using enum ParameterUnit;
    struct Row {
        const char* name;
        ParameterKind kind;
        ParameterUnit unit;
        float defaultValue, minimum, maximum;
    };
    const std::vector<Row> delays = {{"enabled", Boolean, None, 1, 0, 1},
                                     {"delayMs", Int, Milliseconds, 200, 1, 1000},
                                     {"dryMix", Float, Gain, 0.7f, 0, 1},
                                     {"wetMix", Float, Gain, 0.3f, 0, 1},
                                     {"feedbackLevel", Float, Gain, 0.2f, 0, 0.99f}};
    const auto sweeps = [](float width, float widthMaximum, float frequency, float frequencyMaximum) {
        return std::vector<Row>{{"enabled", Boolean, None, 1, 0, 1},
                                {"sweepWidth", Float, Seconds, width, 0, widthMaximum},
                                {"frequency", Float, Hertz, frequency, 0, frequencyMaximum}};
    };
    const std::vector<Row> expected[] = {delays, delays, sweeps(0.01f, 0.05f, 4, 20), sweeps(0.005f, 0.02f, 0.4f, 10),
                                         sweeps(0.025f, 0.1f, 0.2f, 10)};
    ASSERT_EQ(effectDescriptions.size(), std::size(expected));
    for (std::size_t e = 0; e < effectDescriptions.size(); ++e) {
        const EffectDescription& effect = effectDescriptions[e];
        EXPECT_EQ(effect.type, catalogue[e].type);
        ASSERT_EQ(effect.parameters.size(), expected[e].size()) << effect.type;
        for (std::size_t p = 0; p < expected[e].size(); ++p) {
            const EffectParameter& parameter = effect.parameters[p];
            const Row& row = expected[e][p];
            SCOPED_TRACE(std::string(effect.type) + "." + row.name);
            EXPECT_EQ(parameter.name, row.name);
            EXPECT_EQ(parameter.kind, row.kind);
            EXPECT_EQ(parameter.unit, row.unit);
            EXPECT_EQ(parameter.defaultValue, row.defaultValue);
            EXPECT_EQ(parameter.minimum, row.minimum);
            EXPECT_EQ(parameter.maximum, row.maximum);
        }
    }
}

// One extension registered at start-up; each factory is new, and its nodes outlive it.
TEST(AudioEffectsExtensionTest, LoadingRegisteredOneExtensionWhoseFactoriesNodesOutliveThem) {
    ASSERT_EQ(extensionsAtStartUp.size(), 1u);
    const std::shared_ptr<Extension>& extension = extensionsAtStartUp.front();
    EXPECT_NE(dynamic_cast<AudioEffectsExtension*>(extension.get()), nullptr);
    EXPECT_EQ(extension->getObjectType(), "extension");
    std::shared_ptr<NodeFactory> first = extension->getNodeFactory(), second = extension->getNodeFactory();
    ASSERT_NE(first, second);
    EXPECT_EQ(first.use_count(), 1);
    std::unique_ptr<Node> node = first->createNode("Delay", OVAnyMap{}).value();
    first.reset();
    EXPECT_EQ(second->getNodeTypes().size(), 5u);
    second.reset();
    AudioBuffer<float> buffer(2, 1, 48000);
    buffer.setSample(0, 0, 1.0f);
    AudioBus bus(buffer);
    EXPECT_TRUE(dynamic_cast<DelayNode&>(*node).process(bus, bus));
    EXPECT_EQ(buffer.getSample(0, 0), 0.7f);
}

TEST(AudioEffectsExtensionTest, EntryPointsRegisterOneMoreOrNothing) {
    ExtensionManager& manager = ExtensionManager::getInstance();
    const auto before = manager.getExtensions();
    ov_extension_load();
    ov_extension_anchor_OrvaneAudioEffects();
    EXPECT_EQ(manager.getExtensions(), before);
    OVAudioEffectsExtension_loadExtension();
    AudioEffectsExtension::load();
    const auto after = manager.getExtensions();
    ASSERT_EQ(after.size(), before.size() + 2);
    for (std::size_t i = before.size(); i < after.size(); ++i) {
        EXPECT_NE(dynamic_cast<AudioEffectsExtension*>(after[i].get()), nullptr);
        EXPECT_EQ(after[i]->getDescription(), description);
    }
    EXPECT_EQ(manager.findExtension("AudioEffects"), extensionsAtStartUp.front());  // the first one stays found
    // Loading the linked library by path answers what its code registered, and adds nothing
    // (a host linked with the library that also loads it, as the example host may be built).
    auto loaded = manager.loadLibrary(ORVANE_EXTENSION_LIBRARY);
    ASSERT_TRUE(loaded) << loaded.error();
    std::size_t ours = 0;
    for (const auto& extension : after) ours += dynamic_cast<AudioEffectsExtension*>(extension.get()) != nullptr;
    EXPECT_EQ(loaded.value().size(), ours);
    EXPECT_EQ(loaded.value().front(), extensionsAtStartUp.front());
    for (const auto& extension : loaded.value())
        EXPECT_NE(dynamic_cast<AudioEffectsExtension*>(extension.get()), nullptr);
    EXPECT_EQ(manager.getExtensions().size(), after.size());
}

}  // namespace
}  // namespace orvane
