// What the library and orvane-fx rely on in the host stand-in: value conversions and property
// failures. Bus lists are exercised through the loaded library (LoadExtensionTest), buffer
// reuse by the allocation gate.

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "host/OVAny.h"
#include "host/OrvaneObject.h"

namespace orvane {
namespace {

// convert<T>(value) succeeds with expected, or throws an OVAnyConversionError naming both types.
template <typename T>
void expectConversion(const OVAny& value, std::optional<T> expected, const char* wanted) {
    SCOPED_TRACE(std::string(value.typeName()) + " to " + wanted);
    if (expected) {
        EXPECT_EQ(OVAny::convert<T>(value), *expected);
        return;
    }
    try {
        (void)OVAny::convert<T>(value);
        ADD_FAILURE() << "converted";
    } catch (const OVAnyConversionError& error) {
        EXPECT_NE(std::string(error.what()).find(value.typeName()), std::string::npos) << error.what();
        EXPECT_NE(std::string(error.what()).find(wanted), std::string::npos) << error.what();
    }
}

TEST(OVAnyTest, NumbersConvertOnlyWhereTheValueIsKeptExactly) {
    constexpr float nan = std::numeric_limits<float>::quiet_NaN();
    expectConversion<unsigned int>(OVAny(500), 500u, "unsigned int");
    expectConversion<unsigned int>(OVAny(4294967295u), 4294967295u, "unsigned int");
    expectConversion<unsigned int>(OVAny(4294967040.0f), 4294967040u, "unsigned int");
    expectConversion<unsigned int>(OVAny(false), 0u, "unsigned int");
    expectConversion<unsigned int>(OVAny(-1), std::nullopt, "unsigned int");
    expectConversion<unsigned int>(OVAny(0.5f), std::nullopt, "unsigned int");
    expectConversion<unsigned int>(OVAny(4294967296.0f), std::nullopt, "unsigned int");
    expectConversion<unsigned int>(OVAny("5"), std::nullopt, "unsigned int");
    expectConversion<int>(OVAny(-5), -5, "int");
    expectConversion<int>(OVAny(-2.0f), -2, "int");
    expectConversion<int>(OVAny(2147483648u), std::nullopt, "int");
    expectConversion<int>(OVAny(-2147483648.0f), std::numeric_limits<int>::min(), "int");
    expectConversion<int>(OVAny(-2147483904.0f), std::nullopt, "int");
    expectConversion<int>(OVAny(nan), std::nullopt, "int");
    expectConversion<float>(OVAny(16777216), 16777216.0f, "float");
    expectConversion<float>(OVAny(-7), -7.0f, "float");
    expectConversion<float>(OVAny(true), 1.0f, "float");
    expectConversion<float>(OVAny(16777217), std::nullopt, "float");
    expectConversion<float>(OVAny(4294967295u), std::nullopt, "float");
    expectConversion<float>(OVAny("0.5"), std::nullopt, "float");
    expectConversion<float>(OVAny(), std::nullopt, "float");
    expectConversion<bool>(OVAny(1), true, "bool");
    expectConversion<bool>(OVAny(-0.0f), false, "bool");
    expectConversion<bool>(OVAny(2), std::nullopt, "bool");
    expectConversion<bool>(OVAny(0.5f), std::nullopt, "bool");
    expectConversion<bool>(OVAny(OVAnyMap{}), std::nullopt, "bool");
    expectConversion<OVAnyMap>(OVAny(OVAnyMap{{"a", 1}}), OVAnyMap{{"a", 1}}, "map");
    expectConversion<OVAnyMap>(OVAny(1), std::nullopt, "map");
    // Lambdas become property functions by their signature; pointers never become bools.
    EXPECT_STREQ(OVAny([] { return Result<OVAny>::success(OVAny(7)); }).typeName(), "getter");
    EXPECT_STREQ(OVAny([](const OVAny&) { return Result<void>::success(); }).typeName(), "setter");
    static_assert(!std::is_constructible_v<OVAny, int*>);
    static_assert(!std::is_constructible_v<OVAny, const void*>);
}

class Holder : public OrvaneObject {
public:
    Holder() : OrvaneObject("holder") {
        registerProperty("count", {}, OVAny(PropertyGetter([this] { return Result<OVAny>::success(OVAny(count)); })),
                         OVAny(PropertySetter([this](const OVAny& value) {
                             count = OVAny::convert<unsigned int>(value);
                             return Result<void>::success();
                         })));
        registerProperty("label", {}, OVAny(PropertyGetter([] { return Result<OVAny>::success(OVAny("fixed")); })),
                         OVAny());
        registerProperty("picky", {},
                         OVAny(PropertyGetter([]() -> Result<OVAny> { throw std::runtime_error("unplugged"); })),
                         OVAny(PropertySetter([](const OVAny&) { return Result<void>::failure("out of range"); })));
    }
    using OrvaneObject::registerProperty;
    unsigned int count = 3;
};

TEST(OrvaneObjectTest, PropertyFailuresAnswerAMessageAndChangeNothing) {
    Holder holder;
    const std::pair<const char*, const char*> failures[] = {
        {"count", "Cannot set property 'count'"},
        {"label", "Property 'label' is read-only"},
        {"picky", "Cannot set property 'picky': out of range"},
        {"volume", "Unknown property 'volume' of holder; known properties: count, label, picky"}};
    for (const auto& [name, message] : failures) {
        const Result<void> set = holder.setValue(name, OVAny(-1));
        ASSERT_FALSE(set.ok()) << name;
        EXPECT_EQ(set.error().substr(0, std::string(message).size()), message);
    }
    EXPECT_EQ(holder.count, 3u);
    EXPECT_EQ(holder.getValue("picky").error(), "Cannot read property 'picky': unplugged");
    EXPECT_TRUE(holder.setValue("count", OVAny(9)).ok());
    EXPECT_EQ(holder.getValue("count").value(), OVAny(9u));

    const OVAny getter(PropertyGetter([] { return Result<OVAny>::success(OVAny(1)); }));
    EXPECT_THROW(holder.registerProperty("count", {}, getter, OVAny()), std::invalid_argument);
    EXPECT_THROW(holder.registerProperty("x", {}, OVAny(5), OVAny()), std::invalid_argument);
    EXPECT_THROW(holder.registerProperty("y", {}, getter, OVAny(PropertySetter{})), std::invalid_argument);
    EXPECT_EQ(holder.getPropertyNames().size(), 3u);
}

}  // namespace
}  // namespace orvane
