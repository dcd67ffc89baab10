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

// The function the module exports, filling in the parts it provides.
extern "C" {
using VoiceModuleEntry = void (*)(VoiceParts *parts);
}
inline constexpr char kVoiceModuleEntry[] = "garivolo_voice_parts";
