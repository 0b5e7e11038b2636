#pragma once

#include <cmath>
#include <cstdint>
#include <memory>

#include "audio/Subnormals.h"

namespace orvane::audio {

/// Fixed-size ring of float samples with one read and one write pointer: the delay line
/// of the effect nodes. Positions are slot indices; the buffer knows nothing of time.
///
/// Every position handed in is wrapped into [0, capacity) as (p + capacity) rem capacity,
/// so values from -capacity upward land where a ring would put them; values beyond that
/// range are still reduced into the ring and never reach outside the storage.
/// Not thread-safe: the node that owns a buffer touches it from its audio thread only.
class CircularBuffer {
public:
    static constexpr int maxCapacity = 536870911;  // the byte count must fit a signed 32-bit int

    /// A zero-filled ring of size slots, both pointers at 0. Throws std::invalid_argument
    /// for a size outside 1 ... maxCapacity. Allocates.
    explicit CircularBuffer(int size);                           // [any thread, while no one processes]
    CircularBuffer(CircularBuffer&& other) noexcept;             // [any thread, while no one processes]
    CircularBuffer& operator=(CircularBuffer&& other) noexcept;  // [any thread, while no one processes]
    CircularBuffer(const CircularBuffer&) = delete;
    CircularBuffer& operator=(const CircularBuffer&) = delete;
    ~CircularBuffer();  // [any thread, while no one processes]

    void setReadPointer(int position) noexcept { readPointer = wrap(position); }    // [audio thread]
    void setWritePointer(int position) noexcept { writePointer = wrap(position); }  // [audio thread]
    // [audio thread]
    void stepReadPointer(int steps) noexcept { readPointer = wrap(std::int64_t{readPointer} + steps); }
    // [audio thread]
    void stepWritePointer(int steps) noexcept { writePointer = wrap(std::int64_t{writePointer} + steps); }

    /// The sample under the read pointer.
    float readSample() const noexcept { return data[readPointer]; }  // [audio thread]
    /// The sample in absolute slot wrap(index).
    float readSample(int index) const noexcept { return data[wrap(index)]; }  // [audio thread]
    /// Stores into the slot under the write pointer; the caller steps the pointer.
    void writeSample(float sample) noexcept { data[writePointer] = sample; }  // [audio thread]

    /// Linear interpolation at an absolute fractional slot position: the slot at or
    /// before it weighted by (1 - frac), the next slot (slot 0 after the last) by frac.
    /// Positions below -capacity or not finite are reduced into the ring first.
    // [audio thread]
    float interpolate(float position) const noexcept {
        if (!(position >= 0.0f && position < static_cast<float>(capacity))) return interpolateAnywhere(position);
        // In the ring, truncation is floor; the sign keeps floor(-0.0) = -0.0.
        const int index = static_cast<int>(position);
        return interpolateAt(index, position - std::copysign(static_cast<float>(index), position));
    }

    /// Zeroes every slot and puts both pointers at 0, without reallocating.
    void reset() noexcept;  // [audio thread]
    /// The same for a ring written only in slots [0, slots) since its last reset: zeroes those.
    void resetFirst(int slots) noexcept;  // [audio thread]

    /// Slots from the read pointer forward to the write pointer (0 when they are equal).
    int getFillLevel() const noexcept;  // [audio thread]

    int getCapacity() const noexcept { return capacity; }          // [audio thread]
    int getReadPointer() const noexcept { return readPointer; }    // [audio thread]
    int getWritePointer() const noexcept { return writePointer; }  // [audio thread]
    /// The storage, slot i at slots()[i]: for block paths that index runs of slots themselves.
    float* slots() noexcept { return data; }              // [audio thread]
    const float* slots() const noexcept { return data; }  // [audio thread]

private:
    int capacity;
    float* data;
    int readPointer = 0;
    int writePointer = 0;

    // Reduces a position outside the ring to a slot in it and a weight, then interpolateAt.
    float interpolateAnywhere(float position) const noexcept;

    // Slot index weighted by (1 - frac), the next slot by frac: the product frac * later in
    // single precision, the rest in double, rounded once.
    float interpolateAt(int index, float frac) const noexcept {
        const float upper = flushed(frac * data[index + 1 == capacity ? 0 : index + 1]);
        return flushed(static_cast<float>(static_cast<double>(data[index]) * (1.0 - static_cast<double>(frac)) +
                                          static_cast<double>(upper)));
    }

    int wrap(std::int64_t position) const noexcept {
        std::int64_t slot = (position + capacity) % capacity;
        return static_cast<int>(slot < 0 ? slot + capacity : slot);
    }
};

}  // namespace orvane::audio
