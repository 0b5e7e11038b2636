// The tool's pure decisions, for cases no file shows quickly: outputs beyond 4 GiB, rare
// encodings, decimals at the edges of float.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "SoundFiles.h"
#include "StrictNumber.h"
#include "Tool.h"

namespace orvane::testing::tool {
namespace {

using orvane::tools::StrictNumber;

TEST(StrictNumber, TakesFiniteDecimalsAsTheNearestValueAndRefusesTheRest) {
    const float tiny = std::numeric_limits<float>::denorm_min();
    EXPECT_EQ(StrictNumber::finite<float>("1e-50"), 0.0f);
    EXPECT_EQ(StrictNumber::finite<float>("1e-45"), tiny);
    EXPECT_EQ(StrictNumber::finite<float>("0.8e-45"), tiny);  // above half the smallest: rounds up
    EXPECT_EQ(StrictNumber::finite<float>("7e-46"), 0.0f);    // below half: rounds to zero
    EXPECT_EQ(StrictNumber::finite<float>("1e-40"), 1e-40f);
    EXPECT_EQ(StrictNumber::finite<float>("3.4028235e38"), std::numeric_limits<float>::max());
    for (const char* text : {"1e39", "-1e39", "1e999", "inf", "nan", "0x10", " 1", "1 ", "1e-50x", "", "e-50", "-"})
        EXPECT_FALSE(StrictNumber::finite<float>(text)) << text;
    EXPECT_TRUE(std::signbit(StrictNumber::finite<float>("-1e-50").value()));
    EXPECT_EQ(StrictNumber::finite<double>("1e-400"), 0.0);
    EXPECT_EQ(StrictNumber::finite<double>("1e-50"), 1e-50);
    EXPECT_EQ(StrictNumber::finite<double>("4e-324"), std::numeric_limits<double>::denorm_min());
    for (const char* text : {"1e309", "-1e999", "infinity", "1e-400.5"})
        EXPECT_FALSE(StrictNumber::finite<double>(text));
}

// Only WAV and AIFF count their length in 32 bits; the limit leaves room for the chunks.
TEST(OutputFormat, FrameLimitKeepsTheSamplesBelowFourGibibytes) {
    constexpr std::uint64_t fourGiB = std::uint64_t{1} << 32;
    for (const auto& [format, channels, bytesPerFrame] : {std::tuple{SF_FORMAT_AIFF | SF_FORMAT_FLOAT, 2u, 8u},
                                                          {SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 1u, 3u},
                                                          {SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2u, 4u},
                                                          {SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 6u, 48u},
                                                          {SF_FORMAT_AIFF | SF_FORMAT_ULAW, 2u, 2u}}) {
        const auto limit = tools::frameLimit(format, channels);
        ASSERT_TRUE(limit) << format;
        EXPECT_LT(*limit * bytesPerFrame, fourGiB);
        EXPECT_GT(*limit * bytesPerFrame, fourGiB - 1024 * 1024);
    }
    for (int format :
         {SF_FORMAT_RF64 | SF_FORMAT_PCM_16, SF_FORMAT_FLAC | SF_FORMAT_PCM_24, SF_FORMAT_OGG | SF_FORMAT_VORBIS})
        EXPECT_FALSE(tools::frameLimit(format, 2));
}

// Without --encoding: the input's, or the nearest the container holds, with a note.
TEST(OutputFormat, DefaultEncodingFallsBackToTheNearestTheContainerHolds) {
    for (const auto& [path, input, expected, noted] :
         {std::tuple{"a.wav", SF_FORMAT_OGG | SF_FORMAT_VORBIS, SF_FORMAT_WAV | SF_FORMAT_FLOAT, true},
          {"a.wav", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, SF_FORMAT_WAV | SF_FORMAT_FLOAT, true},
          {"a.wav", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, SF_FORMAT_WAV | SF_FORMAT_FLOAT, true},
          {"a.aif", SF_FORMAT_OGG | SF_FORMAT_OPUS, SF_FORMAT_AIFF | SF_FORMAT_FLOAT, true},
          {"a.flac", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, SF_FORMAT_FLAC | SF_FORMAT_PCM_24, true},
          {"a.wav", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, SF_FORMAT_WAV | SF_FORMAT_PCM_24, false},
          {"a.WAV", SF_FORMAT_AIFF | SF_FORMAT_DOUBLE, SF_FORMAT_WAV | SF_FORMAT_DOUBLE, false},
          {"a.ogg", SF_FORMAT_WAV | SF_FORMAT_FLOAT, SF_FORMAT_OGG | SF_FORMAT_VORBIS, false}}) {
        const auto choice = tools::chooseOutputFormat(path, "", input);
        EXPECT_EQ(choice.format, expected) << path << " from " << input;
        EXPECT_EQ(choice.note.empty(), !noted) << choice.note;
    }
    EXPECT_EQ(tools::chooseOutputFormat("a.wav", "", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM).note,
              "WAV cannot hold the input's encoding (IMA ADPCM); writing float32 instead; --encoding chooses from "
              "float32, pcm16, pcm24");
}

}  // namespace
}  // namespace orvane::testing::tool
