// SPDX-License-Identifier: GPL-3.0-or-later
// The voice module's one entry: libespeak-ng and Qt Multimedia's default output.
#include "voicemodule.h"

extern "C" Q_DECL_EXPORT void garivolo_voice_parts(VoiceParts *parts)
{
    parts->engine = std::make_unique<EspeakEngine>();
    parts->output = std::make_unique<QtAudioOutput>();
}
