// SPDX-License-Identifier: GPL-3.0-or-later
// A voice module as an older build made it: the entry, but not this version.
#include "voicemodule.h"

#include <cstdlib>

extern "C" Q_DECL_EXPORT int garivolo_voice_version()
{
    return kVoiceModuleVersion - 1;
}

// Its parts would not match ours: being called at all is the fault.
extern "C" Q_DECL_EXPORT void garivolo_voice_parts(VoiceParts *)
{
    std::abort();
}
