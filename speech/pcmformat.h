// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

// Samples as the voice makes and plays them: signed 16-bit in the machine's
// byte order, channels interleaved.
struct PcmFormat
{
    int sampleRate = 0;
    int channels = 1;

    bool isValid() const { return sampleRate > 0 && channels > 0; }
    int bytesPerFrame() const { return 2 * channels; }
    // Whole frames only, as the sound device counts them.
    qsizetype bytesForMs(qint64 ms) const { return qsizetype(qint64(sampleRate) * ms / 1000) * bytesPerFrame(); }
    qint64 msForBytes(qsizetype bytes) const
    {
        return isValid() ? qint64(bytes / bytesPerFrame()) * 1000 / sampleRate : 0;
    }
};
