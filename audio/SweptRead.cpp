#include "SweptRead.h"

#define ORVANE_PER_LEVEL_FILE "audio/lanes/SweptRead-inl.h"
#include "audio/lanes/ForEachLevel.h"

namespace orvane::audio {

SweptPass* sweptPass(Topology topology) noexcept {
    static constexpr SweptPass* perTopology[][lanes::levels] = {
        ORVANE_PER_LEVEL(sweptPass<Topology::chorus>),
        ORVANE_PER_LEVEL(sweptPass<Topology::flanger>),
        ORVANE_PER_LEVEL(sweptPass<Topology::vibrato>),
    };
    return lanes::inForce(perTopology[static_cast<int>(topology)]);
}

}  // namespace orvane::audio
