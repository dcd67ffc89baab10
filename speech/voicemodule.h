// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audiooutput.h"
#include "speechengine.h"

#include <QString>
#include <memory>

// The voice's engine and sound output.
struct VoiceParts
{
    std::unique_ptr<SpeechEngine> engine;
    std::unique_ptr<AudioOutput> output;
};

// espeak-ng and the sound server's libraries from a
// module of their own, loaded the first time the voice starts, on its
// worker: linked into the program, they would be loaded before its first
// window could show. A module that cannot be loaded leaves him silent, with
// the reason.
VoiceParts voiceFromModule(const QString &path);

// The functions the module exports: the version of these interfaces it was
// built against, and the one filling in the parts it provides. A module of
// another version (an update half installed, an old build lying about) is
// refused before anything of it runs: its classes need not match ours.
extern "C" {
using VoiceModuleVersion = int (*)();
using VoiceModuleEntry = void (*)(VoiceParts *parts);
}
// Raised whenever VoiceParts, SpeechEngine or AudioOutput change.
inline constexpr int kVoiceModuleVersion = 4;
inline constexpr char kVoiceModuleVersionSymbol[] = "garivolo_voice_version";
inline constexpr char kVoiceModuleEntry[] = "garivolo_voice_parts";
