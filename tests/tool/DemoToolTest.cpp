#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "ToolHarness.h"
#include "nodes/ChorusNode.h"
#include "nodes/DelayNode.h"
#include "nodes/FlangerNode.h"
#include "nodes/PingPongDelayNode.h"
#include "nodes/VibratoNode.h"

namespace orvane::testing::tool {
namespace {

using namespace orvane::extensions::audioeffects;

const std::vector<std::string> effectNames{"Delay", "PingPongDelay", "Vibrato", "Flanger", "Chorus"};

struct PngHeader {
    bool valid = false;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

// The PNG signature followed by the IHDR chunk, which holds the image's size.
PngHeader readPngHeader(const fs::path& path) {
    const std::string bytes = readText(path);
    PngHeader header;
    if (bytes.size() < 24 || bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0 || bytes.compare(12, 4, "IHDR") != 0)
        return header;
    auto bigEndian = [&bytes](std::size_t at) {
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < 4; ++i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
        return value;
    };
    header.valid = true;
    header.width = bigEndian(16);
    header.height = bigEndian(20);
    return header;
}

fs::path whereIs(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string directories = path ? path : "";
    std::size_t start = 0;
    while (start <= directories.size()) {
        const std::size_t colon = std::min(directories.find(':', start), directories.size());
        const fs::path candidate = fs::path(directories.substr(start, colon - start)) / program;
        if (!directories.substr(start, colon - start).empty() && fs::exists(candidate)) return candidate;
        start = colon + 1;
    }
    return {};
}

TEST(DemoTool, WritesAudioAndRealImagesForEveryEffectAndATable) {
    TemporaryDirectory directory;
    const std::string output = directory / "nested/demo";
    const ToolRun run = runTool({"demo", output});
    ASSERT_EQ(run.status, 0) << run.err;

    std::vector<std::string> expectedFiles{"dry.wav"};
    for (const std::string& name : effectNames)
        for (const char* suffix : {".wav", "-impulse.png", "-spectrogram.png"}) expectedFiles.push_back(name + suffix);
    std::sort(expectedFiles.begin(), expectedFiles.end());
    std::vector<std::string> written;
    for (const auto& entry : fs::directory_iterator(output)) written.push_back(entry.path().filename().string());
    std::sort(written.begin(), written.end());
    EXPECT_EQ(written, expectedFiles) << "no scratch files are left behind";

    for (const std::string& name : effectNames) {
        SCOPED_TRACE(name);
        for (const char* suffix : {"-impulse.png", "-spectrogram.png"}) {
            const fs::path image = fs::path(output) / (name + suffix);
            const PngHeader header = readPngHeader(image);
            EXPECT_TRUE(header.valid) << image;
            EXPECT_GE(header.width, 300u);
            EXPECT_LE(header.width, 4000u);
            EXPECT_GE(header.height, 200u);
            EXPECT_LE(header.height, 4000u);
            EXPECT_GT(fs::file_size(image), 5000u) << "an image with content, not a blank page";
        }
        const std::string row = "\n" + name + " ";
        EXPECT_NE(run.out.find(row), std::string::npos) << run.out;
        EXPECT_NE(run.out.find(name + "-spectrogram.png"), std::string::npos);
    }
    EXPECT_NE(run.out.find("real-time factor"), std::string::npos);
    EXPECT_NE(run.out.find("peak"), std::string::npos);
    EXPECT_NE(run.out.find("RMS"), std::string::npos);

    // Each processed file is the dry signal through a default node, sample for sample.
    const Sound dry = readSound(fs::path(output) / "dry.wav");
    EXPECT_EQ(dry.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    EXPECT_EQ(dry.sampleRate, 48000u);
    ASSERT_EQ(dry.channels.size(), 2u);
    EXPECT_GE(dry.frames(), 2u * 48000u);
    EXPECT_LE(dry.frames(), 10u * 48000u);
    std::vector<std::unique_ptr<SingleBusAudioProcessorNode>> nodes;
    nodes.push_back(std::make_unique<DelayNode>(2));
    nodes.push_back(std::make_unique<PingPongDelayNode>(OVAnyMap{}));
    nodes.push_back(std::make_unique<VibratoNode>(2));
    nodes.push_back(std::make_unique<FlangerNode>(2));
    nodes.push_back(std::make_unique<ChorusNode>(2));
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        SCOPED_TRACE(effectNames[i]);
        const Channels expected = processInBlocks(*nodes[i], dry.channels, 48000, 2048);
        EXPECT_TRUE(sameSamples(expected, readSound(fs::path(output) / (effectNames[i] + ".wav")).channels));
    }
}

TEST(DemoTool, NamesThePackageOfAMissingDrawingTool) {
    TemporaryDirectory directory;
    const fs::path bin = directory.path() / "bin";
    fs::create_directory(bin);
    const fs::path sox = whereIs("sox");
    const fs::path gnuplot = whereIs("gnuplot");
    ASSERT_FALSE(sox.empty());
    ASSERT_FALSE(gnuplot.empty());

    fs::create_symlink(sox, bin / "sox");
    const std::vector<std::string> onlyBin{"PATH=" + bin.string()};
    ToolRun run = runTool({"demo", directory / "out"}, &onlyBin);
    EXPECT_NE(run.status, 0);
    EXPECT_TRUE(isOneLine(run.err)) << run.err;
    EXPECT_NE(run.err.find("gnuplot-nox"), std::string::npos) << run.err;

    fs::remove(bin / "sox");
    fs::create_symlink(gnuplot, bin / "gnuplot");
    run = runTool({"demo", directory / "out"}, &onlyBin);
    EXPECT_NE(run.status, 0);
    EXPECT_TRUE(isOneLine(run.err)) << run.err;
    EXPECT_NE(run.err.find("package sox"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(directory.path() / "out")) << "nothing is written before the tools are known to exist";
}

}  // namespace
}  // namespace orvane::testing::tool
