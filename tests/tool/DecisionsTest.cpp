// The tool's pure decisions, for cases no file shows quickly: outputs beyond 4 GiB, rare
// encodings, decimals at the edges of float.
#include "SoundFiles.h"
#include "StrictNumber.h"
#include "ToolHarness.h"

namespace orvane::testing::tool {
namespace {

using orvane::tools::StrictNumber;

// 0.8e-45 lies above half the smallest subnormal float and rounds up to it; 7e-46 lies below.
TEST(StrictNumber, TakesFiniteDecimalsAsTheNearestValueAndRefusesTheRest) {
    const float tiny = std::numeric_limits<float>::denorm_min(), most = std::numeric_limits<float>::max();
    const std::pair<const char*, float> floats[] = {{"1e-50", 0.0f}, {"1e-45", tiny},   {"0.8e-45", tiny},
                                                    {"7e-46", 0.0f}, {"1e-40", 1e-40f}, {"3.4028235e38", most}};
    for (const auto& [text, value] : floats) EXPECT_EQ(StrictNumber::finite<float>(text), value) << text;
    for (const char* text : {"1e39", "-1e39", "1e999", "inf", "nan", "0x10", " 1", "1 ", "1e-50x", "", "e-50", "-"})
        EXPECT_FALSE(StrictNumber::finite<float>(text)) << text;
    EXPECT_TRUE(std::signbit(StrictNumber::finite<float>("-1e-50").value()));
    const std::pair<const char*, double> doubles[] = {
        {"1e-400", 0.0}, {"1e-50", 1e-50}, {"4e-324", std::numeric_limits<double>::denorm_min()}};
    for (const auto& [text, value] : doubles) EXPECT_EQ(StrictNumber::finite<double>(text), value) << text;
    for (const char* text : {"1e309", "-1e999", "infinity", "1e-400.5"})
        EXPECT_FALSE(StrictNumber::finite<double>(text));
}

// Only WAV and AIFF count their length in 32 bits; the limit leaves room for the chunks.
TEST(OutputFormat, FrameLimitKeepsTheSamplesBelowFourGibibytes) {
    constexpr std::uint64_t fourGiB = std::uint64_t{1} << 32;
    const std::tuple<int, std::uint32_t, std::uint64_t> formats[] = {{SF_FORMAT_AIFF | SF_FORMAT_FLOAT, 2, 8},
                                                                     {SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 1, 3},
                                                                     {SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 4},
                                                                     {SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 6, 48},
                                                                     {SF_FORMAT_AIFF | SF_FORMAT_ULAW, 2, 2}};
    for (const auto& [format, channels, bytesPerFrame] : formats) {
        const std::uint64_t bytes = tools::frameLimit(format, channels).value_or(fourGiB) * bytesPerFrame;
        EXPECT_TRUE(bytes < fourGiB && bytes > fourGiB - 1024 * 1024) << format << ": " << bytes;
    }
    for (int format :
         {SF_FORMAT_RF64 | SF_FORMAT_PCM_16, SF_FORMAT_FLAC | SF_FORMAT_PCM_24, SF_FORMAT_OGG | SF_FORMAT_VORBIS})
        EXPECT_FALSE(tools::frameLimit(format, 2));
}

// Without --encoding: the input's, or the nearest the container holds, with a note.
TEST(OutputFormat, DefaultEncodingFallsBackToTheNearestTheContainerHolds) {
    const std::tuple<const char*, int, int, bool> choices[] = {
        {"a.wav", SF_FORMAT_OGG | SF_FORMAT_VORBIS, floatWav, true},
        {"a.wav", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, floatWav, true},
        {"a.wav", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, floatWav, true},
        {"a.aif", SF_FORMAT_OGG | SF_FORMAT_OPUS, SF_FORMAT_AIFF | SF_FORMAT_FLOAT, true},
        {"a.flac", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, SF_FORMAT_FLAC | SF_FORMAT_PCM_24, true},
        {"a.wav", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, SF_FORMAT_WAV | SF_FORMAT_PCM_24, false},
        {"a.WAV", SF_FORMAT_AIFF | SF_FORMAT_DOUBLE, SF_FORMAT_WAV | SF_FORMAT_DOUBLE, false},
        {"a.ogg", floatWav, SF_FORMAT_OGG | SF_FORMAT_VORBIS, false}};
    for (const auto& [path, input, expected, noted] : choices) {
        const auto choice = tools::chooseOutputFormat(path, "", input);
        EXPECT_TRUE(choice.format == expected && choice.note.empty() != noted) << path << " from " << input;
    }
    EXPECT_EQ(tools::chooseOutputFormat("a.wav", "", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM).note,
              "WAV cannot hold the input's encoding (IMA ADPCM); writing float32 instead; --encoding chooses from "
              "float32, pcm16, pcm24");
}

}  // namespace
}  // namespace orvane::testing::tool
