// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "characterdata.h"
#include "pcmformat.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The shape of the mouth while a sound is made.
enum class Mouth { Closed, Open, Round, Wide, Teeth };

// A text turned into sound: the samples in their format, where each word
// starts and how the mouth moves, all timed from the first sample.
struct Utterance
{
    struct Word
    {
        int atMs;      // when the word starts, from the start of the sound
        int textEnd;   // how much of the text has been said once it is over
    };
    struct Viseme
    {
        int atMs;
        Mouth mouth;
    };
    QByteArray pcm;
    PcmFormat format;
    QList<Word> words;
    QList<Viseme> visemes; // in time order; the mouth keeps a shape until the next
    int silentMs = 0; // without samples: how long the text is shown

    int durationMs() const;
    // The mouth at a moment of the utterance: shut before, between words' sounds and after.
    Mouth mouthAt(int ms) const;
};

// The mouth a phoneme needs, by its espeak-style mnemonic.
Mouth mouthFor(const QByteArray &phoneme);

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
