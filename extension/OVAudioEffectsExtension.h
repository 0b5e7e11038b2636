#pragma once

#include "nodes/AudioEffectsExport.h"

// Unmangled entry points of the library, for hosts that look symbols up by name.
extern "C" {

/// No effect: the library registers itself while it is loaded.
ORVANE_AUDIOEFFECTS_API void ov_extension_load(void);
/// No effect: a symbol a host can reference to keep the library linked.
ORVANE_AUDIOEFFECTS_API void ov_extension_anchor_OrvaneAudioEffects(void);

#if !defined(__APPLE__)
/// Registers one more AudioEffects extension with the host's ExtensionManager. On Apple
/// platforms the same is offered as +[OVAudioEffectsExtension loadExtension].
ORVANE_AUDIOEFFECTS_API void OVAudioEffectsExtension_loadExtension(void);
#endif
}
