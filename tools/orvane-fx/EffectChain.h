#pragma once

#include <cstdint>
#include <vector>

#include "Effect.h"
#include "host/AudioBuffer.h"

namespace orvane::tools {

/// Effects run one after another on blocks of planar float audio, each node's output
/// being the next node's input.
///
/// After prepare(), running blocks allocates nothing: every buffer is sized for the
/// largest block once, and shorter blocks only shrink the buffers' shape.
class EffectChain {
public:
    EffectChain() = default;
    EffectChain(const EffectChain&) = delete;
    EffectChain& operator=(const EffectChain&) = delete;

    /// Appends an effect. Throws ToolError when its node is no single-bus processor.
    void append(Effect effect);
    bool empty() const noexcept { return effects.empty(); }
    const std::vector<Effect>& members() const noexcept { return effects; }

    /// Agrees the bus formats of every node for blocks of at most maxBlockFrames frames.
    /// Throws ToolError naming the effect that refuses and the channel counts it takes.
    void prepare(std::uint32_t sampleRate, std::uint32_t channels, std::uint32_t maxBlockFrames);

    /// The buffer to fill with the next block, shaped to frames (at most maxBlockFrames).
    AudioBuffer<float>& inputBlock(std::uint32_t frames);
    /// Runs the block held by inputBlock() through every effect; answers the last output.
    /// Throws ToolError when a node reports a failed block.
    const AudioBuffer<float>& process();

    /// Runs a whole planar signal through the chain in blocks of maxBlockFrames; result
    /// takes the signal's shape. Allocates only to size result.
    void processSignal(const AudioBuffer<float>& signal, AudioBuffer<float>& result);

private:
    std::vector<Effect> effects;
    AudioBuffer<float> input;
    AudioBuffer<float> stages[2];
    std::uint32_t blockCapacity = 0;
};

}  // namespace orvane::tools
