#import <Foundation/Foundation.h>

#include "AudioEffectsExtension.h"

// The loader class of the framework: registers one more extension when asked.
__attribute__((visibility("default")))
@interface OVAudioEffectsExtension : NSObject
+ (void)loadExtension;
@end

@implementation OVAudioEffectsExtension
+ (void)loadExtension {
    orvane::extensions::audioeffects::AudioEffectsExtension::load();
}
@end
