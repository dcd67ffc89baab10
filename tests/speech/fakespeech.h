// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audiooutput.h"
#include "speechengine.h"

#include "voice.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QThread>

#include <algorithm>
#include <cmath>

// An engine with the timing of a real one: 70 ms a letter and 120 ms of
// pause after each word at its usual rate, words and mouth shapes reported
// where they sound. It speaks Italian and English only.
class FakeEngine : public SpeechEngine
{
public:
    static constexpr int kLetterMs = 70;
    static constexpr int kPauseMs = 120;
    // Each take this much slower than the one before, as a real engine's
    // takes of one text can differ.
    int driftPercent = 0;

    bool initialise(QString *) override { return true; }
    bool supports(const QLocale &locale, QString *reason) override
    {
        const bool known = locale.language() == QLocale::Italian || locale.language() == QLocale::English;
        if (!known && reason)
            *reason = QStringLiteral("nessuna voce per %1").arg(locale.name());
        return known;
    }
    Utterance synthesize(const QString &text, const VoiceSettings &voice, const SampleSink &sink = {}) override
    {
        Utterance u;
        u.format = PcmFormat{8000, 1};
        // Twice as fast at the fastest, twice as slow at the slowest.
        const int stretch = int((100 + driftPercent * m_takes++) * std::pow(2.0, -qBound(-1.0, voice.rate, 1.0)));
        const int letterMs = kLetterMs * stretch / 100;
        const int pauseMs = kPauseMs * stretch / 100;
        int ms = 0;
        const QStringList words = text.split(u' ', Qt::SkipEmptyParts);
        int end = 0;
        for (const QString &word : words) {
            end = int(text.indexOf(word, end)) + int(word.size());
            u.words.append({ms, end});
            for (QChar c : word) {
                u.visemes.append({ms, mouthForLetter(c)});
                ms += letterMs;
            }
            u.visemes.append({ms, Mouth::Closed});
            ms += pauseMs;
        }
        u.bytes = u.format.bytesForMs(ms);
        // Handed over in pieces of 50 ms, as a real engine does.
        const QByteArray piece(u.format.bytesForMs(50), '\1');
        for (qsizetype made = 0; sink && made < u.bytes; made += piece.size()) {
            if (!sink(piece.constData(), qMin(piece.size(), u.bytes - made), u))
                break;
        }
        return u;
    }

private:
    static Mouth mouthForLetter(QChar c)
    {
        switch (c.toLower().unicode()) {
        case u'a':
            return Mouth::Open;
        case u'o': case u'u':
            return Mouth::Round;
        case u'm': case u'p': case u'b':
            return Mouth::Closed;
        case u'f': case u'v':
            return Mouth::Teeth;
        default:
            return Mouth::Wide;
        }
    }
    int m_takes = 0;
};

// A sound device the test controls: it can refuse, break after some texts,
// take everything and say nothing, start late, stall or keep its playing to
// itself, as real servers do.
class FakeOutput : public AudioOutput
{
public:
    enum Behaviour { Plays, Absent, BreaksAfterTwo, Hangs, StartsLate, Stalls, Untimed };
    // How long a late device takes to start, and where a stalling one stops.
    static constexpr int kLateMs = 700;
    static constexpr int kStallsAtMs = 150;
    static bool plays(int behaviour) { return behaviour == Plays || behaviour >= StartsLate; }
    explicit FakeOutput(Behaviour behaviour) : m_behaviour(behaviour) {}

    bool open(QString *reason) override
    {
        if (m_behaviour == Absent && reason)
            *reason = QStringLiteral("nessun dispositivo audio");
        return m_behaviour != Absent;
    }
    bool start(const PcmFormat &format, qint64, QString *reason) override
    {
        if (m_behaviour == Hangs) {
            // A server that never answers: the call returns only much later.
            QThread::msleep(Voice::kStartTimeoutMs + 1000);
            return false;
        }
        QMutexLocker lock(&m_mutex);
        const bool works = plays(m_behaviour) || (m_behaviour == BreaksAfterTwo && m_played.size() < 2);
        if (!works) {
            if (reason)
                *reason = QStringLiteral("il dispositivo audio è sparito");
            return false;
        }
        m_played.append(0);
        m_format = format;
        m_clock.start();
        return true;
    }
    void append(const char *, qsizetype bytes) override
    {
        QMutexLocker lock(&m_mutex);
        if (m_played.isEmpty())
            return;
        m_played.last() += bytes;
        m_mostAheadMs = qMax(m_mostAheadMs, m_format.msForBytes(m_played.last()) - m_clock.elapsed());
    }
    void finish() override {}
    void stop() override
    {
        QMutexLocker lock(&m_mutex);
        ++m_stops;
    }
    qint64 heardMs() override
    {
        QMutexLocker lock(&m_mutex);
        if (m_played.isEmpty() || m_behaviour == Untimed)
            return -1;
        // Never more than it was given.
        const qint64 given = m_format.msForBytes(m_played.last());
        const qint64 t = m_clock.elapsed();
        switch (m_behaviour) {
        case StartsLate:
            return qBound<qint64>(0, t - kLateMs, given);
        case Stalls:
            return std::min<qint64>({t, given, kStallsAtMs});
        default:
            return qMin(t, given);
        }
    }
    int played()
    {
        QMutexLocker lock(&m_mutex);
        return int(m_played.size());
    }
    // The samples handed over for the text last started.
    qsizetype lastBytes()
    {
        QMutexLocker lock(&m_mutex);
        return m_played.isEmpty() ? 0 : m_played.last();
    }
    // The samples handed over for each text started, in turn.
    QList<qsizetype> bytesByText()
    {
        QMutexLocker lock(&m_mutex);
        return m_played;
    }
    // How far the samples handed over ever ran ahead of their text's clock.
    qint64 mostAheadMs()
    {
        QMutexLocker lock(&m_mutex);
        return m_mostAheadMs;
    }

private:
    Behaviour m_behaviour;
    QMutex m_mutex;
    QList<qsizetype> m_played; // samples handed over, text by text
    PcmFormat m_format;
    QElapsedTimer m_clock;
    qint64 m_mostAheadMs = 0;
    int m_stops = 0;
};
