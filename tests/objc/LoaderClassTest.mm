// The framework's Objective-C++ loader class, built here against GNUstep's Foundation and
// reached the way a host reaches it: by name through the runtime.
#import <Foundation/Foundation.h>
#include <gtest/gtest.h>

#include "extension/AudioEffectsExtension.h"
#include "extension/OVAudioEffectsExtension.h"
#include "host/ExtensionManager.h"

namespace orvane {
namespace {

std::size_t audioEffectsExtensions() {
    std::size_t count = 0;
    for (const auto& extension : ExtensionManager::getInstance().getExtensions())
        count += dynamic_cast<extensions::audioeffects::AudioEffectsExtension*>(extension.get()) != nullptr;
    return count;
}

TEST(LoaderClassTest, LoadExtensionRegistersOneMoreAsTheCEntryPointDoes) {
    Class loader = NSClassFromString(@"OVAudioEffectsExtension");
    ASSERT_NE(loader, Nil);
    const std::size_t atStart = audioEffectsExtensions();
    [loader performSelector:@selector(loadExtension)];
    EXPECT_EQ(audioEffectsExtensions(), atStart + 1);
    OVAudioEffectsExtension_loadExtension();
    EXPECT_EQ(audioEffectsExtensions(), atStart + 2);
}

}  // namespace
}  // namespace orvane
