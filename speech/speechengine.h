// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "pcmformat.h"

#include <QByteArray>
#include <QList>
#include <QLocale>
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

// How a text is to be said, in terms any engine can take: each engine maps
// them onto its own units, so that a character file says nothing of the engine.
struct VoiceSettings
{
    QLocale locale{QLocale::Italian, QLocale::Italy};
    double rate = 0.0;  // -1 the slowest, 0 the engine's usual, 1 the fastest
    double pitch = 0.0; // -1 the lowest, 0 the engine's usual, 1 the highest
    bool operator==(const VoiceSettings &) const = default;
};

// Turns text into sound. Not thread-safe: one worker thread owns it.
class SpeechEngine
{
public:
    virtual ~SpeechEngine() = default;
    // False, with the reason, when the engine cannot speak at all.
    virtual bool initialise(QString *reason) = 0;
    // Whether it has a voice for the language; false with the reason when not.
    virtual bool supports(const QLocale &locale, QString *reason) = 0;
    // Makes the text's sound as the settings say, handing its samples to
    // sink as they come (to nothing when sink is empty, which only measures
    // it), and returns its timing. The settings go with every text, so that
    // characters of different voices share one engine.
    virtual Utterance synthesize(const QString &text, const VoiceSettings &voice, const SampleSink &sink = {}) = 0;
};
