// Processing must never touch the heap. This binary replaces every global allocation and
// release function, counts the calls made while the counter is armed, and arms it only
// around process() calls, for every node type under every kind of change between blocks.

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "extension/AudioEffectsNodeFactory.h"
#include "host/AudioBuffer.h"
#include "host/AudioBus.h"
#include "nodes/ChorusNode.h"
#include "nodes/DelayNode.h"
#include "nodes/FlangerNode.h"
#include "nodes/PingPongDelayNode.h"
#include "nodes/VibratoNode.h"

// ---------------------------------------------------------------------------------------
// The counting allocator

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
void __libc_free(void* pointer);
void* __libc_memalign(std::size_t alignment, std::size_t size);
}

namespace {

struct Counts {
    std::atomic<std::size_t> allocations{0};
    std::atomic<std::size_t> releases{0};
    std::atomic<std::size_t> callocs{0};
};

Counts counts;
thread_local bool armed = false;

void noteAllocation() noexcept {
    if (armed) counts.allocations.fetch_add(1, std::memory_order_relaxed);
}

void noteRelease(const void* pointer) noexcept {
    if (armed && pointer) counts.releases.fetch_add(1, std::memory_order_relaxed);
}

void* allocateOrThrow(std::size_t size) {
    noteAllocation();
    void* pointer = __libc_malloc(size == 0 ? 1 : size);
    if (!pointer) throw std::bad_alloc();
    return pointer;
}

void* allocateAlignedOrThrow(std::size_t size, std::align_val_t alignment) {
    noteAllocation();
    void* pointer = __libc_memalign(static_cast<std::size_t>(alignment), size == 0 ? 1 : size);
    if (!pointer) throw std::bad_alloc();
    return pointer;
}

void* allocateOrNull(std::size_t size) noexcept {
    noteAllocation();
    return __libc_malloc(size == 0 ? 1 : size);
}

void* allocateAlignedOrNull(std::size_t size, std::align_val_t alignment) noexcept {
    noteAllocation();
    return __libc_memalign(static_cast<std::size_t>(alignment), size == 0 ? 1 : size);
}

void release(void* pointer) noexcept {
    noteRelease(pointer);
    __libc_free(pointer);
}

}  // namespace

extern "C" {

void* malloc(std::size_t size) noexcept {
    noteAllocation();
    return __libc_malloc(size);
}

void* calloc(std::size_t count, std::size_t size) noexcept {
    noteAllocation();
    if (armed) counts.callocs.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}

void* realloc(void* pointer, std::size_t size) noexcept {
    noteAllocation();
    return __libc_realloc(pointer, size);
}

void free(void* pointer) noexcept { release(pointer); }

void* aligned_alloc(std::size_t alignment, std::size_t size) noexcept {
    noteAllocation();
    return __libc_memalign(alignment, size);
}

void* memalign(std::size_t alignment, std::size_t size) noexcept {
    noteAllocation();
    return __libc_memalign(alignment, size);
}

int posix_memalign(void** result, std::size_t alignment, std::size_t size) noexcept {
    noteAllocation();
    if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) return 22;  // EINVAL
    void* pointer = __libc_memalign(alignment, size);
    if (!pointer) return 12;  // ENOMEM
    *result = pointer;
    return 0;
}

}  // extern "C"

void* operator new(std::size_t size) { return allocateOrThrow(size); }
void* operator new[](std::size_t size) { return allocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocateOrNull(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocateOrNull(size); }
void* operator new(std::size_t size, std::align_val_t alignment) { return allocateAlignedOrThrow(size, alignment); }
void* operator new[](std::size_t size, std::align_val_t alignment) { return allocateAlignedOrThrow(size, alignment); }
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return allocateAlignedOrNull(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return allocateAlignedOrNull(size, alignment);
}

void operator delete(void* pointer) noexcept { release(pointer); }
void operator delete[](void* pointer) noexcept { release(pointer); }
void operator delete(void* pointer, const std::nothrow_t&) noexcept { release(pointer); }
void operator delete[](void* pointer, const std::nothrow_t&) noexcept { release(pointer); }
void operator delete(void* pointer, std::size_t) noexcept { release(pointer); }
void operator delete[](void* pointer, std::size_t) noexcept { release(pointer); }
void operator delete(void* pointer, std::align_val_t) noexcept { release(pointer); }
void operator delete[](void* pointer, std::align_val_t) noexcept { release(pointer); }
void operator delete(void* pointer, std::size_t, std::align_val_t) noexcept { release(pointer); }
void operator delete[](void* pointer, std::size_t, std::align_val_t) noexcept { release(pointer); }
void operator delete(void* pointer, std::align_val_t, const std::nothrow_t&) noexcept { release(pointer); }
void operator delete[](void* pointer, std::align_val_t, const std::nothrow_t&) noexcept { release(pointer); }

#include <filesystem>
#include <fstream>
#include <iterator>

#include "reliability/ScenarioGrid.h"

namespace orvane {
namespace {

using extensions::audioeffects::AudioEffectsNodeFactory;
using extensions::audioeffects::ChorusNode;
using extensions::audioeffects::DelayNode;
using extensions::audioeffects::FlangerNode;
using extensions::audioeffects::PingPongDelayNode;
using extensions::audioeffects::VibratoNode;

// Keeps the compiler from leaving out an allocation whose result is never used.
void* volatile sink = nullptr;

// Counts what happens between its construction and measure().
class Armed {
public:
    Armed() {
        allocationsBefore = counts.allocations.load();
        releasesBefore = counts.releases.load();
        callocsBefore = counts.callocs.load();
        armed = true;
    }
    ~Armed() { armed = false; }
    Armed(const Armed&) = delete;
    Armed& operator=(const Armed&) = delete;

    void stop() { armed = false; }
    std::size_t allocations() const { return counts.allocations.load() - allocationsBefore; }
    std::size_t releases() const { return counts.releases.load() - releasesBefore; }
    std::size_t callocs() const { return counts.callocs.load() - callocsBefore; }

private:
    std::size_t allocationsBefore = 0;
    std::size_t releasesBefore = 0;
    std::size_t callocsBefore = 0;
};

TEST(AllocationCounterTest, CountsEveryKindOfAllocationOnlyWhileArmed) {
    {
        Armed gate;
        int* single = new int(5);
        sink = single;
        gate.stop();
        EXPECT_EQ(gate.allocations(), 1u);
        delete single;
    }
    struct alignas(64) Wide {
        char bytes[64];
    };
    const std::vector<std::pair<const char*, std::function<void()>>> cases = {
        {"new[]",
         [] {
             int* p = new int[4];
             sink = p;
             delete[] p;
         }},
        {"nothrow new",
         [] {
             int* p = new (std::nothrow) int(1);
             sink = p;
             delete p;
         }},
        {"aligned new",
         [] {
             Wide* p = new Wide();
             sink = p;
             delete p;
         }},
        {"aligned new[]",
         [] {
             Wide* p = new Wide[2];
             sink = p;
             delete[] p;
         }},
        {"malloc",
         [] {
             void* p = std::malloc(16);
             sink = p;
             std::free(p);
         }},
        {"calloc",
         [] {
             void* p = std::calloc(4, 4);
             sink = p;
             std::free(p);
         }},
        {"realloc",
         [] {
             void* p = std::realloc(nullptr, 8);
             sink = p;
             std::free(p);
         }},
        {"aligned_alloc",
         [] {
             void* p = std::aligned_alloc(64, 128);
             sink = p;
             std::free(p);
         }},
        {"posix_memalign",
         [] {
             void* p = nullptr;
             if (posix_memalign(&p, 64, 128) == 0) sink = p;
             std::free(p);
         }},
        {"vector growth",
         [] {
             std::vector<float> v;
             v.push_back(1.0f);
             sink = v.data();
         }},
    };
    for (const auto& [name, allocate] : cases) {
        Armed gate;
        allocate();
        gate.stop();
        EXPECT_EQ(gate.allocations(), 1u) << name;
        EXPECT_EQ(gate.releases(), 1u) << name;
    }

    // Unarmed calls are not counted.
    const std::size_t before = counts.allocations.load();
    int* unarmed = new int(3);
    sink = unarmed;
    delete unarmed;
    EXPECT_EQ(counts.allocations.load(), before);

    // Allocations made inside the effects library are seen too: its delay lines are
    // allocated zero-filled when a node is built.
    {
        Armed gate;
        auto node = std::make_unique<DelayNode>(2);
        gate.stop();
        EXPECT_GE(gate.callocs(), 2u);
        EXPECT_GE(gate.allocations(), 3u);

        // An output buffer too small for the block makes process() grow it: the gate sees
        // that, which is why every other test hands in outputs that are large enough.
        AudioBuffer<float> input(2, 64, 48000);
        AudioBuffer<float> tooSmall;
        AudioBus inputBus(input);
        AudioBus outputBus(tooSmall);
        Armed processing;
        node->process(inputBus, outputBus);
        processing.stop();
        EXPECT_EQ(processing.allocations(), 1u);
    }
}

// ---------------------------------------------------------------------------------------
// Processing

constexpr std::uint32_t maxChannels = 4;
constexpr std::uint32_t maxFrames = 1024;

// Input blocks of several shapes, all built before anything is armed.
AudioBuffer<float> signal(std::uint32_t channels, std::uint32_t frames, std::uint32_t rate) {
    AudioBuffer<float> buffer(channels, frames, rate);
    std::uint32_t state = 12345;
    for (std::uint32_t c = 0; c < channels; ++c)
        for (std::uint32_t f = 0; f < frames; ++f) {
            state = state * 1664525u + 1013904223u;
            buffer.setSample(c, f, static_cast<float>(state >> 8) / 16777216.0f - 0.5f);
        }
    return buffer;
}

// Runs one node through a fixed programme of blocks and changes, arming the counter only
// around each process() call, and answers the allocations and releases seen.
class Programme {
public:
    explicit Programme(SingleBusAudioProcessorNode& target) : node(target), output(maxChannels, maxFrames, 0) {
        for (std::uint32_t rate : {48000u, 44100u, 96000u, 8000u, 500u, 1u, 0u})
            for (std::uint32_t channels : {2u, 1u, 3u, 0u})
                for (std::uint32_t frames : {512u, 1u, 0u, 1024u}) inputs.push_back(signal(channels, frames, rate));
        // An output that has held the largest shape never needs to grow.
        EXPECT_GE(output.getCapacity(), std::size_t{maxChannels} * maxFrames);
    }

    // One block of the given shape, through the single-bus or the list-level operation.
    void block(std::uint32_t rate, std::uint32_t channels, std::uint32_t frames, bool throughLists = false) {
        AudioBuffer<float>& input = find(rate, channels, frames);
        AudioBus inputBus(input);
        AudioBus outputBus(output);
        AudioBusList inputList{inputBus};
        AudioBusList outputList{outputBus};
        bool answer = false;
        {
            Armed gate;
            answer = throughLists ? node.process(inputList, outputList) : node.process(inputBus, outputBus);
            gate.stop();
            allocations += gate.allocations();
            releases += gate.releases();
        }
        EXPECT_TRUE(answer);
        ++blocks;
    }

    void blocksOf(int count, std::uint32_t rate, std::uint32_t channels, std::uint32_t frames) {
        for (int n = 0; n < count; ++n) block(rate, channels, frames, n % 3 == 2);
    }

    std::size_t allocations = 0;
    std::size_t releases = 0;
    int blocks = 0;

private:
    AudioBuffer<float>& find(std::uint32_t rate, std::uint32_t channels, std::uint32_t frames) {
        for (auto& input : inputs)
            if (input.getSampleRate() == rate && input.getNumberOfChannels() == channels &&
                input.getNumberOfFrames() == frames)
                return input;
        ADD_FAILURE() << "no input block " << rate << "/" << channels << "/" << frames;
        return inputs.front();
    }

    SingleBusAudioProcessorNode& node;
    AudioBuffer<float> output;
    std::vector<AudioBuffer<float>> inputs;
};

// The format changes every node goes through: steady stereo, mono, more channels than
// built for, no channels, sample-rate changes including 0 and 1 Hz, zero-frame and
// one-frame blocks.
void runFormatChanges(Programme& programme) {
    programme.blocksOf(200, 48000, 2, 512);
    programme.blocksOf(5, 48000, 2, 0);
    programme.blocksOf(5, 48000, 1, 512);
    programme.blocksOf(5, 48000, 2, 1);
    programme.blocksOf(5, 44100, 2, 1024);
    programme.blocksOf(5, 96000, 3, 512);
    programme.blocksOf(5, 96000, 0, 512);
    programme.blocksOf(5, 8000, 1, 1024);
    programme.blocksOf(3, 0, 2, 512);
    programme.blocksOf(3, 1, 2, 512);
    programme.blocksOf(10, 48000, 2, 512);
}

void expectNoHeapUse(const Programme& programme, const std::string& what) {
    EXPECT_GT(programme.blocks, 0) << what;
    EXPECT_EQ(programme.allocations, 0u) << what << " allocated while processing";
    EXPECT_EQ(programme.releases, 0u) << what << " released memory while processing";
}

void exerciseDelay(DelayNode& node, const std::string& what) {
    Programme programme(node);
    runFormatChanges(programme);
    for (unsigned int delayMs : {100u, 0u, 1000u, 1u, 5000u, UINT_MAX, 200u}) {
        node.setDelayMs(delayMs);
        programme.blocksOf(4, 48000, 2, 512);
    }
    node.setFeedbackLevel(0.9f);
    node.setDryMix(0.0f);
    node.setWetMix(1.0f);
    programme.blocksOf(4, 44100, 2, 512);
    node.setIsEnabled(false);
    programme.blocksOf(4, 44100, 2, 512);
    programme.blocksOf(2, 48000, 1, 512);
    node.setIsEnabled(true);
    programme.blocksOf(4, 48000, 2, 512);
    expectNoHeapUse(programme, what);
}

void exercisePingPong(PingPongDelayNode& node, const std::string& what) {
    Programme programme(node);
    runFormatChanges(programme);
    for (unsigned int delayMs : {100u, 0u, 1000u, 1u, 2000u, UINT_MAX, 200u}) {
        node.setDelayMs(delayMs);
        programme.blocksOf(4, 48000, 2, 512);
        programme.blocksOf(1, 500, 2, 512);  // fewer than one sample of delay at 1 ms
    }
    // Through the host properties as well; setValue itself may allocate, process may not.
    ASSERT_TRUE(node.setValue("delayMs", OVAny(50u)).ok());
    ASSERT_TRUE(node.setValue("feedbackLevel", OVAny(0.5f)).ok());
    programme.blocksOf(4, 48000, 2, 512);
    node.setIsEnabled(false);
    programme.blocksOf(4, 48000, 2, 512);
    node.setIsEnabled(true);
    programme.blocksOf(4, 48000, 2, 512);
    expectNoHeapUse(programme, what);
}

template <typename SweepNode>
void exerciseSweep(SweepNode& node, const std::string& what) {
    Programme programme(node);
    runFormatChanges(programme);
    for (float width : {0.0f, 0.5f, 2.0f, -0.01f, std::numeric_limits<float>::quiet_NaN(), 0.01f}) {
        node.setSweepWidth(width);
        programme.blocksOf(3, 48000, 2, 512);
    }
    for (float frequency : {0.0f, 20.0f, -3.0f, 1.0e6f, std::numeric_limits<float>::infinity(), 1.0f}) {
        node.setFrequency(frequency);
        programme.blocksOf(3, 48000, 2, 512);
    }
    node.setIsEnabled(false);
    programme.blocksOf(4, 48000, 2, 512);
    node.setIsEnabled(true);
    programme.blocksOf(4, 44100, 1, 512);
    expectNoHeapUse(programme, what);
}

template <typename NodeType>
NodeType* created(Result<std::unique_ptr<Node>>& result) {
    return result.ok() ? dynamic_cast<NodeType*>(result.value().get()) : nullptr;
}

TEST(AllocationTest, DelayNeverAllocatesWhileProcessing) {
    AudioEffectsNodeFactory factory;
    auto result = factory.createNode("Delay", OVAnyMap{});
    auto* fromFactory = created<DelayNode>(result);
    ASSERT_NE(fromFactory, nullptr);
    exerciseDelay(*fromFactory, "Delay from the factory");
    for (unsigned int channels : {0u, 1u, 2u, 3u}) {
        DelayNode direct(channels);
        exerciseDelay(direct, "Delay built for " + std::to_string(channels) + " channels");
    }
}

TEST(AllocationTest, PingPongDelayNeverAllocatesWhileProcessing) {
    AudioEffectsNodeFactory factory;
    auto result = factory.createNode("AudioEffects.PingPongDelay", OVAnyMap{{"delayMs", 500u}});
    auto* fromFactory = created<PingPongDelayNode>(result);
    ASSERT_NE(fromFactory, nullptr);
    exercisePingPong(*fromFactory, "PingPongDelay from the factory");
    PingPongDelayNode direct(OVAnyMap{});
    exercisePingPong(direct, "PingPongDelay built directly");
}

TEST(AllocationTest, VibratoNeverAllocatesWhileProcessing) {
    AudioEffectsNodeFactory factory;
    auto result = factory.createNode("Vibrato", OVAnyMap{});
    auto* fromFactory = created<VibratoNode>(result);
    ASSERT_NE(fromFactory, nullptr);
    exerciseSweep(*fromFactory, "Vibrato from the factory");
    for (unsigned int channels : {0u, 1u, 2u}) {
        VibratoNode direct(channels);
        exerciseSweep(direct, "Vibrato built for " + std::to_string(channels) + " channels");
    }
}

TEST(AllocationTest, FlangerNeverAllocatesWhileProcessing) {
    AudioEffectsNodeFactory factory;
    auto result = factory.createNode("Flanger", OVAnyMap{});
    auto* fromFactory = created<FlangerNode>(result);
    ASSERT_NE(fromFactory, nullptr);
    exerciseSweep(*fromFactory, "Flanger from the factory");
    for (unsigned int channels : {0u, 1u, 2u}) {
        FlangerNode direct(channels);
        exerciseSweep(direct, "Flanger built for " + std::to_string(channels) + " channels");
    }
}

TEST(AllocationTest, ChorusNeverAllocatesWhileProcessing) {
    AudioEffectsNodeFactory factory;
    auto result = factory.createNode("Chorus", OVAnyMap{});
    auto* fromFactory = created<ChorusNode>(result);
    ASSERT_NE(fromFactory, nullptr);
    exerciseSweep(*fromFactory, "Chorus from the factory");
    for (unsigned int channels : {0u, 1u, 2u}) {
        ChorusNode direct(channels);
        exerciseSweep(direct, "Chorus built for " + std::to_string(channels) + " channels");
    }
}

// Every scenario of the reliability grid and every fuzz corpus script, with the counter
// armed around each process() call by the harness.
TEST(AllocationTest, NoNodeAllocatesAnywhereInTheReliabilityScenarios) {
    testing::harnessCounters().processObserver = [](bool starting) { armed = starting; };
    const std::size_t allocationsBefore = counts.allocations.load();
    const std::size_t releasesBefore = counts.releases.load();
    for (testing::EffectType type : testing::allEffectTypes) {
        EXPECT_TRUE(testing::runFormatGrid(type).empty()) << testing::effectName(type);
        EXPECT_TRUE(testing::runParameterGrid(type).empty()) << testing::effectName(type);
    }
    for (const auto& entry : std::filesystem::directory_iterator(ORVANE_FUZZ_CORPUS)) {
        std::ifstream file(entry.path(), std::ios::binary);
        const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
        EXPECT_EQ(testing::runScript(bytes.data(), bytes.size()), "") << entry.path();
    }
    testing::harnessCounters().processObserver = nullptr;
    EXPECT_EQ(counts.allocations.load() - allocationsBefore, 0u);
    EXPECT_EQ(counts.releases.load() - releasesBefore, 0u);
}

}  // namespace
}  // namespace orvane
