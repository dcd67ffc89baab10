// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "characterdata.h"

#include <QByteArray>
#include <QList>
#include <QString>

// A text turned into sound: 16-bit mono samples, and where each word starts.
struct Utterance
{
    struct Word
    {
        int atMs;      // when the word starts, from the start of the sound
        int textEnd;   // how much of the text has been said once it is over
    };
    QByteArray pcm;
    int sampleRate = 22050;
    QList<Word> words;
    int silentMs = 0; // without sound: how long the text is shown

    int durationMs() const;
};

// Turns text into sound. Not thread-safe: one worker thread owns it.
class SpeechEngine
{
public:
    virtual ~SpeechEngine() = default;
    // False, with the reason, when there is no voice to speak with.
    virtual bool initialise(const VoiceSettings &voice, QString *reason) = 0;
    virtual void setVoice(const VoiceSettings &voice) = 0;
    virtual Utterance synthesize(const QString &text) = 0;
};

// libespeak-ng, synthesizing to memory.
class EspeakEngine : public SpeechEngine
{
public:
    ~EspeakEngine() override;
    bool initialise(const VoiceSettings &voice, QString *reason) override;
    void setVoice(const VoiceSettings &voice) override;
    Utterance synthesize(const QString &text) override;

private:
    bool m_ready = false;
    int m_sampleRate = 0;
};
