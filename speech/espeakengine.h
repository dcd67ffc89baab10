// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "speechengine.h"

#include <QByteArray>

#include <optional>

// libespeak-ng, synthesizing to memory.
class EspeakEngine : public SpeechEngine
{
public:
    ~EspeakEngine() override;
    bool initialise(QString *reason) override;
    bool supports(const QLocale &locale, QString *reason) override;
    Utterance synthesize(const QString &text, const VoiceSettings &voice, const SampleSink &sink = {}) override;

    // The neutral settings in espeak-ng's units.
    static int wordsPerMinute(double rate);
    static int pitchOf(double pitch);
    static constexpr int kUsualRate = 175;
    // Faster than this its Italian is no longer clear.
    static constexpr int kFastestRate = 350;

private:
    void apply(const VoiceSettings &voice);

    std::optional<VoiceSettings> m_applied; // what the library is set to now
    bool m_ready = false;
    bool m_italian = false;
    int m_sampleRate = 0;
};

// The mouth a phoneme needs, by espeak-ng's mnemonic for it.
Mouth mouthFor(const QByteArray &phoneme);
