// libFuzzer target: the input bytes script chains and renders of the offline renderer.
#include <cstdio>
#include <cstdlib>

#include "render/RenderScript.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string fault = orvane::testing::runRenderScript(data, size);
    if (!fault.empty()) {
        std::fprintf(stderr, "fault: %s\n", fault.c_str());
        std::abort();
    }
    return 0;
}
