// The catalogue side of the library: type records, the description vocabulary, the
// extension object and its registration, the node factory and the exported entry points.

#include <gtest/gtest.h>

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "extension/AudioEffectsExtension.h"
#include "extension/AudioEffectsNodeFactory.h"
#include "extension/OVAudioEffectsExtension.h"
#include "host/ExtensionManager.h"
#include "metadata/NodeTypeInfo.h"
#include "metadata/Vocabulary.h"
#include "nodes/ChorusNode.h"
#include "nodes/DelayNode.h"
#include "nodes/FlangerNode.h"
#include "nodes/PingPongDelayNode.h"
#include "nodes/VibratoNode.h"
#include "support/Blocks.h"

namespace orvane {
namespace {

using extensions::audioeffects::AudioEffectsExtension;
using extensions::audioeffects::AudioEffectsNodeFactory;
using extensions::audioeffects::ChorusNode;
using extensions::audioeffects::DelayNode;
using extensions::audioeffects::FlangerNode;
using extensions::audioeffects::PingPongDelayNode;
using extensions::audioeffects::VibratoNode;

// What the registry held when this binary started, before any test ran: the library is
// linked in, so it has registered itself while it was loaded.
const std::vector<std::shared_ptr<Extension>> extensionsAtStartUp = ExtensionManager::getInstance().getExtensions();

std::size_t countNamed(const std::vector<std::shared_ptr<Extension>>& extensions, const std::string& name) {
    std::size_t count = 0;
    for (const auto& extension : extensions)
        if (extension->getName() == name) ++count;
    return count;
}

// The message of the std::runtime_error that getProperty throws for key.
std::string propertyError(const NodeTypeInfo& info, const std::string& key) {
    try {
        (void)info.getProperty(key);
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    ADD_FAILURE() << "getProperty('" << key << "') did not throw";
    return {};
}

// ---------------------------------------------------------------------------------------
// NodeTypeInfo

TEST(NodeTypeInfoTest, FullyQualifiedNameAlwaysHasTheDot) {
    NodeTypeInfo info;
    info.nodeNamespace = "AudioEffects";
    info.type = "Delay";
    EXPECT_EQ(info.getFQTypeName(), "AudioEffects.Delay");
    info.nodeNamespace = "";
    EXPECT_EQ(info.getFQTypeName(), ".Delay");
    info.type = "";
    EXPECT_EQ(info.getFQTypeName(), ".");
    info.nodeNamespace = "AudioEffects";
    EXPECT_EQ(info.getFQTypeName(), "AudioEffects.");
}

TEST(NodeTypeInfoTest, GetPropertyAnswersTheMapOrThrowsNamingKeyAndType) {
    EXPECT_EQ(propertyError(DelayNode::getNodeTypeInfo(), "enabled"),
              "[NodeTypeInfo] Property key 'enabled' not found for node type 'AudioEffects.Delay'.");

    const NodeTypeInfo pingPong = PingPongDelayNode::getNodeTypeInfo();
    EXPECT_EQ(propertyError(pingPong, ""),
              "[NodeTypeInfo] Property key '' not found for node type 'AudioEffects.PingPongDelay'.");
    EXPECT_EQ(propertyError(pingPong, "DelayMs"),
              "[NodeTypeInfo] Property key 'DelayMs' not found for node type 'AudioEffects.PingPongDelay'.");
    EXPECT_EQ(pingPong, PingPongDelayNode::getNodeTypeInfo());  // the failed lookup changed nothing

    const OVAnyMap delayMs = pingPong.getProperty("delayMs");
    EXPECT_EQ(delayMs, OVAny::convert<OVAnyMap>(pingPong.properties.at("delayMs")));
    EXPECT_EQ(delayMs.at(PROPERTY_FIELD_TYPE), OVAny(PROPERTY_TYPE_INT));
    EXPECT_EQ(delayMs.at(PROPERTY_FIELD_DEFAULT_VALUE), OVAny(200));

    NodeTypeInfo custom;
    custom.type = "T";
    EXPECT_EQ(propertyError(custom, "x"), "[NodeTypeInfo] Property key 'x' not found for node type '.T'.");
    custom.properties.set("notAMap", 5);
    EXPECT_THROW((void)custom.getProperty("notAMap"), OVAnyConversionError);
}

TEST(NodeTypeInfoTest, RecordsAreFreshEqualValues) {
    NodeTypeInfo first = PingPongDelayNode::getNodeTypeInfo();
    const NodeTypeInfo second = PingPongDelayNode::getNodeTypeInfo();
    EXPECT_EQ(first, second);
    first.categories.push_back("Changed");
    first.properties.erase("delayMs");
    EXPECT_NE(first, second);
    EXPECT_EQ(second, PingPongDelayNode::getNodeTypeInfo());
    EXPECT_EQ(DelayNode::getNodeTypeInfo(), DelayNode::getNodeTypeInfo());
    EXPECT_EQ(ChorusNode::getNodeTypeInfo(), ChorusNode::getNodeTypeInfo());
    EXPECT_EQ(FlangerNode::getNodeTypeInfo(), FlangerNode::getNodeTypeInfo());
    EXPECT_EQ(VibratoNode::getNodeTypeInfo(), VibratoNode::getNodeTypeInfo());
}

// ---------------------------------------------------------------------------------------
// Vocabulary

struct Word {
    const char* name;
    const std::string& constant;
    const char* value;
};

#define WORD(NAME, VALUE) \
    Word { #NAME, NAME, VALUE }

TEST(VocabularyTest, EveryConstantHasItsValue) {
    const std::vector<Word> words = {
        WORD(ACTION_FIELD_NAME, "name"),
        WORD(ACTION_FIELD_DESCRIPTION, "description"),
        WORD(ACTION_FIELD_PARAMETERS, "parameters"),
        WORD(ACTION_FIELD_RETURN_TYPE, "returnType"),
        WORD(ACTION_FIELD_RETURN_DESCRIPTION, "returnDescription"),
        WORD(ACTION_FIELD_HANDLER, "handler"),
        WORD(ACTION_PARAMETER_FIELD_NAME, "name"),
        WORD(ACTION_PARAMETER_FIELD_DESCRIPTION, "description"),
        WORD(ACTION_PARAMETER_FIELD_TYPE, "type"),
        WORD(ACTION_PARAMETER_FIELD_IS_OPTIONAL, "isOptional"),
        WORD(ACTION_PARAMETER_TYPE_BOOLEAN, "boolean"),
        WORD(ACTION_PARAMETER_TYPE_FLOAT, "float"),
        WORD(ACTION_PARAMETER_TYPE_INT, "int"),
        WORD(ACTION_PARAMETER_TYPE_STRING, "string"),
        WORD(ACTION_PARAMETER_TYPE_ARRAY, "array"),
        WORD(ACTION_PARAMETER_TYPE_OBJECT, "object"),
        WORD(ACTION_RETURN_TYPE_BOOLEAN, "boolean"),
        WORD(ACTION_RETURN_TYPE_FLOAT, "float"),
        WORD(ACTION_RETURN_TYPE_INT, "int"),
        WORD(ACTION_RETURN_TYPE_STRING, "string"),
        WORD(ACTION_RETURN_TYPE_ARRAY, "array"),
        WORD(ACTION_RETURN_TYPE_OBJECT, "object"),
        WORD(CONFIGURATION_FIELD_TYPE, "type"),
        WORD(CONFIGURATION_FIELD_NAME, "name"),
        WORD(CONFIGURATION_FIELD_DESCRIPTION, "description"),
        WORD(CONFIGURATION_FIELD_DEFAULT, "default"),
        WORD(CONFIGURATION_FIELD_MIN_VALUE, "min"),
        WORD(CONFIGURATION_FIELD_MAX_VALUE, "max"),
        WORD(CONFIGURATION_FIELD_OPTIONS, "options"),
        WORD(CONFIGURATION_FIELD_VALUE, "value"),
        WORD(CONFIGURATION_TYPE_BOOLEAN, "boolean"),
        WORD(CONFIGURATION_TYPE_FLOAT, "float"),
        WORD(CONFIGURATION_TYPE_INT, "int"),
        WORD(CONFIGURATION_TYPE_STRING, "string"),
        WORD(CONFIGURATION_TYPE_ARRAY, "array"),
        WORD(CONFIGURATION_TYPE_OBJECT, "object"),
        WORD(EVENT_FIELD_NAME, "name"),
        WORD(EVENT_FIELD_DESCRIPTION, "description"),
        WORD(EVENT_FIELD_DATA, "data"),
        WORD(EVENT_DATA_FIELD_NAME, "name"),
        WORD(EVENT_DATA_FIELD_DESCRIPTION, "description"),
        WORD(EVENT_DATA_FIELD_TYPE, "type"),
        WORD(EVENT_DATA_TYPE_BOOLEAN, "boolean"),
        WORD(EVENT_DATA_TYPE_FLOAT, "float"),
        WORD(EVENT_DATA_TYPE_INT, "int"),
        WORD(EVENT_DATA_TYPE_STRING, "string"),
        WORD(PROPERTY_FIELD_TYPE, "type"),
        WORD(PROPERTY_FIELD_NAME, "name"),
        WORD(PROPERTY_FIELD_DESCRIPTION, "description"),
        WORD(PROPERTY_FIELD_DEFAULT_VALUE, "default"),
        WORD(PROPERTY_FIELD_UNIT, "unit"),
        WORD(PROPERTY_FIELD_MIN_VALUE, "min"),
        WORD(PROPERTY_FIELD_MAX_VALUE, "max"),
        WORD(PROPERTY_FIELD_OPTIONS, "options"),
        WORD(PROPERTY_FIELD_READ_ONLY, "readOnly"),
        WORD(PROPERTY_FIELD_VALUE, "value"),
        WORD(PROPERTY_FIELD_GETTER, "getter"),
        WORD(PROPERTY_FIELD_SETTER, "setter"),
        WORD(PROPERTY_TYPE_BOOLEAN, "boolean"),
        WORD(PROPERTY_TYPE_FLOAT, "float"),
        WORD(PROPERTY_TYPE_INT, "int"),
        WORD(PROPERTY_TYPE_STRING, "string"),
        WORD(PROPERTY_TYPE_OBJECT, "object"),
        WORD(PROPERTY_UNIT_MS, "ms"),
        WORD(PROPERTY_UNIT_DB, "dB"),
        WORD(PROPERTY_UNIT_PERCENT, "%"),
        WORD(PROPERTY_UNIT_HZ, "Hz"),
        WORD(PROPERTY_UNIT_SEMITONES, "semitones"),
        WORD(PROPERTY_UNIT_BPM, "BPM"),
        WORD(PROPERTY_UNIT_SAMPLES, "samples"),
        WORD(PROPERTY_UNIT_FRAMES, "frames"),
        WORD(PROPERTY_UNIT_CHANNELS, "channels"),
        WORD(PROPERTY_UNIT_BYTES, "bytes"),
        WORD(PROPERTY_UNIT_BITS, "bits"),
        WORD(ORVANE_NODE_NAMESPACE, "Orvane"),
        WORD(NODE_CATEGORY_AUDIO_PROCESSING, "Audio Processing"),
        WORD(NODE_CATEGORY_MIXING, "Mixing"),
        WORD(NODE_CATEGORY_MUSIC, "Music"),
        WORD(NODE_CATEGORY_VOICE, "Voice"),
        WORD(NODE_CATEGORY_GENERATION, "Generation"),
        WORD(NODE_CATEGORY_ANALYSIS, "Analysis"),
        WORD(NODE_CATEGORY_EFFECTS, "Effects"),
        WORD(NODE_CATEGORY_UTILITY, "Utility"),
        WORD(NODE_CATEGORY_AI, "AI"),
        WORD(NODE_CATEGORY_RTC, "RTC"),
        WORD(OBJECT_TYPE_FIELD_TYPE, "type"),
        WORD(OBJECT_TYPE_FIELD_SUBTYPE, "subtype"),
        WORD(OBJECT_TYPE_FIELD_DESCRIPTION, "description"),
        WORD(OBJECT_TYPE_FIELD_DISPLAY_NAME, "displayName"),
        WORD(OBJECT_TYPE_FIELD_CATEGORIES, "categories"),
        WORD(OBJECT_TYPE_FIELD_CONFIGURATION, "configuration"),
        WORD(OBJECT_TYPE_FIELD_PROPERTIES, "properties"),
        WORD(OBJECT_TYPE_FIELD_ACTIONS, "actions"),
        WORD(OBJECT_TYPE_FIELD_EVENTS, "events"),
        WORD(INHERITED_FROM_FIELD, "inheritedFrom"),
    };
    EXPECT_EQ(words.size(), 95u);
    for (const Word& word : words) EXPECT_EQ(word.constant, word.value) << word.name;
}

#undef WORD

// ---------------------------------------------------------------------------------------
// Extension

TEST(AudioEffectsExtensionTest, LoadingRegisteredExactlyOneExtension) {
    ASSERT_EQ(extensionsAtStartUp.size(), 1u);
    EXPECT_EQ(extensionsAtStartUp.front()->getName(), "AudioEffects");
    EXPECT_NE(dynamic_cast<AudioEffectsExtension*>(extensionsAtStartUp.front().get()), nullptr);
    EXPECT_EQ(ExtensionManager::getInstance().findExtension("AudioEffects"), extensionsAtStartUp.front());
}

TEST(AudioEffectsExtensionTest, NameDescriptionAndLifecycleCalls) {
    const std::shared_ptr<Extension> extension = ExtensionManager::getInstance().findExtension("AudioEffects");
    ASSERT_NE(extension, nullptr);
    EXPECT_EQ(extension->getName(), "AudioEffects");
    EXPECT_EQ(extension->getDescription(), "Basic audio effects such as delay, chorus, flanger, and vibrato.");
    EXPECT_EQ(extension->getObjectType(), "extension");
    EXPECT_TRUE(extension->initialize(OVAnyMap{}).ok());
    EXPECT_TRUE(extension->initialize(OVAnyMap{{"sampleRate", 48000u}, {"anything", "goes"}}).ok());
    EXPECT_TRUE(extension->deinitialize().ok());
    EXPECT_TRUE(extension->deinitialize().ok());
    EXPECT_TRUE(extension->getPropertyNames().empty());
    EXPECT_FALSE(extension->getValue("name").ok());

    // A fresh object answers the same.
    const AudioEffectsExtension local;
    EXPECT_EQ(local.getName(), "AudioEffects");
    EXPECT_EQ(local.getDescription(), extension->getDescription());
}

TEST(AudioEffectsExtensionTest, EachFactoryIsNewAndIndependent) {
    const std::shared_ptr<Extension> extension = ExtensionManager::getInstance().findExtension("AudioEffects");
    ASSERT_NE(extension, nullptr);
    std::shared_ptr<NodeFactory> first = extension->getNodeFactory();
    std::shared_ptr<NodeFactory> second = extension->getNodeFactory();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_EQ(first.use_count(), 1);
    EXPECT_NE(dynamic_cast<AudioEffectsNodeFactory*>(first.get()), nullptr);

    auto fromFirst = first->createNode("Delay", OVAnyMap{});
    auto fromSecond = second->createNode("AudioEffects.Chorus", OVAnyMap{});
    ASSERT_TRUE(fromFirst.ok());
    ASSERT_TRUE(fromSecond.ok());
    std::unique_ptr<Node> delay = std::move(fromFirst).value();
    std::unique_ptr<Node> chorus = std::move(fromSecond).value();

    first.reset();
    EXPECT_EQ(second->getNodeTypes().size(), 5u);
    auto another = second->createNode("Flanger", OVAnyMap{});
    ASSERT_TRUE(another.ok());
    second.reset();

    // Nodes outlive the factories that made them.
    auto* delayNode = dynamic_cast<DelayNode*>(delay.get());
    ASSERT_NE(delayNode, nullptr);
    const testing::Channels delayed = testing::processBlock(*delayNode, testing::impulse(2, 16, {0}), 48000);
    EXPECT_EQ(delayed[0][0], 1.0f * 0.7f);
    auto* chorusNode = dynamic_cast<ChorusNode*>(chorus.get());
    ASSERT_NE(chorusNode, nullptr);
    EXPECT_EQ(testing::processBlock(*chorusNode, testing::impulse(2, 16, {1}), 48000)[1][0], 1.0f);
    auto* flangerNode = dynamic_cast<FlangerNode*>(another.value().get());
    ASSERT_NE(flangerNode, nullptr);
    EXPECT_EQ(testing::processBlock(*flangerNode, testing::impulse(2, 16, {0}), 48000)[0][0], 1.0f);
}

TEST(AudioEffectsExtensionTest, LoaderFunctionRegistersOneMoreExtension) {
    ExtensionManager& manager = ExtensionManager::getInstance();
    const auto before = manager.getExtensions();
    OVAudioEffectsExtension_loadExtension();
    const auto after = manager.getExtensions();
    ASSERT_EQ(after.size(), before.size() + 1);
    for (std::size_t i = 0; i < before.size(); ++i) EXPECT_EQ(after[i], before[i]);
    const std::shared_ptr<Extension>& added = after.back();
    EXPECT_EQ(added->getName(), "AudioEffects");
    EXPECT_EQ(added->getDescription(), "Basic audio effects such as delay, chorus, flanger, and vibrato.");
    EXPECT_NE(dynamic_cast<AudioEffectsExtension*>(added.get()), nullptr);
    EXPECT_EQ(countNamed(after, "AudioEffects"), countNamed(before, "AudioEffects") + 1);
    for (std::size_t i = 0; i < before.size(); ++i) EXPECT_NE(added, before[i]);
    // The first registered one is still what a lookup by name finds.
    EXPECT_EQ(manager.findExtension("AudioEffects"), extensionsAtStartUp.front());

    AudioEffectsExtension::load();
    EXPECT_EQ(manager.getExtensions().size(), before.size() + 2);
}

TEST(AudioEffectsExtensionTest, ExportedNoOpFunctionsChangeNothing) {
    ExtensionManager& manager = ExtensionManager::getInstance();
    const auto before = manager.getExtensions();
    ov_extension_load();
    ov_extension_anchor_OrvaneAudioEffects();
    ov_extension_load();
    EXPECT_EQ(manager.getExtensions(), before);
}

// ---------------------------------------------------------------------------------------
// Factory

struct Expected {
    const char* type;
    const char* displayName;
    const char* description;
};

const Expected catalogue[] = {
    {"Delay", "Delay", "Applies a delay effect to the input audio signal."},
    {"PingPongDelay", "Ping Pong Delay", "Applies a ping pong delay effect to the input audio signal."},
    {"Vibrato", "Vibrato", "Applies a vibrato effect to the input audio signal."},
    {"Flanger", "Flanger", "Applies a flanger effect to the input audio signal."},
    {"Chorus", "Chorus", "Applies a chorus effect to the input audio signal."},
};

TEST(AudioEffectsNodeFactoryTest, OffersFiveTypesInOrder) {
    const AudioEffectsNodeFactory factory;
    EXPECT_EQ(factory.getNodeTypePrefix(), "AudioEffects");
    const std::vector<NodeTypeInfo> types = factory.getNodeTypes();
    ASSERT_EQ(types.size(), 5u);
    for (std::size_t i = 0; i < types.size(); ++i) {
        SCOPED_TRACE(catalogue[i].type);
        EXPECT_EQ(types[i].nodeNamespace, "AudioEffects");
        EXPECT_EQ(types[i].type, catalogue[i].type);
        EXPECT_EQ(types[i].getFQTypeName(), std::string("AudioEffects.") + catalogue[i].type);
        EXPECT_EQ(types[i].displayName, catalogue[i].displayName);
        EXPECT_EQ(types[i].description, catalogue[i].description);
        EXPECT_EQ(types[i].categories, (std::vector<std::string>{"Audio Processing", "Effects"}));
        EXPECT_TRUE(types[i].configuration.empty());
        EXPECT_TRUE(types[i].actions.empty());
        EXPECT_TRUE(types[i].events.empty());
        if (i == 1) {
            EXPECT_EQ(types[i].properties.keys(),
                      (std::vector<std::string>{"enabled", "delayMs", "dryMix", "wetMix", "feedbackLevel"}));
        } else {
            EXPECT_TRUE(types[i].properties.empty());
        }
    }
    EXPECT_EQ(types[0], DelayNode::getNodeTypeInfo());
    EXPECT_EQ(types[1], PingPongDelayNode::getNodeTypeInfo());
    EXPECT_EQ(types[2], VibratoNode::getNodeTypeInfo());
    EXPECT_EQ(types[3], FlangerNode::getNodeTypeInfo());
    EXPECT_EQ(types[4], ChorusNode::getNodeTypeInfo());

    // Records are equal across calls and across factories.
    EXPECT_EQ(factory.getNodeTypes(), types);
    EXPECT_EQ(AudioEffectsNodeFactory().getNodeTypes(), types);
}

const OVAnyMap fullConfiguration{{"numberOfChannels", 6u}, {"enabled", false},
                                 {"delayMs", 500u},        {"dryMix", 0.1f},
                                 {"wetMix", 0.9f},         {"feedbackLevel", 0.9f},
                                 {"sweepWidth", 0.5f},     {"frequency", 9.0f},
                                 {"unknown", "text"},      {"nested", OVAnyMap{{"a", 1}}}};

TEST(AudioEffectsNodeFactoryTest, CreatesEveryTypeByShortAndQualifiedName) {
    AudioEffectsNodeFactory factory;
    for (const Expected& expected : catalogue) {
        for (const std::string& name : {std::string(expected.type), std::string("AudioEffects.") + expected.type}) {
            for (const OVAnyMap& configuration : {OVAnyMap{}, fullConfiguration}) {
                SCOPED_TRACE(name + (configuration.empty() ? " (empty map)" : " (full map)"));
                auto created = factory.createNode(name, configuration);
                ASSERT_TRUE(created.ok()) << created.error();
                Node* node = created.value().get();
                ASSERT_NE(node, nullptr);
                EXPECT_EQ(node->getObjectType(), "node");
                auto* audio = dynamic_cast<SingleBusAudioProcessorNode*>(node);
                ASSERT_NE(audio, nullptr);
                EXPECT_EQ(audio->getNumberOfInputBuses(), 1u);
                EXPECT_EQ(audio->getNumberOfOutputBuses(), 1u);
            }
        }
    }
}

TEST(AudioEffectsNodeFactoryTest, UnknownTypeListsTheFiveTypes) {
    AudioEffectsNodeFactory factory;
    for (const std::string name : {"Reverb", "delay", "Orvane.Delay", "AudioEffects", "AudioEffects.", ""}) {
        const auto created = factory.createNode(name, OVAnyMap{});
        ASSERT_FALSE(created.ok()) << name;
        EXPECT_NE(created.error().find("'" + name + "'"), std::string::npos) << created.error();
        EXPECT_NE(created.error().find("AudioEffects.Delay, AudioEffects.PingPongDelay, AudioEffects.Vibrato, "
                                       "AudioEffects.Flanger, AudioEffects.Chorus"),
                  std::string::npos)
            << created.error();
    }
}

template <typename NodeType>
NodeType* as(const Result<std::unique_ptr<Node>>& created) {
    return created.ok() ? dynamic_cast<NodeType*>(created.value().get()) : nullptr;
}

TEST(AudioEffectsNodeFactoryTest, NodesIgnoreTheConfigurationMapAndStartFromDefaults) {
    AudioEffectsNodeFactory factory;
    for (const OVAnyMap& configuration : {OVAnyMap{}, fullConfiguration}) {
        SCOPED_TRACE(configuration.empty() ? "empty map" : "full map");
        auto delayCreated = factory.createNode("Delay", configuration);
        auto* delay = as<DelayNode>(delayCreated);
        ASSERT_NE(delay, nullptr);
        EXPECT_TRUE(delay->getIsEnabled());
        EXPECT_EQ(delay->getDelayMs(), 200u);
        EXPECT_EQ(delay->getDryMix(), 0.7f);
        EXPECT_EQ(delay->getWetMix(), 0.3f);
        EXPECT_EQ(delay->getFeedbackLevel(), 0.2f);

        auto pingPongCreated = factory.createNode("PingPongDelay", configuration);
        auto* pingPong = as<PingPongDelayNode>(pingPongCreated);
        ASSERT_NE(pingPong, nullptr);
        EXPECT_TRUE(pingPong->getIsEnabled());
        EXPECT_EQ(pingPong->getDelayMs(), 200u);
        EXPECT_EQ(pingPong->getDryMix(), 0.7f);
        EXPECT_EQ(pingPong->getWetMix(), 0.3f);
        EXPECT_EQ(pingPong->getFeedbackLevel(), 0.2f);
        EXPECT_EQ(pingPong->getValue("delayMs").value(), OVAny(200u));

        auto vibratoCreated = factory.createNode("Vibrato", configuration);
        auto* vibrato = as<VibratoNode>(vibratoCreated);
        ASSERT_NE(vibrato, nullptr);
        EXPECT_TRUE(vibrato->getIsEnabled());
        EXPECT_EQ(vibrato->getSweepWidth(), 0.01f);
        EXPECT_EQ(vibrato->getFrequency(), 4.0f);

        auto flangerCreated = factory.createNode("Flanger", configuration);
        auto* flanger = as<FlangerNode>(flangerCreated);
        ASSERT_NE(flanger, nullptr);
        EXPECT_TRUE(flanger->getIsEnabled());
        EXPECT_EQ(flanger->getSweepWidth(), 0.005f);
        EXPECT_EQ(flanger->getFrequency(), 0.4f);

        auto chorusCreated = factory.createNode("Chorus", configuration);
        auto* chorus = as<ChorusNode>(chorusCreated);
        ASSERT_NE(chorus, nullptr);
        EXPECT_TRUE(chorus->getIsEnabled());
        EXPECT_EQ(chorus->getSweepWidth(), 0.025f);
        EXPECT_EQ(chorus->getFrequency(), 0.2f);
    }
}

TEST(AudioEffectsNodeFactoryTest, PingPongIgnoresDelayMsInTheMap) {
    AudioEffectsNodeFactory factory;
    auto created = factory.createNode("PingPongDelay", OVAnyMap{{"delayMs", 500}});
    auto* node = as<PingPongDelayNode>(created);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->getDelayMs(), 200u);

    // At 48 kHz the echo of a left impulse comes 200 ms (9600 frames) later.
    const testing::Channels output = testing::processBlock(*node, testing::impulse(2, 9601, {0}), 48000);
    EXPECT_EQ(output[0][0], 0.7f);
    EXPECT_EQ(output[0][9600], 0.3f);
    for (std::size_t f = 1; f < 9600; ++f) ASSERT_EQ(output[0][f], 0.0f) << f;
}

TEST(AudioEffectsNodeFactoryTest, FactoryNodesAreBuiltForTwoChannels) {
    // A node built for two channels accepts stereo and refuses three channels.
    AudioEffectsNodeFactory factory;
    for (const char* type : {"Delay", "PingPongDelay", "Vibrato", "Flanger", "Chorus"}) {
        SCOPED_TRACE(type);
        auto created = factory.createNode(type, fullConfiguration);
        auto* node = as<SingleBusAudioProcessorNode>(created);
        ASSERT_NE(node, nullptr);
        AudioBusFormat stereoIn{48000, 2, 256};
        AudioBusFormat stereoOut{48000, 2, 256};
        EXPECT_TRUE(node->setBusFormat(stereoIn, stereoOut));
        AudioBusFormat wideIn{48000, 3, 256};
        AudioBusFormat wideOut{48000, 3, 256};
        EXPECT_FALSE(node->setBusFormat(wideIn, wideOut));
    }
}

// A program linked with the extension has it registered at start-up; loading the same
// library by path is refused, pointing to the registry, and registers nothing more.
TEST(ExtensionLoadingTest, LoadingALinkedLibraryIsRefusedClearly) {
    ExtensionManager& manager = ExtensionManager::getInstance();
    const std::size_t before = manager.getExtensions().size();
    auto loaded = manager.loadLibrary(ORVANE_EXTENSION_LIBRARY);
    ASSERT_FALSE(loaded);
    EXPECT_NE(loaded.error().find("linked with the program"), std::string::npos) << loaded.error();
    EXPECT_NE(manager.findExtension("AudioEffects"), nullptr);
    EXPECT_EQ(manager.getExtensions().size(), before);
}

}  // namespace
}  // namespace orvane
