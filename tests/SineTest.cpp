// The replica lanes against the C library's sinf, bit for bit: every float the oscillators
// can form, the lanes that must fall back to sinf, and the check that selects the replica.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <vector>

#include "audio/Sine.h"
#include "support/NodeTesting.h"

namespace orvane::audio {
namespace {

std::uint32_t bitsOf(float value) { return std::bit_cast<std::uint32_t>(value); }

TEST(SineTest, EveryAngleTheOscillatorsFormGivesSinfExactly) {
#if defined(__x86_64__) && defined(__GLIBC__)
    EXPECT_TRUE(sineReplicaInUse()) << "this C library's sinf is expected to be the replicated one";
#endif
    const std::uint32_t end = bitsOf(8.0f);
    std::vector<float> values(1u << 16);
    std::uint64_t differences = 0;
    for (std::uint32_t first = 0; first < end; first += static_cast<std::uint32_t>(values.size())) {
        const auto count = static_cast<unsigned int>(std::min<std::uint64_t>(values.size(), end - first));
        for (unsigned int i = 0; i < count; ++i) values[i] = std::bit_cast<float>(first + i);
        sineInPlace(values.data(), count);
        for (unsigned int i = 0; i < count; ++i) {
            const float angle = std::bit_cast<float>(first + i);
            if (bitsOf(values[i]) != bitsOf(std::sin(angle)) && differences++ < 5)
                ADD_FAILURE() << std::hexfloat << "sin(" << angle << ") gave " << values[i];
        }
    }
    EXPECT_EQ(differences, 0u);
}

TEST(SineTest, AnglesOutsideTheReplicaRangeTakeSinf) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    // A group of eight, or of four after it, holds one lane the replica does not serve, at every position.
    const std::vector<float> outside{-0.0f, -1e-3f, -3.0f, 8.0f, 53.4225197f, 1e30f, inf, -inf, nan};
    for (float odd : outside) {
        for (int lane = 0; lane < 12; ++lane) {
            std::vector<float> values{0.5f, 1.5f,  3.5f, 7.5f, 0x1p-13f, 2.0f, 5.0f,
                                      6.5f, 0.25f, 1.0f, 3.0f, 4.0f,     0.1f};
            values[static_cast<std::size_t>(lane)] = odd;
            std::vector<float> expected = values;
            for (float& value : expected) value = std::sin(value);
            sineInPlace(values.data(), static_cast<unsigned int>(values.size()));
            for (std::size_t i = 0; i < values.size(); ++i)
                EXPECT_TRUE(testing::sameFloat(values[i], expected[i]))
                    << odd << " in lane " << lane << ", value " << i;
        }
    }
}

// Where the forms with and without fused multiply-adds part, the library follows exactly one
// of them: the check at load can tell a replica that matches from one that only nearly does.
TEST(SineTest, TheLibraryFollowsExactlyOneFormWhereTheyDiffer) {
    for (float angle : {0x1.ab6152p+5f, 0x1.46b80ep+6f, 0x1.52e6cp+6f, 0x1.d0f4aap+6f}) {
        const float plain = sineReplica(angle, false);
        const float fused = sineReplica(angle, true);
        EXPECT_NE(bitsOf(plain), bitsOf(fused)) << angle;
        const float library = std::sin(angle);
        EXPECT_TRUE(bitsOf(library) == bitsOf(plain) || bitsOf(library) == bitsOf(fused)) << angle;
    }
    for (float angle : {0.0f, 0x1p-12f, 0.75f, 1.0f, 3.1415927f, 7.9999995f})
        EXPECT_EQ(bitsOf(sineReplica(angle, false)), bitsOf(sineReplica(angle, true))) << angle;
}

#if defined(ORVANE_WEB_SINE_CHECK) && defined(__GLIBC__)
// WebAssembly's C library is not glibc, and its sinf differs: the browser build's level takes the
// replica for every angle the oscillators form. Its sines, hashed stretch by stretch under node
// (tests/web/SineCheck.cpp), against glibc's sinf over the same angles, every one from 2^-12 to 8.
TEST(WebAssemblySineTest, GivesGlibcsSinfForEveryAngleTheOscillatorsForm) {
    FILE* check = popen(ORVANE_NODE " " ORVANE_WEB_SINE_CHECK, "r");
    ASSERT_NE(check, nullptr);
    std::uint32_t first = 0, end = 0, step = 0, covered = 0;
    unsigned long long hash = 0;
    while (std::fscanf(check, "%u %u %u %llu", &first, &end, &step, &hash) == 4) {
        EXPECT_EQ(first, covered);
        std::uint64_t expected = 14695981039346656037ull;  // FNV-1a, as the check hashes
        for (std::uint32_t at = first; at < end; at += step)
            expected = (expected ^ bitsOf(std::sin(std::bit_cast<float>(at)))) * 1099511628211ull;
        EXPECT_EQ(hash, expected) << std::hexfloat << "angles from " << std::bit_cast<float>(first) << " to "
                                  << std::bit_cast<float>(end) << " in steps of " << step;
        covered = end;
    }
    EXPECT_EQ(pclose(check), 0);
    EXPECT_EQ(covered, bitsOf(8.0f));
}
#endif

}  // namespace
}  // namespace orvane::audio
