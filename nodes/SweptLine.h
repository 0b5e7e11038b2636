#pragma once

#include <algorithm>
#include <cstdint>

#include "AtomicParameter.h"
#include "DelayLineBank.h"
#include "DenormalGuard.h"
#include "EffectSupport.h"
#include "SweepOscillators.h"
#include "audio/CircularBuffer.h"
#include "audio/LFO.h"
#include "audio/SimdLevel.h"
#include "audio/SweptRead.h"

#define ORVANE_PER_LEVEL "audio/SweptRead-inl.h"
#include "audio/ForEachLevel.h"

// The delay-line pass of the chorus, flanger and vibrato: a channel's line read at swept
// positions, in place on its samples (the vibrato's lines, which share one sweep, side by
// side); a Wiring (see sweptSample) says what enters the line and what leaves as output. The
// block driver picks the processor level once per block and hands its target down to the
// oscillator and to sweptRun, that level's lane path (SweptRead-inl.h).
namespace orvane::extensions::audioeffects {

/// Longest piece a block goes in: one oscillator piece.
inline constexpr std::uint32_t maxSweptRun = audio::LFO::maxStepsAtOnce;

/// Runs count samples of every line of the set through it, in place, and steps the shared
/// write pointer past them. Sample i reads at sweptReadPosition(writePointer, capacity,
/// sweep[i], baseDelay).
template <typename Target, typename Wiring>
void runSweptLines(Target target, const audio::SweptLines& set, const float* sweep, std::uint32_t count,
                   float baseDelay, const Wiring& wiring) noexcept {
    const int capacity = set.lines[0].getCapacity();
    int writePointer = set.lines[0].getWritePointer();
    for (std::uint32_t done = 0; done < count;) {
        // Runs between the points where the write pointer wraps.
        const std::uint32_t run = std::min(count - done, static_cast<std::uint32_t>(capacity - writePointer));
        sweptRun(target, set, done, writePointer, sweep + done, run, baseDelay, wiring);
        done += run;
        writePointer += static_cast<int>(run);
        if (writePointer == capacity) writePointer = 0;
    }
    for (std::uint32_t c = 0; c < set.count; ++c) set.lines[c].setWritePointer(writePointer);
}

/// The vibrato's pass: the first `channels` channels of output, frames start ... start +
/// count - 1, each through its own line (lines[c] for channel c), all consuming one sweep.
/// Lines that share a write pointer (all of them, while every block has every channel) go
/// together, eight at most, so that each group's read positions are computed once.
template <typename Target, typename Wiring>
void runSharedSweep(Target target, audio::CircularBuffer* lines, std::uint32_t channels, AudioBuffer<float>& output,
                    std::uint32_t start, const float* sweep, std::uint32_t count, float baseDelay,
                    const Wiring& wiring) noexcept {
    constexpr std::uint32_t maxTogether = 8;
    float* samples[maxTogether];
    for (std::uint32_t first = 0; first < channels;) {
        std::uint32_t together = 0;
        for (; together < maxTogether && first + together < channels; ++together) {
            const audio::CircularBuffer& line = lines[first + together];
            if (line.getWritePointer() != lines[first].getWritePointer() ||
                line.getCapacity() != lines[first].getCapacity())
                break;
            samples[together] = output.getChannelData(first + together) + start;
        }
        runSweptLines(target, audio::SweptLines{lines + first, samples, together}, sweep, count, baseDelay, wiring);
        first += together;
    }
}

/// sweep[i] = (lfo[i] * width) * sampleRate: the oscillator's output widened into slots.
inline void widenSweep(const float* lfo, float* sweep, std::uint32_t count, float width,
                       std::uint32_t sampleRate) noexcept {
    for (std::uint32_t i = 0; i < count; ++i) sweep[i] = (lfo[i] * width) * static_cast<float>(sampleRate);
}

/// What one piece of a block hands an effect: frames start ... start + steps - 1 of output,
/// of which the first `channels` have a line.
struct SweptPiece {
    AudioBuffer<float>& output;
    std::uint32_t start, steps, channels, sampleRate;
    float width;  // the sweep width in seconds, loaded once per block
};

/// One block of a swept effect: copy, bypass, format tracking, then run(target, piece) for
/// each piece of the block, in place on the output, at the level picked once for the block.
template <typename Run>
bool processSweptBlock(AudioBus& inputBus, AudioBus& outputBus, DelayLineBank& delayLines,
                       const AtomicParameter<bool>& isEnabled, const AtomicParameter<float>& sweepWidth,
                       const Run& run) noexcept {
    outputBus.copyFrom(inputBus);
    if (!isEnabled.load()) return true;
    const BlockShape block = BlockShape::of(inputBus);
    delayLines.trackFormat(block.sampleRate, block.channels);
    const DenormalGuard guard;
    SweptPiece piece{outputBus.buffer, 0, 0, delayLines.channelsWithLines(block.channels), block.sampleRate,
                     sweepWidth.load()};
    audio::atSimdLevel([&](auto target) {
        for (; piece.start < block.frames; piece.start += maxSweptRun) {
            piece.steps = std::min(block.frames - piece.start, maxSweptRun);
            run(target, piece);
        }
    });
    return true;
}

/// One block of an effect whose every channel has an oscillator and a line of its own (the
/// chorus and the flanger): per piece, each channel's oscillator runs ahead and its line
/// consumes the sweep. Channels without a line keep their input.
template <typename Wiring>
bool processChannelSweeps(AudioBus& inputBus, AudioBus& outputBus, DelayLineBank& delayLines,
                          SweepOscillators& oscillators, const AtomicParameter<bool>& isEnabled,
                          const AtomicParameter<float>& sweepWidth, float baseDelay, const Wiring& wiring) noexcept {
    return processSweptBlock(
        inputBus, outputBus, delayLines, isEnabled, sweepWidth, [&](auto target, const SweptPiece& piece) {
            float lfo[maxSweptRun], sweep[maxSweptRun];
            for (std::uint32_t channel = 0; channel < piece.channels; ++channel) {
                oscillators[channel].process(target, static_cast<int>(piece.sampleRate), lfo, piece.steps);
                widenSweep(lfo, sweep, piece.steps, piece.width, piece.sampleRate);
                float* const samples[1] = {piece.output.getChannelData(channel) + piece.start};
                runSweptLines(target, audio::SweptLines{&delayLines[channel], samples, 1}, sweep, piece.steps,
                              baseDelay, wiring);
            }
        });
}

}  // namespace orvane::extensions::audioeffects
