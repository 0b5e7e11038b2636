#include "render/RenderScript.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "render/OfflineRenderer.h"

namespace orvane::testing {

namespace {

using namespace orvane::render;
using extensions::audioeffects::effectDescriptions;

class Bytes {
public:
    Bytes(const std::uint8_t* data, std::size_t size) : data(data), size(size) {}
    std::uint32_t next() { return at < size ? data[at++] : 0; }
    template <typename T, std::size_t count>
    T pick(const T (&choices)[count]) {
        return choices[next() % count];
    }

private:
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;
};

constexpr double inf = std::numeric_limits<double>::infinity();
const double extremes[] = {0, 1, -1, 0.5, 2, 10, 1000, 1e9, 4294967295.0, 1e30, -1e30, inf, -inf, NAN, 1e-45, 0.99};
const std::uint64_t channelCounts[] = {1, 2, 2, 3, 8, 64, 65, 0};
const std::uint64_t rates[] = {48000, 44100, 1, 8000, 384000, 0, 384001};
const std::uint64_t blockSizes[] = {512, 1, 7, 64, 4096, 65536, 0, 65537};
const double tails[] = {0, 0.001, 0.05, -1, NAN, 3601};
// Marks output no block wrote: a NaN payload arithmetic never makes.
const float unwritten = std::bit_cast<float>(0x7fc0dea1u);

ParameterValue anyValue(const EffectParameter& parameter, double number) {
    if (parameter.kind == ParameterKind::Boolean) return number != 0;
    if (parameter.kind == ParameterKind::Int)
        return std::isfinite(number) && number >= 0 && number < 4294967296.0 ? static_cast<unsigned int>(number) : 0u;
    return static_cast<float>(number);
}

}  // namespace

std::string runRenderScript(const std::uint8_t* data, std::size_t size) {
    Bytes bytes(data, size);
    std::vector<std::unique_ptr<OfflineEffect>> owned;
    std::vector<OfflineEffect*> chain;
    for (std::uint32_t count = bytes.next() % 4; count > 0; --count) {
        owned.push_back(std::make_unique<OfflineEffect>(effectDescriptions[bytes.next() % effectDescriptions.size()]));
        OfflineEffect& effect = *owned.back();
        for (std::size_t p = 0; p < effect.description.parameters.size(); ++p)
            if (bytes.next() % 3 == 0)
                effect.setValue(p, anyValue(effect.description.parameters[p], bytes.pick(extremes)));
        chain.push_back(&effect);
    }
    if (!chain.empty() && bytes.next() % 8 == 0) chain.push_back(chain.front());  // refused: one effect twice

    for (std::uint32_t renders = 1 + bytes.next() % 3; renders > 0; --renders) {
        RenderSettings settings{bytes.pick(channelCounts), bytes.pick(rates),     bytes.pick(blockSizes),
                                bytes.pick(tails),         bytes.next() % 2 == 0, {}};
        const std::size_t frames = (bytes.next() * 16 + bytes.next()) % 3000;
        settings.inputFrames = frames;
        const bool valid = settings.channels >= 1 && settings.channels <= maxChannels && settings.sampleRate >= 1 &&
                           settings.sampleRate <= maxSampleRate && settings.blockSize >= 1 &&
                           settings.blockSize <= maxBlockSize && settings.tailSeconds >= 0 &&
                           settings.tailSeconds <= maxTailSeconds;
        // Curves of one value per output frame, or of a wrong length; values from the extremes.
        std::vector<std::vector<double>> curves;
        std::vector<std::vector<Automation>> automation(chain.size());
        const std::size_t total =
            valid ? frames + static_cast<std::size_t>(std::llround(settings.tailSeconds * settings.sampleRate)) : 0;
        curves.reserve(chain.size());
        for (std::size_t i = 0; i < chain.size() && valid && total < 200000; ++i) {
            if (bytes.next() % 3 != 0) continue;
            const std::size_t parameter = bytes.next() % chain[i]->description.parameters.size();
            std::vector<double>& curve = curves.emplace_back(total + (bytes.next() % 16 == 0 ? 1 : 0));
            for (std::size_t f = 0; f < curve.size(); f += 1 + bytes.next() % 997)
                std::fill(curve.begin() + static_cast<std::ptrdiff_t>(f), curve.end(), bytes.pick(extremes));
            automation[i].push_back({parameter, curve});
        }

        std::optional<OfflineRender> renderer;
        try {
            renderer.emplace(chain, settings, automation);
        } catch (const RenderError& refusal) {
            if (!valid && refusal.check > Check::Tail) return "settings out of range passed the settings' checks";
            continue;
        }
        if (!valid) return "a render accepted settings out of range";
        const auto channels = static_cast<std::size_t>(settings.channels);
        const std::size_t outputFrames = frames + renderer->tailFrames();
        std::vector<float> input(channels * frames);
        for (std::size_t i = 0; i < input.size(); ++i) input[i] = static_cast<float>((i * 7919) % 2001) / 1000.0f - 1;
        std::vector<float> output(channels * (outputFrames + settings.blockSize), unwritten);
        std::size_t taken = 0, written = 0;
        std::vector<const float*> in(channels);
        std::vector<float*> out(channels);
        const auto point = [&](std::size_t from, std::size_t to) {
            for (std::size_t c = 0; c < channels; ++c) {
                in[c] = input.data() + c * frames + from;
                out[c] = output.data() + c * (outputFrames + settings.blockSize) + to;
            }
        };
        while (taken < frames) {
            const std::size_t piece =
                std::min<std::size_t>(frames - taken, bytes.next() % 4 == 0 ? 0 : bytes.next() * 9);
            point(taken, written);
            written += renderer->push(in.data(), piece, out.data());
            taken += piece;
            if (piece == 0 && bytes.next() == 0) break;  // the script ran dry: the rest in one piece
        }
        point(taken, written);
        written += renderer->push(in.data(), frames - taken, out.data());
        for (;;) {
            point(frames, written);
            const std::size_t more = renderer->finish(out.data(), settings.blockSize);
            if (more == 0) break;
            written += more;
        }
        if (written != outputFrames) return "a render wrote another number of frames than its input and tail";
        for (std::size_t c = 0; c < channels; ++c)
            for (std::size_t f = 0; f < outputFrames; ++f)
                if (std::bit_cast<std::uint32_t>(output[c * (outputFrames + settings.blockSize) + f]) ==
                    std::bit_cast<std::uint32_t>(unwritten))
                    return "a render left an output frame unwritten";
    }
    return "";
}

}  // namespace orvane::testing
