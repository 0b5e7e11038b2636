// libFuzzer target: the browser engine's C interface (web/Effects.cpp, built natively) as the
// worklet drives it, with whatever a page may send: chains of any names, channel counts and
// rates, parameters by index with any double, presets by any name, quanta of any floats.
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "web/Effects.h"

namespace {

const char* const names[] = {"Delay", "PingPongDelay", "Vibrato",  "Flanger", "Chorus",    "Reverb",
                             "",      "chorus",        "slapback", "subtle",  "slow-deep", "eighth-notes"};

struct Bytes {
    const std::uint8_t* data;
    std::size_t left;
    std::uint8_t next() { return left ? (--left, *data++) : 0; }
    template <typename T>
    T bits() {
        std::uint8_t raw[sizeof(T)] = {};
        for (auto& byte : raw) byte = next();
        return std::bit_cast<T>(raw);
    }
};

void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fault: %s (%s)\n", what, orvane_error());
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool catalogued = std::strlen(orvane_catalogue()) > 0;
    require(catalogued, "an empty catalogue");
    Bytes bytes{data, size};
    std::string types;
    for (int count = bytes.next() % 5; count > 0; --count) types += std::string(names[bytes.next() % 8]) + " ";
    const std::uint32_t channelChoices[] = {0, 1, 2, 3, 5, 64, 65, 2};
    const std::uint32_t rateChoices[] = {0, 1, 8000, 44100, 48000, 384000, 384001, 48000};
    const std::uint32_t channels = channelChoices[bytes.next() % 8], rate = rateChoices[bytes.next() % 8];
    OrvaneChain* chain = orvane_chain_create(types.c_str(), channels, rate);
    if (chain == nullptr) {
        require(*orvane_error() != '\0', "a chain refused without a reason");
        return 0;
    }
    while (bytes.left > 0) {
        const std::uint32_t effect = bytes.next() % 5, parameter = bytes.next() % 6;
        switch (bytes.next() % 4) {
            case 0: {
                const double value = bytes.next() % 2 ? bytes.bits<double>() : bytes.next() / 16.0;
                if (orvane_chain_set(chain, effect, parameter, value))
                    require(orvane_chain_get(chain, effect, parameter) == static_cast<float>(value),
                            "a value set reads back otherwise");
                else
                    require(*orvane_error() != '\0', "a value refused without a reason");
                break;
            }
            case 1:
                if (!orvane_chain_preset(chain, effect, names[bytes.next() % 12]))
                    require(*orvane_error() != '\0', "a preset refused without a reason");
                break;
            case 2: {
                float* samples = orvane_chain_samples(chain);
                for (std::uint32_t i = 0; i < channels * 128; ++i)
                    samples[i] = bytes.next() % 2 ? bytes.bits<float>() : (bytes.next() - 128) / 128.0f;
                orvane_chain_process(chain);
                break;
            }
            default:
                orvane_chain_get(chain, effect, parameter);
        }
    }
    orvane_chain_free(chain);
    return 0;
}
