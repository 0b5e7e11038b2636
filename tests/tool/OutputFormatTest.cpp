#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include <sndfile.h>

#include "SoundFiles.h"
#include "Tool.h"

namespace orvane::testing::tool {
namespace {

using orvane::tools::chooseOutputFormat;
using orvane::tools::frameLimit;

constexpr std::uint64_t fourGiB = std::uint64_t{1} << 32;

// Only WAV and AIFF count their length in 32 bits; the limit leaves room for the chunks.
TEST(OutputFormat, FrameLimitKeepsTheSamplesBelowFourGibibytes) {
    struct Case {
        int format;
        std::uint32_t channels;
        std::uint64_t bytesPerFrame;
    };
    for (const Case& c : {Case{SF_FORMAT_AIFF | SF_FORMAT_FLOAT, 2, 8}, Case{SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 1, 3},
                          Case{SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 4}, Case{SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 6, 48},
                          Case{SF_FORMAT_AIFF | SF_FORMAT_ULAW, 2, 2}}) {
        SCOPED_TRACE(c.format);
        const auto limit = frameLimit(c.format, c.channels);
        ASSERT_TRUE(limit);
        EXPECT_LT(*limit * c.bytesPerFrame, fourGiB);
        EXPECT_GT(*limit * c.bytesPerFrame, fourGiB - 1024 * 1024);
    }
    for (int format :
         {SF_FORMAT_RF64 | SF_FORMAT_PCM_16, SF_FORMAT_FLAC | SF_FORMAT_PCM_24, SF_FORMAT_OGG | SF_FORMAT_VORBIS})
        EXPECT_FALSE(frameLimit(format, 2));
}

// Encodings no test file is at hand for: the nearest the container holds, with a note.
TEST(OutputFormat, DefaultEncodingFallsBackToTheNearestTheContainerHolds) {
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
        {"a.flac", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, SF_FORMAT_FLAC | SF_FORMAT_PCM_24, true},
        {"a.wav", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, SF_FORMAT_WAV | SF_FORMAT_PCM_24, false},
        {"a.WAV", SF_FORMAT_AIFF | SF_FORMAT_DOUBLE, SF_FORMAT_WAV | SF_FORMAT_DOUBLE, false},
        {"a.ogg", SF_FORMAT_WAV | SF_FORMAT_FLOAT, SF_FORMAT_OGG | SF_FORMAT_VORBIS, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " from " + std::to_string(c.input));
        const auto choice = chooseOutputFormat(c.path, "", c.input);
        EXPECT_EQ(choice.format, c.expected);
        EXPECT_EQ(choice.note.empty(), !c.noted) << choice.note;
    }
    EXPECT_EQ(chooseOutputFormat("a.wav", "", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM).note,
              "WAV cannot hold the input's encoding (IMA ADPCM); writing float32 instead; --encoding chooses from "
              "float32, pcm16, pcm24");
}

}  // namespace
}  // namespace orvane::testing::tool
