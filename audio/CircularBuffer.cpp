#include "CircularBuffer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>

namespace orvane::audio {

CircularBuffer::CircularBuffer(int size) : capacity(size), data(nullptr) {
    if (size < 1 || size > maxCapacity)
        throw std::invalid_argument("CircularBuffer capacity " + std::to_string(size) + " is outside 1 ... " +
                                    std::to_string(maxCapacity));
    data = static_cast<float*>(std::calloc(static_cast<std::size_t>(size), sizeof(float)));
    if (!data) throw std::bad_alloc();
}

CircularBuffer::CircularBuffer(CircularBuffer&& other) noexcept
    : capacity(other.capacity),
      data(std::exchange(other.data, nullptr)),
      readPointer(other.readPointer),
      writePointer(other.writePointer) {}

CircularBuffer& CircularBuffer::operator=(CircularBuffer&& other) noexcept {
    if (this != &other) {
        std::free(data);
        capacity = other.capacity;
        data = std::exchange(other.data, nullptr);
        readPointer = other.readPointer;
        writePointer = other.writePointer;
    }
    return *this;
}

CircularBuffer::~CircularBuffer() { std::free(data); }

float CircularBuffer::interpolateAnywhere(float position) const noexcept {
    const auto size = static_cast<float>(capacity);
    // Keeps the integer conversion below defined for every input.
    if (!(position >= -size && position < 2.0e9f))
        position = std::isfinite(position) ? std::fmod(position, size) : 0.0f;
    const float base = std::floor(position);
    return interpolateAt(wrap(static_cast<int>(base)), position - base);
}

void CircularBuffer::reset() noexcept { resetFirst(capacity); }

void CircularBuffer::resetFirst(int slots) noexcept {
    std::memset(data, 0, static_cast<std::size_t>(std::clamp(slots, 0, capacity)) * sizeof(float));
    readPointer = 0;
    writePointer = 0;
}

int CircularBuffer::getFillLevel() const noexcept {
    const int difference = writePointer - readPointer;
    return difference >= 0 ? difference : difference + capacity;
}

}  // namespace orvane::audio
