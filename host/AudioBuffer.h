#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

namespace orvane {

/// Planar multichannel sample storage with its sample rate.
///
/// Channel c occupies frames [c * frames, (c + 1) * frames) of one contiguous block.
/// getSample and setSample do not check their indices: callers stay below
/// getNumberOfChannels() and getNumberOfFrames().
template <typename T>
class AudioBuffer {
    static_assert(std::is_trivially_copyable_v<T>, "samples are copied as bytes");

public:
    AudioBuffer() = default;
    /// A zero-filled buffer of the given shape.
    AudioBuffer(std::uint32_t numberOfChannels, std::uint32_t numberOfFrames, std::uint32_t sampleRate = 0)
        : samples(std::size_t{numberOfChannels} * numberOfFrames),
          channels(numberOfChannels),
          frames(numberOfFrames),
          rate(sampleRate) {}

    std::uint32_t getSampleRate() const noexcept { return rate; }
    std::uint32_t getNumberOfChannels() const noexcept { return channels; }
    std::uint32_t getNumberOfFrames() const noexcept { return frames; }
    void setSampleRate(std::uint32_t sampleRate) noexcept { rate = sampleRate; }

    T getSample(std::uint32_t channel, std::uint32_t frame) const noexcept { return samples[index(channel, frame)]; }
    void setSample(std::uint32_t channel, std::uint32_t frame, T value) noexcept {
        samples[index(channel, frame)] = value;
    }

    T* getChannelData(std::uint32_t channel) noexcept { return samples.data() + index(channel, 0); }
    const T* getChannelData(std::uint32_t channel) const noexcept { return samples.data() + index(channel, 0); }

    /// Changes the shape and zero-fills every sample. Allocates only when the new shape
    /// holds more samples than any shape before it.
    void resize(std::uint32_t numberOfChannels, std::uint32_t numberOfFrames) {
        samples.assign(std::size_t{numberOfChannels} * numberOfFrames, T{});
        channels = numberOfChannels;
        frames = numberOfFrames;
    }

    /// Takes the other buffer's shape, sample rate and samples. Allocates only when the
    /// other holds more samples than this buffer has ever held.
    void copyFrom(const AudioBuffer& other) {
        if (&other == this) return;
        if (samples.size() != other.samples.size()) samples.resize(other.samples.size());
        // In pieces below glibc's rep-movsb threshold: some processors run rep movsb many
        // times slower when the destination lies 16 bytes past the source modulo a page,
        // which is exactly where two buffers allocated one after the other land. The size is
        // hidden from the compiler, which would otherwise expand the bounded copies into rep
        // movsq, as slow.
        constexpr std::size_t piece = 2048 / sizeof(T);
        for (std::size_t start = 0; start < samples.size(); start += piece) {
            std::size_t bytes = std::min(piece, samples.size() - start) * sizeof(T);
#if defined(__GNUC__)
            __asm__("" : "+r"(bytes));
#endif
            std::memcpy(samples.data() + start, other.samples.data() + start, bytes);
        }
        channels = other.channels;
        frames = other.frames;
        rate = other.rate;
    }

private:
    std::size_t index(std::uint32_t channel, std::uint32_t frame) const noexcept {
        return std::size_t{channel} * frames + frame;
    }

    std::vector<T> samples;
    std::uint32_t channels = 0;
    std::uint32_t frames = 0;
    std::uint32_t rate = 0;
};

}  // namespace orvane
