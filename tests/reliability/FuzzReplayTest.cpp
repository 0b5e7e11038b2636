#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "EffectHarness.h"

namespace orvane::testing {
namespace {

// Every committed fuzz input, run through the same harness the fuzzer drives.
TEST(FuzzCorpus, EveryInputRunsCleanly) {
    const std::filesystem::path corpus = ORVANE_FUZZ_CORPUS;
    std::size_t inputs = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(corpus)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream file(entry.path(), std::ios::binary);
        const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
        EXPECT_EQ(runScript(bytes.data(), bytes.size()), "") << entry.path();
        ++inputs;
    }
    EXPECT_GE(inputs, 5u) << "the corpus at " << corpus << " is missing";
}

}  // namespace
}  // namespace orvane::testing
