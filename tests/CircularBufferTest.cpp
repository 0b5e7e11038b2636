// The delay line ring: pointer wrapping, absolute reads, interpolation, fill level, reset,
// capacity limits, moves, and staying inside the storage for any argument.

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <utility>
#include <vector>

#include "audio/CircularBuffer.h"

namespace orvane::audio {
namespace {

constexpr int lineSize = 48000;

// The interpolation formula: the earlier slot weighted by (1 - frac) in double precision,
// plus the later slot times frac in single precision, rounded once.
float blend(float earlier, float later, float frac) {
    const float upper = frac * later;
    return static_cast<float>(static_cast<double>(earlier) * (1.0 - static_cast<double>(frac)) +
                              static_cast<double>(upper));
}

// Fills slot k with k + 1 plus a fraction, so every slot is distinct and non-zero.
void fillDistinct(CircularBuffer& buffer) {
    for (int k = 0; k < buffer.capacity; ++k) buffer.data[k] = static_cast<float>(k + 1) + 0.125f;
}

bool pointersInside(const CircularBuffer& buffer) {
    return buffer.readPointer >= 0 && buffer.readPointer < buffer.capacity && buffer.writePointer >= 0 &&
           buffer.writePointer < buffer.capacity;
}

TEST(CircularBufferTest, FreshBufferIsSilentWithPointersAtZero) {
    const CircularBuffer buffer(lineSize);
    EXPECT_EQ(buffer.capacity, lineSize);
    ASSERT_NE(buffer.data, nullptr);
    EXPECT_EQ(buffer.readPointer, 0);
    EXPECT_EQ(buffer.writePointer, 0);
    EXPECT_EQ(buffer.readSample(), 0.0f);
    for (int k = 0; k < lineSize; ++k) ASSERT_EQ(buffer.readSample(k), 0.0f) << k;
    EXPECT_EQ(buffer.readSample(-1), 0.0f);
    EXPECT_EQ(buffer.readSample(-lineSize), 0.0f);
    EXPECT_EQ(buffer.getFillLevel(), 0);
    EXPECT_EQ(buffer.interpolate(123.5f), 0.0f);
}

TEST(CircularBufferTest, SetPointersWrapIntoTheRing) {
    CircularBuffer buffer(lineSize);
    buffer.setReadPointer(-1);
    EXPECT_EQ(buffer.readPointer, 47999);
    buffer.setReadPointer(48000);
    EXPECT_EQ(buffer.readPointer, 0);
    buffer.setReadPointer(-48000);
    EXPECT_EQ(buffer.readPointer, 0);
    buffer.setReadPointer(47999);
    EXPECT_EQ(buffer.readPointer, 47999);
    buffer.setReadPointer(48001);
    EXPECT_EQ(buffer.readPointer, 1);
    buffer.setReadPointer(-47999);
    EXPECT_EQ(buffer.readPointer, 1);

    buffer.setWritePointer(-1);
    EXPECT_EQ(buffer.writePointer, 47999);
    buffer.setWritePointer(48000);
    EXPECT_EQ(buffer.writePointer, 0);
    buffer.setWritePointer(-48000);
    EXPECT_EQ(buffer.writePointer, 0);
    buffer.setWritePointer(12345);
    EXPECT_EQ(buffer.writePointer, 12345);
    EXPECT_EQ(buffer.readPointer, 1);  // setting one pointer leaves the other
}

TEST(CircularBufferTest, StepPointersWrapBothWays) {
    CircularBuffer buffer(lineSize);
    buffer.setWritePointer(47999);
    buffer.stepWritePointer(1);
    EXPECT_EQ(buffer.writePointer, 0);
    buffer.stepReadPointer(-1);
    EXPECT_EQ(buffer.readPointer, 47999);
    buffer.stepReadPointer(2);
    EXPECT_EQ(buffer.readPointer, 1);
    buffer.stepReadPointer(48000);
    EXPECT_EQ(buffer.readPointer, 1);
    buffer.stepReadPointer(-48000);
    EXPECT_EQ(buffer.readPointer, 1);
    buffer.stepWritePointer(0);
    EXPECT_EQ(buffer.writePointer, 0);
    buffer.stepWritePointer(-3);
    EXPECT_EQ(buffer.writePointer, 47997);
}

TEST(CircularBufferTest, AbsoluteReadsIgnoreThePointers) {
    CircularBuffer buffer(lineSize);
    fillDistinct(buffer);
    for (const auto& [read, write] : std::vector<std::pair<int, int>>{{0, 0}, {17, 40000}, {47999, 3}}) {
        buffer.setReadPointer(read);
        buffer.setWritePointer(write);
        EXPECT_EQ(buffer.readSample(-1), buffer.data[47999]);
        EXPECT_EQ(buffer.readSample(48000), buffer.data[0]);
        EXPECT_EQ(buffer.readSample(-48000), buffer.data[0]);
        EXPECT_EQ(buffer.readSample(5), buffer.data[5]);
        EXPECT_EQ(buffer.readSample(), buffer.data[read]);
        EXPECT_EQ(buffer.readPointer, read);
        EXPECT_EQ(buffer.writePointer, write);
    }
}

TEST(CircularBufferTest, WriteGoesUnderTheWritePointerAndDoesNotStep) {
    CircularBuffer buffer(lineSize);
    buffer.setWritePointer(7);
    buffer.writeSample(0.25f);
    buffer.writeSample(-0.5f);  // no step in between: only the second value stays
    EXPECT_EQ(buffer.writePointer, 7);
    EXPECT_EQ(buffer.readSample(7), -0.5f);
    EXPECT_EQ(buffer.readSample(6), 0.0f);
    EXPECT_EQ(buffer.readSample(8), 0.0f);
    buffer.setReadPointer(7);
    EXPECT_EQ(buffer.readSample(), -0.5f);
    EXPECT_EQ(buffer.readPointer, 7);
}

TEST(CircularBufferTest, InterpolationValues) {
    CircularBuffer buffer(lineSize);
    buffer.data[2] = 0.3f;
    buffer.data[3] = 0.7f;
    buffer.data[4] = -1.1f;
    buffer.data[0] = 0.9f;
    buffer.data[47999] = -0.6f;

    EXPECT_EQ(buffer.interpolate(3.0f), 0.7f);
    EXPECT_EQ(buffer.interpolate(0.0f), 0.9f);
    EXPECT_EQ(buffer.interpolate(47999.0f), -0.6f);
    EXPECT_EQ(buffer.interpolate(2.25f), blend(0.3f, 0.7f, 0.25f));
    EXPECT_EQ(buffer.interpolate(3.75f), blend(0.7f, -1.1f, 0.75f));
    EXPECT_EQ(buffer.interpolate(47999.5f), blend(-0.6f, 0.9f, 0.5f));
    EXPECT_EQ(buffer.interpolate(-0.25f), blend(-0.6f, 0.9f, 0.75f));
    EXPECT_EQ(buffer.interpolate(-1.0f), -0.6f);
    EXPECT_EQ(buffer.interpolate(-48000.0f), 0.9f);
    EXPECT_EQ(buffer.interpolate(48000.0f), 0.9f);
    EXPECT_EQ(buffer.interpolate(-47996.5f), blend(0.7f, -1.1f, 0.5f));  // slot 3 and slot 4
    EXPECT_EQ(buffer.interpolate(-47997.5f), blend(0.3f, 0.7f, 0.5f));   // slot 2 and slot 3

    // A fraction that is not exact in binary: frac is position - floor(position) in floats.
    const float position = 2.1f;
    const float frac = position - std::floor(position);
    EXPECT_EQ(buffer.interpolate(position), blend(0.3f, 0.7f, frac));

    // The earlier slot's weight is applied in double precision: over many positions the
    // result must match that formula, and somewhere it differs from an all-float blend.
    CircularBuffer swept(64);
    for (int k = 0; k < 64; ++k) swept.data[k] = std::sin(static_cast<float>(k) * 0.731f) * 0.9f;
    bool floatBlendDiffers = false;
    for (int step = 0; step < 4000; ++step) {
        const float at = static_cast<float>(step) * 0.0157f - 1.3f;
        const float base = std::floor(at);
        const float weight = at - base;
        const int slot = (static_cast<int>(base) + 64) % 64;
        const float earlier = swept.data[slot];
        const float later = swept.data[(slot + 1) % 64];
        ASSERT_EQ(swept.interpolate(at), blend(earlier, later, weight)) << at;
        if (earlier * (1.0f - weight) + weight * later != blend(earlier, later, weight)) floatBlendDiffers = true;
    }
    EXPECT_TRUE(floatBlendDiffers);

    // Nothing moved.
    EXPECT_EQ(buffer.readPointer, 0);
    EXPECT_EQ(buffer.writePointer, 0);
}

TEST(CircularBufferTest, InterpolationOnASingleSlot) {
    CircularBuffer buffer(1);
    buffer.writeSample(0.5f);
    EXPECT_EQ(buffer.interpolate(0.0f), 0.5f);
    EXPECT_EQ(buffer.interpolate(0.25f), blend(0.5f, 0.5f, 0.25f));
    EXPECT_EQ(buffer.interpolate(-1.0f), 0.5f);
    EXPECT_EQ(buffer.interpolate(-0.5f), blend(0.5f, 0.5f, 0.5f));
    buffer.stepWritePointer(1);
    buffer.stepReadPointer(-7);
    EXPECT_EQ(buffer.writePointer, 0);
    EXPECT_EQ(buffer.readPointer, 0);
    EXPECT_EQ(buffer.getFillLevel(), 0);
}

TEST(CircularBufferTest, FillLevelCountsFromReadToWrite) {
    CircularBuffer buffer(lineSize);
    buffer.setWritePointer(5);
    buffer.setReadPointer(10);
    EXPECT_EQ(buffer.getFillLevel(), 47995);
    buffer.setWritePointer(10);
    buffer.setReadPointer(5);
    EXPECT_EQ(buffer.getFillLevel(), 5);
    buffer.setReadPointer(10);
    EXPECT_EQ(buffer.getFillLevel(), 0);
}

TEST(CircularBufferTest, FillLevelStaysAtTheDelayWhileStepping) {
    for (int delay : {0, 1, 2, 4800, 9600, 47998, 47999}) {
        CircularBuffer buffer(lineSize);
        buffer.setWritePointer(47990);
        buffer.setReadPointer(buffer.writePointer - delay);
        ASSERT_EQ(buffer.getFillLevel(), delay) << delay;
        for (int frame = 0; frame < 100; ++frame) {
            buffer.writeSample(static_cast<float>(frame));
            buffer.stepWritePointer(1);
            buffer.stepReadPointer(1);
            ASSERT_EQ(buffer.getFillLevel(), delay) << delay << " at frame " << frame;
        }
    }
}

TEST(CircularBufferTest, ReadBehindTheWriterGivesTheDelayedSignal) {
    CircularBuffer buffer(lineSize);
    const int delay = 3;
    buffer.setReadPointer(buffer.writePointer - delay);
    std::vector<float> read;
    for (int frame = 0; frame < 8; ++frame) {
        read.push_back(buffer.readSample());
        buffer.writeSample(static_cast<float>(frame + 1));
        buffer.stepWritePointer(1);
        buffer.stepReadPointer(1);
    }
    EXPECT_EQ(read, (std::vector<float>{0, 0, 0, 1, 2, 3, 4, 5}));
}

TEST(CircularBufferTest, ResetClearsEverySlotAndBothPointers) {
    CircularBuffer buffer(lineSize);
    fillDistinct(buffer);
    buffer.setWritePointer(300);
    buffer.setReadPointer(47000);
    const float* storage = buffer.data;
    buffer.reset();
    EXPECT_EQ(buffer.data, storage);
    EXPECT_EQ(buffer.capacity, lineSize);
    EXPECT_EQ(buffer.readPointer, 0);
    EXPECT_EQ(buffer.writePointer, 0);
    for (int k = 0; k < lineSize; ++k) ASSERT_EQ(buffer.data[k], 0.0f) << k;
}

TEST(CircularBufferTest, CapacityOutsideTheRangeIsRefused) {
    EXPECT_THROW(CircularBuffer(0), std::invalid_argument);
    EXPECT_THROW(CircularBuffer(-1), std::invalid_argument);
    EXPECT_THROW(CircularBuffer(INT_MIN), std::invalid_argument);
    EXPECT_THROW(CircularBuffer(536870912), std::invalid_argument);
    EXPECT_THROW(CircularBuffer(INT_MAX), std::invalid_argument);
    EXPECT_EQ(CircularBuffer::maxCapacity, 536870911);

    const CircularBuffer one(1);
    EXPECT_EQ(one.capacity, 1);
    EXPECT_EQ(one.readSample(), 0.0f);
    const CircularBuffer moderate(1 << 20);
    EXPECT_EQ(moderate.capacity, 1 << 20);
    EXPECT_EQ(moderate.readSample((1 << 20) - 1), 0.0f);
}

TEST(CircularBufferTest, MoveHandsOverTheStorage) {
    CircularBuffer source(lineSize);
    source.data[9] = 0.5f;
    source.setWritePointer(12);
    source.setReadPointer(3);
    const float* storage = source.data;

    CircularBuffer moved(std::move(source));
    EXPECT_EQ(moved.data, storage);
    EXPECT_EQ(moved.capacity, lineSize);
    EXPECT_EQ(moved.writePointer, 12);
    EXPECT_EQ(moved.readPointer, 3);
    EXPECT_EQ(moved.readSample(9), 0.5f);
    EXPECT_EQ(source.data, nullptr);  // NOLINT(bugprone-use-after-move): the source is left without storage

    CircularBuffer target(4);
    target = std::move(moved);
    EXPECT_EQ(target.data, storage);
    EXPECT_EQ(target.capacity, lineSize);
    EXPECT_EQ(target.writePointer, 12);
    EXPECT_EQ(target.readPointer, 3);
    EXPECT_EQ(moved.data, nullptr);  // NOLINT(bugprone-use-after-move)

    CircularBuffer& alias = target;
    target = std::move(alias);  // self-move keeps the storage
    EXPECT_EQ(target.data, storage);
    EXPECT_EQ(target.readSample(9), 0.5f);

    // Owners keep their lines in a growable list; growing moves them without copying data.
    std::vector<CircularBuffer> lines;
    for (int c = 0; c < 8; ++c) {
        lines.emplace_back(16);
        lines.back().data[0] = static_cast<float>(c);
    }
    for (int c = 0; c < 8; ++c) EXPECT_EQ(lines[static_cast<std::size_t>(c)].readSample(0), static_cast<float>(c));
}

// Arguments outside the buffer's contract must still land inside its storage; the
// sanitizer build turns any stray access into a failure.
TEST(CircularBufferTest, OutOfContractPointerArgumentsStayInside) {
    CircularBuffer buffer(lineSize);
    fillDistinct(buffer);
    const std::vector<int> positions = {-lineSize - 1, -2 * lineSize, -1000000007, INT_MIN, INT_MIN + 1,
                                        INT_MAX,       INT_MAX - 1,   1000000007,  -96001};
    for (int position : positions) {
        buffer.setReadPointer(position);
        buffer.setWritePointer(position);
        ASSERT_TRUE(pointersInside(buffer)) << position;
        EXPECT_EQ(buffer.readPointer, buffer.writePointer);
        (void)buffer.readSample();
        const float absolute = buffer.readSample(position);
        EXPECT_EQ(absolute, buffer.data[buffer.readPointer]) << position;
        buffer.writeSample(0.5f);
        buffer.data[buffer.writePointer] = static_cast<float>(buffer.writePointer + 1) + 0.125f;
    }
    // Positions from -capacity upward follow the ring exactly; below that they still land
    // on the congruent slot.
    buffer.setReadPointer(-lineSize - 1);
    EXPECT_EQ(buffer.readPointer, lineSize - 1);

    for (int steps : {INT_MAX, INT_MIN, INT_MIN + 1, INT_MAX - 1, -lineSize - 5, 3 * lineSize}) {
        for (int repeat = 0; repeat < 3; ++repeat) {
            buffer.stepReadPointer(steps);
            buffer.stepWritePointer(steps);
            ASSERT_TRUE(pointersInside(buffer)) << steps;
            (void)buffer.readSample();
            buffer.writeSample(1.0f);
        }
    }
    buffer.setReadPointer(lineSize - 1);
    buffer.stepReadPointer(INT_MAX);
    EXPECT_EQ(buffer.readPointer, static_cast<int>((static_cast<long long>(lineSize) - 1 + INT_MAX) % lineSize));
    buffer.setWritePointer(0);
    buffer.stepWritePointer(INT_MIN);
    EXPECT_TRUE(pointersInside(buffer));
    EXPECT_EQ((buffer.writePointer - (static_cast<long long>(INT_MIN) % lineSize) + lineSize) % lineSize, 0);
}

TEST(CircularBufferTest, OutOfContractInterpolationStaysInside) {
    for (int capacity : {1, 2, 7, lineSize}) {
        CircularBuffer buffer(capacity);
        fillDistinct(buffer);
        const float lowest = buffer.data[0];
        const float highest = buffer.data[capacity - 1];
        const std::vector<float> positions = {std::numeric_limits<float>::quiet_NaN(),
                                              -std::numeric_limits<float>::quiet_NaN(),
                                              std::numeric_limits<float>::infinity(),
                                              -std::numeric_limits<float>::infinity(),
                                              1e30f,
                                              -1e30f,
                                              3.0e9f,
                                              -3.0e9f,
                                              2.0e9f,
                                              -2.0e9f,
                                              static_cast<float>(INT_MAX),
                                              static_cast<float>(INT_MIN),
                                              -static_cast<float>(capacity) - 0.5f,
                                              -static_cast<float>(capacity) * 3.0f - 0.25f,
                                              std::numeric_limits<float>::max(),
                                              std::numeric_limits<float>::lowest(),
                                              std::numeric_limits<float>::denorm_min(),
                                              -std::numeric_limits<float>::denorm_min(),
                                              -1e-30f};
        for (float position : positions) {
            const float value = buffer.interpolate(position);
            // A slot's value or a blend of two neighbouring slots: within the stored range.
            EXPECT_TRUE(std::isfinite(value)) << capacity << " @ " << position;
            EXPECT_GE(value, lowest) << capacity << " @ " << position;
            EXPECT_LE(value, highest) << capacity << " @ " << position;
        }
        // A position below -capacity lands on the congruent place in the ring.
        if (capacity == lineSize) {
            EXPECT_EQ(buffer.interpolate(-static_cast<float>(lineSize) - 1.0f), buffer.data[lineSize - 1]);
            EXPECT_EQ(buffer.interpolate(-static_cast<float>(lineSize) * 2.0f - 2.5f),
                      blend(buffer.data[lineSize - 3], buffer.data[lineSize - 2], 0.5f));
        }
    }
}

}  // namespace
}  // namespace orvane::audio
