#include <gtest/gtest.h>

#include <cstdint>
#include <optional>

#include <sndfile.h>

#include "OutputFormat.h"
#include "ToolError.h"

namespace orvane::testing::tool {
namespace {

using orvane::tools::Encoding;
using orvane::tools::OutputFormat;

constexpr std::uint64_t fourGiB = std::uint64_t{1} << 32;

TEST(OutputFormat, WavIsOpenedAsRf64UnlessItIsKnownToFitInFourGibibytes) {
    const int wav16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    EXPECT_EQ(OutputFormat::forLength(wav16, 2, 48000), wav16);
    EXPECT_EQ(OutputFormat::forLength(wav16, 2, std::nullopt), SF_FORMAT_RF64 | SF_FORMAT_PCM_16);
    // Stereo 16-bit: 4 bytes a frame.
    EXPECT_EQ(OutputFormat::forLength(wav16, 2, fourGiB / 4), SF_FORMAT_RF64 | SF_FORMAT_PCM_16);
    EXPECT_EQ(OutputFormat::forLength(wav16, 2, fourGiB / 4 - 65536), wav16);
    EXPECT_EQ(OutputFormat::forLength(SF_FORMAT_WAV | SF_FORMAT_FLOAT, 6, fourGiB / 24),
              SF_FORMAT_RF64 | SF_FORMAT_FLOAT);
    // Other containers are left to the caller.
    for (int format :
         {SF_FORMAT_AIFF | SF_FORMAT_FLOAT, SF_FORMAT_FLAC | SF_FORMAT_PCM_24, SF_FORMAT_OGG | SF_FORMAT_VORBIS})
        EXPECT_EQ(OutputFormat::forLength(format, 2, fourGiB), format);
}

TEST(OutputFormat, OnlyContainersWithA32BitLengthHaveAFrameLimit) {
    const auto limit = OutputFormat::frameLimit(SF_FORMAT_AIFF | SF_FORMAT_FLOAT, 2);
    ASSERT_TRUE(limit);
    EXPECT_LT(*limit * 8, fourGiB);
    EXPECT_GT(*limit * 8, fourGiB - 1024 * 1024);
    const auto mono24 = OutputFormat::frameLimit(SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 1);
    ASSERT_TRUE(mono24);
    EXPECT_LT(*mono24 * 3, fourGiB);
    EXPECT_GT(*mono24 * 3, fourGiB - 1024 * 1024);
    EXPECT_TRUE(OutputFormat::frameLimit(SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2));
    EXPECT_FALSE(OutputFormat::frameLimit(SF_FORMAT_RF64 | SF_FORMAT_PCM_16, 2));
    EXPECT_FALSE(OutputFormat::frameLimit(SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 2));
    EXPECT_FALSE(OutputFormat::frameLimit(SF_FORMAT_OGG | SF_FORMAT_VORBIS, 2));
}

TEST(OutputFormat, DefaultEncodingFallsBackToTheClosestTheContainerHolds) {
    struct Case {
        const char* path;
        int input;
        int expected;
        bool noted;
    };
    const Case cases[] = {
        {"a.wav", SF_FORMAT_OGG | SF_FORMAT_VORBIS, SF_FORMAT_WAV | SF_FORMAT_FLOAT, true},
        {"a.wav", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, SF_FORMAT_WAV | SF_FORMAT_FLOAT, true},
        {"a.wav", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, SF_FORMAT_WAV | SF_FORMAT_FLOAT, true},
        {"a.aif", SF_FORMAT_OGG | SF_FORMAT_OPUS, SF_FORMAT_AIFF | SF_FORMAT_FLOAT, true},
        {"a.flac", SF_FORMAT_WAV | SF_FORMAT_FLOAT, SF_FORMAT_FLAC | SF_FORMAT_PCM_24, true},
        {"a.flac", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, SF_FORMAT_FLAC | SF_FORMAT_PCM_24, true},
        {"a.flac", SF_FORMAT_WAV | SF_FORMAT_PCM_16, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, false},
        {"a.wav", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, SF_FORMAT_WAV | SF_FORMAT_PCM_24, false},
        {"a.wav", SF_FORMAT_AIFF | SF_FORMAT_DOUBLE, SF_FORMAT_WAV | SF_FORMAT_DOUBLE, false},
        {"a.ogg", SF_FORMAT_WAV | SF_FORMAT_FLOAT, SF_FORMAT_OGG | SF_FORMAT_VORBIS, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " from " + std::to_string(c.input));
        const auto choice = OutputFormat::choose(c.path, std::nullopt, c.input);
        EXPECT_EQ(choice.format, c.expected);
        EXPECT_EQ(choice.note.empty(), !c.noted) << choice.note;
    }
    const auto note = OutputFormat::choose("a.flac", std::nullopt, SF_FORMAT_WAV | SF_FORMAT_FLOAT).note;
    EXPECT_EQ(note,
              "FLAC cannot hold the input's encoding (float32); writing pcm24 instead; --encoding chooses "
              "from pcm16, pcm24");
    // Asked for, an encoding the container cannot hold is an error.
    EXPECT_THROW(OutputFormat::choose("a.flac", Encoding::Float32, SF_FORMAT_WAV | SF_FORMAT_FLOAT),
                 orvane::tools::ToolError);
}

}  // namespace
}  // namespace orvane::testing::tool
