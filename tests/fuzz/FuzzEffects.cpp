// libFuzzer target: the input bytes script one node's life (type, formats, parameter changes,
// blocks). ORVANE_FUZZ_NODE=Delay|PingPongDelay|Chorus|Flanger|Vibrato pins the node type.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "reliability/EffectHarness.h"

namespace {

std::optional<orvane::testing::EffectType> pinnedType() {
    const char* name = std::getenv("ORVANE_FUZZ_NODE");
    if (!name) return std::nullopt;
    for (auto type : orvane::testing::allEffectTypes)
        if (std::strcmp(name, orvane::testing::effectName(type)) == 0) return type;
    std::fprintf(stderr, "ORVANE_FUZZ_NODE must be Delay, PingPongDelay, Chorus, Flanger or Vibrato\n");
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::optional<orvane::testing::EffectType> pinned = pinnedType();
    const std::string fault = orvane::testing::runScript(data, size, pinned ? &*pinned : nullptr);
    if (!fault.empty()) {
        std::fprintf(stderr, "fault: %s\n", fault.c_str());
        std::abort();
    }
    return 0;
}
