#pragma once

#include <algorithm>
#include <cstdint>

#include "DenormalGuard.h"
#include "audio/SweptRead.h"
#include "host/AudioBus.h"

// The block of every swept effect: a node adds its parameters and topology (audio::SweptEffect);
// the oscillator, the sweep and the line pass are audio::sweptPass's.
namespace orvane::extensions::audioeffects {

/// Copies input to output; unless off, clears the lines on a new sample rate or channel count,
/// then runs the block's channels that have a line through the pass, a piece at a time, with
/// subnormals flushed. An Internals with one `oscillator` sweeps every line; one with
/// `oscillators` gives each line its own. Always returns true.
template <typename Internals>
bool processSweptBlock(AudioBus& inputBus, AudioBus& outputBus, Internals& state,
                       const audio::SweptEffect& effect) noexcept {
    outputBus.copyFrom(inputBus);
    if (!state.isEnabled.load()) return true;
    const AudioBuffer<float>& input = inputBus.buffer;
    const std::uint32_t sampleRate = input.getSampleRate(), channels = input.getNumberOfChannels();
    const std::uint32_t frames = input.getNumberOfFrames();
    state.delayLines.trackFormat(sampleRate, channels);
    state.delayLines.noteWritten(frames);
    const DenormalGuard guard;
    const std::uint32_t lines = state.delayLines.channelsWithLines(channels);
    if constexpr (audio::flushesInCode)  // the operands, where the guard has no mode to set
        for (std::uint32_t channel = 0; channel < lines; ++channel)
            audio::flushInPlace(outputBus.buffer.getChannelData(channel), frames);
    audio::SweptPass* const pass = audio::sweptPass(effect.topology);
    audio::SweptPiece piece{outputBus.buffer, 0, 0, sampleRate, audio::flushed(state.sweepWidth.load())};
    for (; piece.start < frames; piece.start += audio::maxSweptPiece) {
        piece.steps = std::min(frames - piece.start, audio::maxSweptPiece);
        if constexpr (requires { state.oscillator; })  // it steps also when no channel has a line
            pass(effect, state.oscillator, {state.delayLines.data(), 0, lines}, piece);
        else
            for (std::uint32_t channel = 0; channel < lines; ++channel)
                pass(effect, state.oscillators[channel], {&state.delayLines[channel], channel, 1}, piece);
    }
    return true;
}

}  // namespace orvane::extensions::audioeffects
