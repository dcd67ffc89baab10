// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "characterdata.h"
#include "pcmformat.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

// The shape of the mouth while a sound is made.
enum class Mouth { Closed, Open, Round, Wide, Teeth };

// A text turned into sound: how long it sounds in its format, where each
// word starts and how the mouth moves, all timed from the first sample. The
// samples themselves are never kept here: they go to the speaker as they are
// made, so a long text costs no more memory than a short one.
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
    qsizetype bytes = 0; // of samples, in format
    PcmFormat format;
    QList<Word> words;
    QList<Viseme> visemes; // in time order; the mouth keeps a shape until the next
    int silentMs = 0; // without samples: how long the text is shown

    int durationMs() const;
    // The mouth at a moment of the utterance: shut before, between words' sounds and after.
    Mouth mouthAt(int ms) const;
};

// Takes a text's samples a piece at a time, in order, with the timing of
// all made so far; false stops the text there.
using SampleSink = std::function<bool(const char *data, qsizetype bytes, const Utterance &soFar)>;

// Turns text into sound. Not thread-safe: one worker thread owns it.
class SpeechEngine
{
public:
    virtual ~SpeechEngine() = default;
    // False, with the reason, when there is no voice to speak with.
    virtual bool initialise(const VoiceSettings &voice, QString *reason) = 0;
    virtual void setVoice(const VoiceSettings &voice) = 0;
    // Makes the text's sound, handing its samples to sink as they come (to
    // nothing when sink is empty, which only measures it), and returns its timing.
    virtual Utterance synthesize(const QString &text, const SampleSink &sink = {}) = 0;
};
