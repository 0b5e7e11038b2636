#include "OVAudioEffectsExtension.h"

#include "AudioEffectsExtension.h"

extern "C" {

void ov_extension_load(void) {}

void ov_extension_anchor_OrvaneAudioEffects(void) {}

#if !defined(__APPLE__)
void OVAudioEffectsExtension_loadExtension(void) { orvane::extensions::audioeffects::AudioEffectsExtension::load(); }
#endif
}
