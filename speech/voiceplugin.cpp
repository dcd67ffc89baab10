// SPDX-License-Identifier: GPL-3.0-or-later
// The voice module's one entry: libespeak-ng and the session's sound server.
#include "voicemodule.h"

#include "audiooutput.h"
#include "espeakengine.h"

extern "C" Q_DECL_EXPORT int garivolo_voice_version()
{
    return kVoiceModuleVersion;
}

extern "C" Q_DECL_EXPORT void garivolo_voice_parts(VoiceParts *parts)
{
    parts->engine = std::make_unique<EspeakEngine>();
    parts->output = std::make_unique<PulseAudioOutput>();
}
