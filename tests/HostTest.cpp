// The host stand-in: value types, the object model, node factories, bus formats and
// buffers, and the single-bus node's list-level forwarding.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include "host/AudioBuffer.h"
#include "host/AudioBus.h"
#include "host/AudioBusFormat.h"
#include "host/Extension.h"
#include "host/ExtensionManager.h"
#include "host/NodeFactory.h"
#include "host/OVAny.h"
#include "host/OrvaneObject.h"
#include "host/Result.h"
#include "host/SingleBusAudioProcessorNode.h"

namespace orvane {
namespace {

// Passes when text contains part, and shows both otherwise.
::testing::AssertionResult contains(const std::string& text, const std::string& part) {
    if (text.find(part) != std::string::npos) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "'" << text << "' does not contain '" << part << "'";
}

// Runs convert<T> and answers the message of the OVAnyConversionError it throws; fails the
// test when it throws nothing or something else.
template <typename T>
std::string conversionError(const OVAny& value) {
    try {
        (void)OVAny::convert<T>(value);
    } catch (const OVAnyConversionError& error) {
        return error.what();
    } catch (...) {
        ADD_FAILURE() << "convert threw something other than OVAnyConversionError";
        return {};
    }
    ADD_FAILURE() << "convert of a " << value.typeName() << " did not throw";
    return {};
}

// ---------------------------------------------------------------------------------------
// OVAny

TEST(OVAnyTest, HoldsEachTypeAndNamesIt) {
    EXPECT_STREQ(OVAny().typeName(), "empty");
    EXPECT_TRUE(OVAny().isEmpty());
    EXPECT_STREQ(OVAny(true).typeName(), "bool");
    EXPECT_STREQ(OVAny(-3).typeName(), "int");
    EXPECT_STREQ(OVAny(3u).typeName(), "unsigned int");
    EXPECT_STREQ(OVAny(0.5f).typeName(), "float");
    EXPECT_STREQ(OVAny("text").typeName(), "string");
    EXPECT_STREQ(OVAny(std::string("text")).typeName(), "string");
    EXPECT_STREQ(OVAny(OVAnyMap{}).typeName(), "map");
    EXPECT_STREQ(OVAny(PropertyGetter([] { return Result<OVAny>::success(OVAny(1)); })).typeName(), "getter");
    EXPECT_STREQ(OVAny(PropertySetter([](const OVAny&) { return Result<void>::success(); })).typeName(), "setter");
    EXPECT_FALSE(OVAny(0).isEmpty());
}

TEST(OVAnyTest, SameTypeConversionsReturnTheValue) {
    EXPECT_EQ(OVAny::convert<bool>(OVAny(true)), true);
    EXPECT_EQ(OVAny::convert<int>(OVAny(std::numeric_limits<int>::min())), std::numeric_limits<int>::min());
    EXPECT_EQ(OVAny::convert<unsigned int>(OVAny(std::numeric_limits<unsigned int>::max())),
              std::numeric_limits<unsigned int>::max());
    EXPECT_EQ(OVAny::convert<float>(OVAny(0.7f)), 0.7f);
    EXPECT_EQ(OVAny::convert<std::string>(OVAny("abc")), "abc");
    const OVAnyMap map{{"a", 1}, {"b", "two"}};
    EXPECT_EQ(OVAny::convert<OVAnyMap>(OVAny(map)), map);
    const PropertyGetter getter =
        OVAny::convert<PropertyGetter>(OVAny(PropertyGetter([] { return Result<OVAny>::success(OVAny(42)); })));
    EXPECT_EQ(OVAny::convert<int>(getter().value()), 42);
}

TEST(OVAnyTest, NumbersConvertWhereTheValueIsKeptExactly) {
    EXPECT_EQ(OVAny::convert<unsigned int>(OVAny(500)), 500u);
    EXPECT_EQ(OVAny::convert<unsigned int>(OVAny(0)), 0u);
    EXPECT_EQ(OVAny::convert<unsigned int>(OVAny(std::numeric_limits<int>::max())),
              static_cast<unsigned int>(std::numeric_limits<int>::max()));
    EXPECT_EQ(OVAny::convert<int>(OVAny(2147483647u)), 2147483647);
    EXPECT_EQ(OVAny::convert<int>(OVAny(-2.0f)), -2);
    EXPECT_EQ(OVAny::convert<unsigned int>(OVAny(100.0f)), 100u);
    EXPECT_EQ(OVAny::convert<unsigned int>(OVAny(4294967040.0f)), 4294967040u);  // largest float below 2^32
    EXPECT_EQ(OVAny::convert<float>(OVAny(16777216)), 16777216.0f);
    EXPECT_EQ(OVAny::convert<float>(OVAny(-7)), -7.0f);
    EXPECT_EQ(OVAny::convert<float>(OVAny(4294967295u - 255u)), 4294967040.0f);
    EXPECT_EQ(OVAny::convert<float>(OVAny(true)), 1.0f);
    EXPECT_EQ(OVAny::convert<int>(OVAny(true)), 1);
    EXPECT_EQ(OVAny::convert<unsigned int>(OVAny(false)), 0u);
    EXPECT_EQ(OVAny::convert<bool>(OVAny(1)), true);
    EXPECT_EQ(OVAny::convert<bool>(OVAny(0u)), false);
    EXPECT_EQ(OVAny::convert<bool>(OVAny(1.0f)), true);
    EXPECT_EQ(OVAny::convert<bool>(OVAny(-0.0f)), false);
}

TEST(OVAnyTest, NumbersThatWouldChangeAreRefused) {
    // A negative int never becomes unsigned, not even by wrapping.
    EXPECT_FALSE(conversionError<unsigned int>(OVAny(-1)).empty());
    EXPECT_FALSE(conversionError<unsigned int>(OVAny(std::numeric_limits<int>::min())).empty());
    EXPECT_FALSE(conversionError<unsigned int>(OVAny(-1.0f)).empty());
    EXPECT_FALSE(conversionError<int>(OVAny(2147483648u)).empty());
    EXPECT_FALSE(conversionError<int>(OVAny(2.5f)).empty());
    EXPECT_FALSE(conversionError<unsigned int>(OVAny(0.5f)).empty());
    EXPECT_FALSE(conversionError<int>(OVAny(3.0e9f)).empty());
    EXPECT_FALSE(conversionError<unsigned int>(OVAny(4294967296.0f)).empty());
    EXPECT_FALSE(conversionError<int>(OVAny(std::numeric_limits<float>::quiet_NaN())).empty());
    EXPECT_FALSE(conversionError<unsigned int>(OVAny(std::numeric_limits<float>::infinity())).empty());
    EXPECT_FALSE(conversionError<int>(OVAny(-std::numeric_limits<float>::infinity())).empty());
    EXPECT_FALSE(conversionError<float>(OVAny(16777217)).empty());
    EXPECT_FALSE(conversionError<float>(OVAny(4294967295u)).empty());
    EXPECT_FALSE(conversionError<bool>(OVAny(2)).empty());
    EXPECT_FALSE(conversionError<bool>(OVAny(-1)).empty());
    EXPECT_FALSE(conversionError<bool>(OVAny(0.5f)).empty());
}

TEST(OVAnyTest, StringsMapsFunctionsAndEmptyConvertOnlyToTheirOwnType) {
    EXPECT_FALSE(conversionError<int>(OVAny("5")).empty());
    EXPECT_FALSE(conversionError<unsigned int>(OVAny("5")).empty());
    EXPECT_FALSE(conversionError<float>(OVAny("0.5")).empty());
    EXPECT_FALSE(conversionError<bool>(OVAny("true")).empty());
    EXPECT_FALSE(conversionError<OVAnyMap>(OVAny("map")).empty());
    EXPECT_FALSE(conversionError<std::string>(OVAny(5)).empty());
    EXPECT_FALSE(conversionError<std::string>(OVAny(OVAnyMap{})).empty());
    EXPECT_FALSE(conversionError<int>(OVAny(OVAnyMap{{"a", 1}})).empty());
    EXPECT_FALSE(conversionError<OVAnyMap>(OVAny(1)).empty());
    EXPECT_FALSE(conversionError<PropertyGetter>(OVAny(1)).empty());
    EXPECT_FALSE(
        conversionError<PropertySetter>(OVAny(PropertyGetter([] { return Result<OVAny>::success(OVAny()); }))).empty());
    EXPECT_FALSE(conversionError<PropertyGetter>(OVAny(PropertySetter([](const OVAny&) {
                     return Result<void>::success();
                 }))).empty());
    EXPECT_FALSE(conversionError<int>(OVAny()).empty());
    EXPECT_FALSE(conversionError<bool>(OVAny()).empty());
    EXPECT_FALSE(conversionError<std::string>(OVAny()).empty());
}

TEST(OVAnyTest, ConversionErrorNamesHeldAndWantedTypes) {
    const std::string negative = conversionError<unsigned int>(OVAny(-1));
    EXPECT_TRUE(contains(negative, "unsigned int"));
    EXPECT_TRUE(contains(negative, "-1"));

    const std::string text = conversionError<float>(OVAny("0.5"));
    EXPECT_TRUE(contains(text, "string"));
    EXPECT_TRUE(contains(text, "float"));

    const std::string fraction = conversionError<int>(OVAny(2.5f));
    EXPECT_TRUE(contains(fraction, "float"));
    EXPECT_TRUE(contains(fraction, "2.5"));
    EXPECT_TRUE(contains(fraction, "int"));

    const std::string map = conversionError<bool>(OVAny(OVAnyMap{}));
    EXPECT_TRUE(contains(map, "map"));
    EXPECT_TRUE(contains(map, "bool"));

    const std::string empty = conversionError<std::string>(OVAny());
    EXPECT_TRUE(contains(empty, "empty"));
    EXPECT_TRUE(contains(empty, "string"));

    // The error is an invalid_argument, so callers may catch it as such.
    EXPECT_THROW((void)OVAny::convert<int>(OVAny("x")), std::invalid_argument);
}

TEST(OVAnyTest, EqualityComparesTypeAndValue) {
    EXPECT_EQ(OVAny(1), OVAny(1));
    EXPECT_FALSE(OVAny(1) == OVAny(1u));
    EXPECT_FALSE(OVAny(1) == OVAny(1.0f));
    EXPECT_FALSE(OVAny(true) == OVAny(1));
    EXPECT_FALSE(OVAny(1) == OVAny(2));
    EXPECT_EQ(OVAny("a"), OVAny(std::string("a")));
    EXPECT_EQ(OVAny(), OVAny());
    EXPECT_EQ(OVAny(OVAnyMap{{"k", 1}}), OVAny(OVAnyMap{{"k", 1}}));
    EXPECT_FALSE(OVAny(OVAnyMap{{"k", 1}}) == OVAny(OVAnyMap{{"k", 2}}));
    EXPECT_FALSE(OVAny(OVAnyMap{{"a", 1}, {"b", 2}}) == OVAny(OVAnyMap{{"b", 2}, {"a", 1}}));
}

TEST(OVAnyTest, HeldMapIsACopyOfTheOriginal) {
    OVAnyMap original{{"a", 1}};
    const OVAny held(original);
    original.set("a", 2);
    original.set("b", 3);
    OVAnyMap converted = OVAny::convert<OVAnyMap>(held);
    EXPECT_EQ(converted, (OVAnyMap{{"a", 1}}));
    converted.set("c", 4);
    EXPECT_EQ(OVAny::convert<OVAnyMap>(held), (OVAnyMap{{"a", 1}}));
    const OVAny copy = held;  // NOLINT: copies share the immutable map
    EXPECT_EQ(copy, held);
}

// ---------------------------------------------------------------------------------------
// OVAnyMap

TEST(OVAnyMapTest, KeepsInsertionOrderAndReplacesInPlace) {
    OVAnyMap map;
    EXPECT_TRUE(map.empty());
    map.set("zeta", 1);
    map.set("alpha", 2);
    map.set("mid", 3);
    EXPECT_EQ(map.keys(), (std::vector<std::string>{"zeta", "alpha", "mid"}));
    map.set("alpha", "replaced");
    EXPECT_EQ(map.keys(), (std::vector<std::string>{"zeta", "alpha", "mid"}));
    EXPECT_EQ(map.size(), 3u);
    EXPECT_EQ(OVAny::convert<std::string>(map.at("alpha")), "replaced");

    std::vector<std::string> iterated;
    for (const auto& [key, value] : map) iterated.push_back(key);
    EXPECT_EQ(iterated, map.keys());

    EXPECT_TRUE(map.erase("zeta"));
    EXPECT_FALSE(map.erase("zeta"));
    EXPECT_EQ(map.keys(), (std::vector<std::string>{"alpha", "mid"}));
    map.set("zeta", 9);
    EXPECT_EQ(map.keys(), (std::vector<std::string>{"alpha", "mid", "zeta"}));
}

TEST(OVAnyMapTest, InitializerDuplicatesReplaceTheEarlierValueWhereItStands) {
    const OVAnyMap map{{"a", 1}, {"b", 2}, {"a", 3}};
    EXPECT_EQ(map.keys(), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(OVAny::convert<int>(map.at("a")), 3);
    EXPECT_EQ(OVAny::convert<int>(map.at("b")), 2);
}

TEST(OVAnyMapTest, LookupAndMissingKeys) {
    const OVAnyMap map{{"delayMs", 200}, {"", "empty key"}};
    EXPECT_TRUE(map.hasKey("delayMs"));
    EXPECT_TRUE(map.hasKey(""));
    EXPECT_FALSE(map.hasKey("DelayMs"));
    EXPECT_EQ(OVAny::convert<std::string>(map.at("")), "empty key");
    try {
        (void)map.at("missingKey");
        ADD_FAILURE() << "at() of a missing key did not throw";
    } catch (const std::out_of_range& error) {
        EXPECT_TRUE(contains(std::string(error.what()), "missingKey"));
    }
}

TEST(OVAnyMapTest, EqualityDependsOnOrder) {
    EXPECT_EQ((OVAnyMap{{"a", 1}, {"b", 2}}), (OVAnyMap{{"a", 1}, {"b", 2}}));
    EXPECT_FALSE((OVAnyMap{{"a", 1}, {"b", 2}}) == (OVAnyMap{{"b", 2}, {"a", 1}}));
    EXPECT_FALSE((OVAnyMap{{"a", 1}}) == (OVAnyMap{{"a", 1u}}));
}

// ---------------------------------------------------------------------------------------
// Result

TEST(ResultTest, SuccessAndFailure) {
    const auto good = Result<int>::success(7);
    EXPECT_TRUE(good.ok());
    EXPECT_TRUE(static_cast<bool>(good));
    EXPECT_EQ(good.value(), 7);
    EXPECT_EQ(good.error(), "");

    const auto bad = Result<int>::failure("it broke");
    EXPECT_FALSE(bad.ok());
    EXPECT_FALSE(static_cast<bool>(bad));
    EXPECT_EQ(bad.error(), "it broke");
    try {
        (void)bad.value();
        ADD_FAILURE() << "value() of a failure did not throw";
    } catch (const std::logic_error& error) {
        EXPECT_TRUE(contains(std::string(error.what()), "it broke"));
    }

    auto movable = Result<std::unique_ptr<int>>::success(std::make_unique<int>(3));
    std::unique_ptr<int> taken = std::move(movable).value();
    ASSERT_TRUE(taken);
    EXPECT_EQ(*taken, 3);
    EXPECT_THROW((void)Result<std::unique_ptr<int>>::failure("none").value(), std::logic_error);

    // A failure may carry an empty message and is still a failure.
    EXPECT_FALSE(Result<int>::failure("").ok());
}

TEST(ResultTest, VoidResult) {
    const auto good = Result<void>::success();
    EXPECT_TRUE(good.ok());
    EXPECT_TRUE(static_cast<bool>(good));
    EXPECT_EQ(good.error(), "");
    const auto bad = Result<void>::failure("refused");
    EXPECT_FALSE(bad.ok());
    EXPECT_FALSE(static_cast<bool>(bad));
    EXPECT_EQ(bad.error(), "refused");
}

// ---------------------------------------------------------------------------------------
// OrvaneObject

// An object with a float, an unsigned and a read-only string property, a property whose
// setter refuses values, and one whose getter throws.
// A getter's successful answer. Kept out of line: inlining the variant's move into every
// getter draws a false maybe-uninitialized warning from g++ 12 in sanitized builds.
[[gnu::noinline]] Result<OVAny> answer(const OVAny& value) { return Result<OVAny>::success(value); }

class PropertyHolder : public OrvaneObject {
public:
    PropertyHolder() : OrvaneObject("holder") {
        registerProperty("gain", OVAnyMap{{"type", "float"}},
                         OVAny(PropertyGetter([this] { return answer(OVAny(gain)); })),
                         OVAny(PropertySetter([this](const OVAny& value) {
                             gain = OVAny::convert<float>(value);
                             return Result<void>::success();
                         })));
        registerProperty("count", OVAnyMap{{"type", "int"}},
                         OVAny(PropertyGetter([this] { return answer(OVAny(count)); })),
                         OVAny(PropertySetter([this](const OVAny& value) {
                             count = OVAny::convert<unsigned int>(value);
                             return Result<void>::success();
                         })));
        registerProperty("label", OVAnyMap{},
                         OVAny(PropertyGetter([] { return Result<OVAny>::success(OVAny("fixed")); })), OVAny());
        registerProperty(
            "picky", OVAnyMap{}, OVAny(PropertyGetter([] { return Result<OVAny>::success(OVAny(0)); })),
            OVAny(PropertySetter([](const OVAny&) { return Result<void>::failure("value out of range"); })));
        registerProperty("broken", OVAnyMap{},
                         OVAny(PropertyGetter([]() -> Result<OVAny> { throw std::runtime_error("sensor unplugged"); })),
                         OVAny());
    }

    void registerAgain(const std::string& name, const OVAny& getter, const OVAny& setter) {
        registerProperty(name, OVAnyMap{}, getter, setter);
    }

    float gain = 0.5f;
    unsigned int count = 3;
};

class Bare : public OrvaneObject {
public:
    Bare() : OrvaneObject("bare") {}
};

TEST(OrvaneObjectTest, SetAndGetThroughProperties) {
    PropertyHolder holder;
    EXPECT_EQ(holder.getObjectType(), "holder");
    EXPECT_EQ(holder.getPropertyNames(), (std::vector<std::string>{"gain", "count", "label", "picky", "broken"}));
    EXPECT_TRUE(holder.hasProperty("gain"));
    EXPECT_FALSE(holder.hasProperty("Gain"));
    EXPECT_EQ(holder.getPropertyDescription("count"), (OVAnyMap{{"type", "int"}}));

    EXPECT_TRUE(holder.setValue("gain", OVAny(0.25f)).ok());
    EXPECT_EQ(holder.gain, 0.25f);
    EXPECT_TRUE(holder.setValue("count", OVAny(9)).ok());  // an int that fits converts
    EXPECT_EQ(holder.count, 9u);

    const Result<OVAny> gain = holder.getValue("gain");
    ASSERT_TRUE(gain.ok());
    EXPECT_EQ(gain.value(), OVAny(0.25f));
    EXPECT_EQ(holder.getValue("label").value(), OVAny("fixed"));
}

TEST(OrvaneObjectTest, UnknownNameFailsListingKnownProperties) {
    PropertyHolder holder;
    Result<void> set = Result<void>::success();
    EXPECT_NO_THROW(set = holder.setValue("volume", OVAny(1.0f)));
    ASSERT_FALSE(set.ok());
    for (const char* part : {"volume", "gain", "count", "label", "picky", "broken"})
        EXPECT_TRUE(contains(set.error(), part));

    Result<OVAny> get = Result<OVAny>::success(OVAny());
    EXPECT_NO_THROW(get = holder.getValue("volume"));
    ASSERT_FALSE(get.ok());
    EXPECT_EQ(get.error(), set.error());

    Bare bare;
    const Result<void> none = bare.setValue("anything", OVAny(1));
    ASSERT_FALSE(none.ok());
    EXPECT_TRUE(contains(none.error(), "anything"));
    EXPECT_TRUE(contains(none.error(), "bare"));
    EXPECT_FALSE(bare.getValue("anything").ok());
    EXPECT_THROW((void)bare.getPropertyDescription("anything"), std::out_of_range);
}

TEST(OrvaneObjectTest, ValueThatDoesNotConvertFailsAndStoresNothing) {
    PropertyHolder holder;
    struct Case {
        const char* name;
        OVAny value;
    };
    const std::vector<Case> refused = {{"gain", OVAny("0.5")},      {"gain", OVAny(16777217)}, {"gain", OVAny()},
                                       {"count", OVAny(-1)},        {"count", OVAny(2.5f)},    {"count", OVAny("7")},
                                       {"count", OVAny(OVAnyMap{})}};
    for (const Case& c : refused) {
        Result<void> result = Result<void>::success();
        EXPECT_NO_THROW(result = holder.setValue(c.name, c.value)) << c.name << " " << c.value.typeName();
        ASSERT_FALSE(result.ok()) << c.name << " " << c.value.typeName();
        EXPECT_TRUE(contains(result.error(), c.name));
        EXPECT_TRUE(contains(result.error(), c.value.typeName()));
    }
    EXPECT_EQ(holder.gain, 0.5f);
    EXPECT_EQ(holder.count, 3u);
    EXPECT_EQ(holder.getValue("count").value(), OVAny(3u));
}

TEST(OrvaneObjectTest, ReadOnlyRefusingAndThrowingPropertiesFailWithoutThrowing) {
    PropertyHolder holder;
    const Result<void> readOnly = holder.setValue("label", OVAny("new"));
    ASSERT_FALSE(readOnly.ok());
    EXPECT_TRUE(contains(readOnly.error(), "label"));
    EXPECT_EQ(holder.getValue("label").value(), OVAny("fixed"));

    const Result<void> picky = holder.setValue("picky", OVAny(1));
    ASSERT_FALSE(picky.ok());
    EXPECT_TRUE(contains(picky.error(), "value out of range"));

    Result<OVAny> broken = Result<OVAny>::success(OVAny());
    EXPECT_NO_THROW(broken = holder.getValue("broken"));
    ASSERT_FALSE(broken.ok());
    EXPECT_TRUE(contains(broken.error(), "sensor unplugged"));

    const Result<OVAny> action = holder.callAction("reset", OVAnyMap{});
    ASSERT_FALSE(action.ok());
    EXPECT_TRUE(contains(action.error(), "reset"));
}

TEST(OrvaneObjectTest, RegistrationRefusesDuplicatesAndUnsuitableFunctions) {
    PropertyHolder holder;
    const OVAny getter(PropertyGetter([] { return Result<OVAny>::success(OVAny(1)); }));
    EXPECT_THROW(holder.registerAgain("gain", getter, OVAny()), std::invalid_argument);
    EXPECT_THROW(holder.registerAgain("x", OVAny(5), OVAny()), std::invalid_argument);
    EXPECT_THROW(holder.registerAgain("y", getter, OVAny(5)), std::invalid_argument);
    EXPECT_THROW(holder.registerAgain("z", OVAny(PropertyGetter()), OVAny()), std::invalid_argument);
    EXPECT_EQ(holder.getPropertyNames().size(), 5u);
}

// ---------------------------------------------------------------------------------------
// NodeFactory

class CountingNode : public SingleBusAudioProcessorNode {
public:
    explicit CountingNode(const OVAnyMap& configuration = {}) : configuration(configuration) {}

    bool setBusFormat(AudioBusFormat& input, AudioBusFormat& output) override {
        ++formatCalls;
        return AudioBusFormat::matchBusFormats(input, output) && acceptFormats;
    }
    bool process(AudioBus& input, AudioBus& output) override {
        ++processCalls;
        output.copyFrom(input);
        return processAnswer;
    }
    using SingleBusAudioProcessorNode::process;

    OVAnyMap configuration;
    int formatCalls = 0;
    int processCalls = 0;
    bool acceptFormats = true;
    bool processAnswer = true;
};

class TestFactory : public NodeFactory {
public:
    explicit TestFactory(bool withTypes = true) {
        if (!withTypes) return;
        registerNode(info("Alpha"), [](const OVAnyMap& configuration) { return new CountingNode(configuration); });
        registerNode(info("Beta"), [](const OVAnyMap&) -> Node* { return nullptr; });
        registerNode(info("Gamma"), [](const OVAnyMap&) -> Node* { throw std::runtime_error("gamma failed"); });
    }
    std::string getNodeTypePrefix() const override { return "Test"; }

    static NodeTypeInfo info(const std::string& type, const std::string& nodeNamespace = "Test") {
        NodeTypeInfo record;
        record.nodeNamespace = nodeNamespace;
        record.type = type;
        record.displayName = type + " node";
        return record;
    }
    void add(const NodeTypeInfo& record, NodeCreator creator) { registerNode(record, std::move(creator)); }
};

TEST(NodeFactoryTest, CreatesByShortAndFullyQualifiedName) {
    TestFactory factory;
    const std::vector<NodeTypeInfo> types = factory.getNodeTypes();
    ASSERT_EQ(types.size(), 3u);
    EXPECT_EQ(types[0].type, "Alpha");
    EXPECT_EQ(types[1].type, "Beta");
    EXPECT_EQ(types[2].type, "Gamma");

    auto shortName = factory.createNode("Alpha", OVAnyMap{{"key", 1}});
    ASSERT_TRUE(shortName.ok()) << shortName.error();
    auto* node = dynamic_cast<CountingNode*>(shortName.value().get());
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->configuration, (OVAnyMap{{"key", 1}}));

    auto qualified = factory.createNode("Test.Alpha", OVAnyMap{});
    ASSERT_TRUE(qualified.ok()) << qualified.error();
    EXPECT_NE(dynamic_cast<CountingNode*>(qualified.value().get()), nullptr);
    EXPECT_NE(qualified.value().get(), shortName.value().get());

    // Neither another namespace nor another spelling reaches the type.
    EXPECT_FALSE(factory.createNode("Other.Alpha", OVAnyMap{}).ok());
    EXPECT_FALSE(factory.createNode("alpha", OVAnyMap{}).ok());
    EXPECT_FALSE(factory.createNode("Test.", OVAnyMap{}).ok());
    EXPECT_FALSE(factory.createNode("", OVAnyMap{}).ok());
}

TEST(NodeFactoryTest, UnknownNameFailsListingKnownTypes) {
    TestFactory factory;
    const auto unknown = factory.createNode("Delta", OVAnyMap{});
    ASSERT_FALSE(unknown.ok());
    EXPECT_TRUE(contains(unknown.error(), "'Delta'"));
    EXPECT_TRUE(contains(unknown.error(), "Test.Alpha, Test.Beta, Test.Gamma"));

    TestFactory empty(false);
    EXPECT_TRUE(empty.getNodeTypes().empty());
    const auto none = empty.createNode("Alpha", OVAnyMap{});
    ASSERT_FALSE(none.ok());
    EXPECT_TRUE(contains(none.error(), "'Alpha'"));
    EXPECT_TRUE(contains(none.error(), "none"));
}

TEST(NodeFactoryTest, CreatorFailuresReachTheCaller) {
    TestFactory factory;
    const auto nothing = factory.createNode("Beta", OVAnyMap{});
    ASSERT_FALSE(nothing.ok());
    EXPECT_TRUE(contains(nothing.error(), "Beta"));
    EXPECT_THROW((void)factory.createNode("Test.Gamma", OVAnyMap{}), std::runtime_error);
}

TEST(NodeFactoryTest, RegistrationRefusesDuplicatesAndEmptyCreators) {
    TestFactory factory;
    const NodeCreator creator = [](const OVAnyMap&) { return new CountingNode(); };
    EXPECT_THROW(factory.add(TestFactory::info("Alpha"), creator), std::invalid_argument);
    EXPECT_THROW(factory.add(TestFactory::info("Delta"), NodeCreator()), std::invalid_argument);
    // The same short type in another namespace is a different type.
    EXPECT_NO_THROW(factory.add(TestFactory::info("Alpha", "Else"), creator));
    EXPECT_EQ(factory.getNodeTypes().size(), 4u);
    EXPECT_TRUE(factory.createNode("Else.Alpha", OVAnyMap{}).ok());
}

// ---------------------------------------------------------------------------------------
// Extensions

class NamedExtension : public Extension {
public:
    explicit NamedExtension(std::string extensionName) : name(std::move(extensionName)) {}
    std::string getName() const override { return name; }
    std::string getDescription() const override { return "test extension"; }
    std::shared_ptr<NodeFactory> getNodeFactory() const override { return std::make_shared<TestFactory>(); }

private:
    std::string name;
};

TEST(ExtensionTest, DefaultsAndRegistry) {
    NamedExtension extension("HostTest.Extension");
    EXPECT_EQ(extension.getObjectType(), "extension");
    EXPECT_TRUE(extension.initialize(OVAnyMap{{"anything", 1}}).ok());
    EXPECT_TRUE(extension.deinitialize().ok());

    ExtensionManager& manager = ExtensionManager::getInstance();
    EXPECT_EQ(&manager, &ExtensionManager::getInstance());
    EXPECT_THROW(manager.registerExtension(nullptr), std::invalid_argument);

    const std::size_t before = manager.getExtensions().size();
    auto first = std::make_shared<NamedExtension>("HostTest.Registered");
    auto second = std::make_shared<NamedExtension>("HostTest.Registered");
    manager.registerExtension(first);
    manager.registerExtension(second);
    const auto extensions = manager.getExtensions();
    ASSERT_EQ(extensions.size(), before + 2);
    EXPECT_EQ(extensions[before], first);
    EXPECT_EQ(extensions[before + 1], second);
    EXPECT_EQ(manager.findExtension("HostTest.Registered"), first);
    EXPECT_EQ(manager.findExtension("HostTest.Missing"), nullptr);
}

// ---------------------------------------------------------------------------------------
// Bus formats

TEST(AudioBusFormatTest, MatchFillsUnsetFieldsFromTheOtherSide) {
    AudioBusFormat input{48000, 2, 0};
    AudioBusFormat output{0, 0, 512};
    EXPECT_TRUE(AudioBusFormat::matchBusFormats(input, output));
    EXPECT_EQ(input, (AudioBusFormat{48000, 2, 512}));
    EXPECT_EQ(output, (AudioBusFormat{48000, 2, 512}));

    AudioBusFormat unsetIn;
    AudioBusFormat unsetOut;
    EXPECT_TRUE(AudioBusFormat::matchBusFormats(unsetIn, unsetOut));
    EXPECT_EQ(unsetIn, AudioBusFormat{});
    EXPECT_EQ(unsetOut, AudioBusFormat{});
}

TEST(AudioBusFormatTest, MatchAnswersDisagreementAfterFilling) {
    AudioBusFormat input{48000, 0, 256};
    AudioBusFormat output{44100, 1, 0};
    EXPECT_FALSE(AudioBusFormat::matchBusFormats(input, output));
    EXPECT_EQ(input, (AudioBusFormat{48000, 1, 256}));
    EXPECT_EQ(output, (AudioBusFormat{44100, 1, 256}));

    AudioBusFormat mono{48000, 1, 128};
    AudioBusFormat stereo{48000, 2, 128};
    EXPECT_FALSE(AudioBusFormat::matchBusFormats(mono, stereo));
    EXPECT_EQ(mono.numberOfChannels, 1u);
    EXPECT_EQ(stereo.numberOfChannels, 2u);
}

// ---------------------------------------------------------------------------------------
// Buffers and buses

TEST(AudioBufferTest, ShapeLayoutAndZeroFill) {
    AudioBuffer<float> buffer(2, 4, 44100);
    EXPECT_EQ(buffer.getNumberOfChannels(), 2u);
    EXPECT_EQ(buffer.getNumberOfFrames(), 4u);
    EXPECT_EQ(buffer.getSampleRate(), 44100u);
    for (std::uint32_t c = 0; c < 2; ++c)
        for (std::uint32_t f = 0; f < 4; ++f) EXPECT_EQ(buffer.getSample(c, f), 0.0f);
    buffer.setSample(1, 2, 0.5f);
    EXPECT_EQ(buffer.getChannelData(1), buffer.getChannelData(0) + 4);
    EXPECT_EQ(buffer.getChannelData(1)[2], 0.5f);
    buffer.setSampleRate(96000);
    EXPECT_EQ(buffer.getSampleRate(), 96000u);

    buffer.resize(1, 3);
    EXPECT_EQ(buffer.getNumberOfChannels(), 1u);
    EXPECT_EQ(buffer.getNumberOfFrames(), 3u);
    for (std::uint32_t f = 0; f < 3; ++f) EXPECT_EQ(buffer.getSample(0, f), 0.0f);

    const AudioBuffer<float> empty;
    EXPECT_EQ(empty.getNumberOfChannels(), 0u);
    EXPECT_EQ(empty.getNumberOfFrames(), 0u);
    EXPECT_EQ(empty.getSampleRate(), 0u);
}

AudioBuffer<float> numbered(std::uint32_t channels, std::uint32_t frames, std::uint32_t rate) {
    AudioBuffer<float> buffer(channels, frames, rate);
    for (std::uint32_t c = 0; c < channels; ++c)
        for (std::uint32_t f = 0; f < frames; ++f) buffer.setSample(c, f, static_cast<float>(c * 1000 + f + 1));
    return buffer;
}

void expectSameContent(const AudioBuffer<float>& actual, const AudioBuffer<float>& expected) {
    ASSERT_EQ(actual.getNumberOfChannels(), expected.getNumberOfChannels());
    ASSERT_EQ(actual.getNumberOfFrames(), expected.getNumberOfFrames());
    EXPECT_EQ(actual.getSampleRate(), expected.getSampleRate());
    for (std::uint32_t c = 0; c < expected.getNumberOfChannels(); ++c)
        for (std::uint32_t f = 0; f < expected.getNumberOfFrames(); ++f)
            ASSERT_EQ(actual.getSample(c, f), expected.getSample(c, f)) << "channel " << c << " frame " << f;
}

TEST(AudioBufferTest, CopyFromTakesShapeRateAndSamples) {
    const AudioBuffer<float> source = numbered(2, 5, 48000);
    AudioBuffer<float> target(1, 3, 8000);
    target.copyFrom(source);
    expectSameContent(target, source);

    const AudioBuffer<float> smaller = numbered(1, 2, 22050);
    target.copyFrom(smaller);
    expectSameContent(target, smaller);

    target.copyFrom(target);  // copying from itself changes nothing
    expectSameContent(target, smaller);

    const AudioBuffer<float> empty(0, 0, 0);
    target.copyFrom(empty);
    EXPECT_EQ(target.getNumberOfChannels(), 0u);
    EXPECT_EQ(target.getNumberOfFrames(), 0u);
    EXPECT_EQ(target.getSampleRate(), 0u);
}

TEST(AudioBufferTest, CopyFromReusesStorageWhenCapacitySuffices) {
    AudioBuffer<float> target(2, 512, 48000);
    const std::size_t capacity = target.getCapacity();
    ASSERT_GE(capacity, 1024u);
    const float* storage = target.getChannelData(0);

    for (const auto& shape : std::vector<std::pair<std::uint32_t, std::uint32_t>>{
             {1, 512}, {2, 512}, {2, 0}, {1, 1024}, {2, 256}, {0, 0}, {2, 512}}) {
        const AudioBuffer<float> source = numbered(shape.first, shape.second, 44100);
        target.copyFrom(source);
        expectSameContent(target, source);
        EXPECT_EQ(target.getCapacity(), capacity);
        EXPECT_EQ(target.getChannelData(0), storage) << shape.first << "x" << shape.second;
    }

    const AudioBuffer<float> larger = numbered(2, 1024, 48000);
    target.copyFrom(larger);
    expectSameContent(target, larger);
    EXPECT_GE(target.getCapacity(), 2048u);
}

TEST(AudioBusTest, CopyFromWritesTheTargetBuffer) {
    AudioBuffer<float> in = numbered(2, 8, 48000);
    AudioBuffer<float> out(2, 8, 0);
    AudioBus inBus(in);
    AudioBus outBus(out);
    EXPECT_EQ(&inBus.buffer, &in);
    const float* storage = out.getChannelData(0);
    outBus.copyFrom(inBus);
    expectSameContent(out, in);
    EXPECT_EQ(out.getChannelData(0), storage);

    AudioBuffer<float> mono = numbered(1, 3, 16000);
    AudioBus monoBus(mono);
    outBus.copyFrom(monoBus);
    expectSameContent(out, mono);
    EXPECT_EQ(out.getChannelData(0), storage);
}

// ---------------------------------------------------------------------------------------
// Single-bus nodes

TEST(SingleBusAudioProcessorNodeTest, HasOneBusEachWayAndHostDefaults) {
    CountingNode node;
    EXPECT_EQ(node.getNumberOfInputBuses(), 1u);
    EXPECT_EQ(node.getNumberOfOutputBuses(), 1u);
    EXPECT_EQ(node.getObjectType(), "node");
    EXPECT_EQ(node.getDisplayName(), "");
    node.onGraphStart();
    node.onGraphStop();
    EXPECT_TRUE(node.getPropertyNames().empty());
}

TEST(SingleBusAudioProcessorNodeTest, SetBusFormatsForwardsOnlyOneFormatEachWay) {
    CountingNode node;
    const AudioBusFormat format{48000, 2, 0};
    for (const auto& [inputs, outputs] :
         std::vector<std::pair<std::size_t, std::size_t>>{{0, 0}, {0, 1}, {1, 0}, {2, 1}, {1, 2}, {2, 2}}) {
        AudioBusFormatList in(inputs, format);
        AudioBusFormatList out(outputs, AudioBusFormat{});
        EXPECT_FALSE(node.setBusFormats(in, out)) << inputs << " / " << outputs;
    }
    EXPECT_EQ(node.formatCalls, 0);

    AudioBusFormatList in{AudioBusFormat{48000, 2, 0}};
    AudioBusFormatList out{AudioBusFormat{0, 0, 128}};
    EXPECT_TRUE(node.setBusFormats(in, out));
    EXPECT_EQ(node.formatCalls, 1);
    // The single-bus operation works on the list's own entries.
    EXPECT_EQ(in.front(), (AudioBusFormat{48000, 2, 128}));
    EXPECT_EQ(out.front(), (AudioBusFormat{48000, 2, 128}));

    node.acceptFormats = false;
    EXPECT_FALSE(node.setBusFormats(in, out));
    EXPECT_EQ(node.formatCalls, 2);
}

TEST(SingleBusAudioProcessorNodeTest, ProcessForwardsOnlyOneBusEachWay) {
    CountingNode node;
    AudioBuffer<float> a = numbered(2, 4, 48000);
    AudioBuffer<float> b(2, 4, 48000);
    AudioBuffer<float> c(2, 4, 48000);
    const std::vector<std::pair<AudioBusList, AudioBusList>> refused = {{{}, {}},
                                                                        {{AudioBus(a)}, {}},
                                                                        {{}, {AudioBus(b)}},
                                                                        {{AudioBus(a), AudioBus(a)}, {AudioBus(b)}},
                                                                        {{AudioBus(a)}, {AudioBus(b), AudioBus(c)}}};
    for (auto lists : refused) EXPECT_FALSE(node.process(lists.first, lists.second));
    EXPECT_EQ(node.processCalls, 0);
    for (std::uint32_t f = 0; f < 4; ++f) EXPECT_EQ(b.getSample(0, f), 0.0f);

    AudioBusList in{AudioBus(a)};
    AudioBusList out{AudioBus(b)};
    EXPECT_TRUE(node.process(in, out));
    EXPECT_EQ(node.processCalls, 1);
    expectSameContent(b, a);

    node.processAnswer = false;
    EXPECT_FALSE(node.process(in, out));
    EXPECT_EQ(node.processCalls, 2);
}

// Lambdas become getters or setters by their signature; pointers never become bools.
TEST(OVAnyTest, CallablesAndPointersConvertOnlyWhereTheyMean) {
    int calls = 0;
    const OVAny getter([&calls] {
        ++calls;
        return Result<OVAny>::success(OVAny(7));
    });
    const OVAny setter([&calls](const OVAny& value) {
        calls += OVAny::convert<int>(value);
        return Result<void>::success();
    });
    EXPECT_STREQ(getter.typeName(), "getter");
    EXPECT_STREQ(setter.typeName(), "setter");
    EXPECT_EQ(OVAny::convert<int>(OVAny::convert<PropertyGetter>(getter)().value()), 7);
    EXPECT_TRUE(OVAny::convert<PropertySetter>(setter)(OVAny(10)).ok());
    EXPECT_EQ(calls, 11);
    static_assert(!std::is_constructible_v<OVAny, int*>);
    static_assert(!std::is_constructible_v<OVAny, const void*>);
    static_assert(std::is_constructible_v<OVAny, const char*>);
}

class OpenObject : public OrvaneObject {
public:
    OpenObject() : OrvaneObject("holder") {}
    using OrvaneObject::registerProperty;
};

TEST(OrvaneObjectTest, AnEmptySetterFunctionIsRefusedRatherThanMadeReadOnly) {
    OpenObject holder;
    const OVAny getter(PropertyGetter([] { return Result<OVAny>::success(OVAny(1)); }));
    EXPECT_THROW(holder.registerProperty("broken", {}, getter, OVAny(PropertySetter{})), std::invalid_argument);
    EXPECT_FALSE(holder.hasProperty("broken"));
    holder.registerProperty("readOnly", {}, getter, OVAny());
    EXPECT_FALSE(holder.setValue("readOnly", OVAny(2)).ok());
}

}  // namespace
}  // namespace orvane
