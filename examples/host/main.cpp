// A minimal host: loads the AudioEffects extension, lists its node types and runs one
// block of a stereo impulse through every one of them.
//
//   example-host [path/to/libOrvaneAudioEffects.so.1]

#include <cstdio>
#include <memory>
#include <string>

#include <orvane/host/ExtensionManager.h>
#include <orvane/host/SingleBusAudioProcessorNode.h>

int main(int argc, char** argv) {
    using namespace orvane;
    const std::string library = argc > 1 ? argv[1] : "libOrvaneAudioEffects.so.1";

    // The library registers its extension while it is being loaded.
    ExtensionManager& manager = ExtensionManager::getInstance();
    if (auto loaded = manager.loadLibrary(library); !loaded) {
        std::fprintf(stderr, "%s\n", loaded.error().c_str());
        return 1;
    }
    std::shared_ptr<Extension> extension = manager.findExtension("AudioEffects");
    if (!extension) return std::fprintf(stderr, "no AudioEffects extension registered\n"), 1;
    std::printf("%s: %s\n", extension->getName().c_str(), extension->getDescription().c_str());

    std::shared_ptr<NodeFactory> factory = extension->getNodeFactory();
    for (const NodeTypeInfo& type : factory->getNodeTypes()) {
        auto created = factory->createNode(type.getFQTypeName(), {});
        if (!created) return std::fprintf(stderr, "%s\n", created.error().c_str()), 1;
        auto* node = dynamic_cast<AudioNode*>(created.value().get());

        // Agree a stereo 48 kHz format, then run one block holding an impulse.
        AudioBusFormatList inputFormats{{48000, 2, 512}};
        AudioBusFormatList outputFormats{{0, 0, 0}};
        if (!node || !node->setBusFormats(inputFormats, outputFormats))
            return std::fprintf(stderr, "%s refused stereo\n", type.type.c_str()), 1;
        AudioBuffer<float> input(2, 512, 48000);
        AudioBuffer<float> output(2, 512, 48000);
        input.setSample(0, 0, 1.0f);
        input.setSample(1, 0, 1.0f);
        AudioBusList inputs{AudioBus(input)};
        AudioBusList outputs{AudioBus(output)};
        const bool processed = node->process(inputs, outputs);
        std::printf("%-28s %-16s processed=%s first=%g\n", type.getFQTypeName().c_str(), type.displayName.c_str(),
                    processed ? "yes" : "no", static_cast<double>(output.getSample(0, 0)));
    }
    return 0;
}
