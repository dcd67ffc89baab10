// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "speechengine.h"

#include <QByteArray>

// libespeak-ng, synthesizing to memory.
class EspeakEngine : public SpeechEngine
{
public:
    ~EspeakEngine() override;
    bool initialise(const VoiceSettings &voice, QString *reason) override;
    void setVoice(const VoiceSettings &voice) override;
    Utterance synthesize(const QString &text, const SampleSink &sink = {}) override;

private:
    bool m_ready = false;
    bool m_italian = false;
    int m_sampleRate = 0;
};

// The mouth a phoneme needs, by espeak-ng's mnemonic for it.
Mouth mouthFor(const QByteArray &phoneme);
