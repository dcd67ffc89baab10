// SPDX-License-Identifier: GPL-3.0-or-later
#include "espeakengine.h"

#include "pronunciation.h"

#include <espeak-ng/speak_lib.h>

#include <cstdlib>
#include <cstring>

namespace {

// espeak-ng hands the sound over through a callback; this is where it goes.
struct Collector
{
    Utterance *utterance = nullptr;
    const SampleSink *sink = nullptr;
    // For each character handed to the library, how much of the text is said once it is.
    QList<int> saidAfter;
    // The word whose first sound is still to come: the library starts a
    // word at the silence before it (a stop's closure, a pause), and the
    // word is shown when it is heard.
    qsizetype soundless = -1;
};
Collector g_collector;

void addViseme(Utterance &u, int atMs, Mouth mouth)
{
    if (!u.visemes.isEmpty() && u.visemes.last().atMs >= atMs) {
        // Two events at the same moment: the later one is what the mouth shows.
        u.visemes.last().mouth = mouth;
        return;
    }
    if (!u.visemes.isEmpty() && u.visemes.last().mouth == mouth)
        return;
    u.visemes.append({atMs, mouth});
}

int collect(short *samples, int count, espeak_EVENT *events)
{
    Utterance *u = g_collector.utterance;
    if (!u)
        return 0;
    if (samples && count > 0) {
        const qsizetype bytes = qsizetype(count) * 2;
        u->bytes += bytes;
        const SampleSink &sink = *g_collector.sink;
        if (sink && !sink(reinterpret_cast<const char *>(samples), bytes, *u))
            return 1; // the library stops making this text
    }
    for (espeak_EVENT *e = events; e && e->type != espeakEVENT_LIST_TERMINATED; ++e) {
        switch (e->type) {
        case espeakEVENT_WORD: {
            // Positions count UTF-8 characters from 1; the balloon counts QString units.
            const QList<int> &said = g_collector.saidAfter;
            const int endChar = qBound(0, e->text_position - 1 + e->length, int(said.size()));
            u->words.append({e->audio_position, endChar > 0 ? said.at(endChar - 1) : 0});
            g_collector.soundless = u->words.size() - 1;
            // The lips meet for a moment between two words.
            if (e->audio_position > 60 && (u->visemes.isEmpty() || u->visemes.last().atMs < e->audio_position - 40))
                addViseme(*u, e->audio_position - 40, Mouth::Closed);
            break;
        }
        case espeakEVENT_PHONEME: {
            const QByteArray phoneme(e->id.string, int(strnlen(e->id.string, sizeof e->id.string)));
            addViseme(*u, e->audio_position, mouthFor(phoneme));
            if (g_collector.soundless >= 0 && !phoneme.startsWith('_')) {
                Utterance::Word &word = u->words[g_collector.soundless];
                word.atMs = qMax(word.atMs, e->audio_position);
                g_collector.soundless = -1;
            }
            break;
        }
        case espeakEVENT_END:
        case espeakEVENT_MSG_TERMINATED:
            addViseme(*u, e->audio_position, Mouth::Closed);
            break;
        default:
            break;
        }
    }
    return 0;
}

} // namespace

Mouth mouthFor(const QByteArray &phoneme)
{
    if (phoneme.isEmpty())
        return Mouth::Closed;
    switch (phoneme.at(0)) {
    case 'a': case 'A': case '&':
        return Mouth::Open;
    case 'o': case 'O': case 'u': case 'U': case 'w':
        return Mouth::Round;
    case 'f': case 'v':
        return Mouth::Teeth;
    case 'm': case 'b': case 'p': case '_': case ' ':
        return Mouth::Closed;
    default:
        // e, i and the consonants made behind parted teeth (t, s, n, l, r, k...).
        return Mouth::Wide;
    }
}

EspeakEngine::~EspeakEngine() = default;

// The library cannot be started again once terminated, so it is started once
// per process and put away when the process ends.
static int startEspeak()
{
    static const int sampleRate = [] {
        // Without DONT_EXIT the library ends the whole program when its data is missing.
        const int rate = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr,
                                           espeakINITIALIZE_DONT_EXIT | espeakINITIALIZE_PHONEME_EVENTS);
        if (rate > 0)
            std::atexit([] { espeak_Terminate(); });
        return rate;
    }();
    return sampleRate;
}

bool EspeakEngine::initialise(QString *reason)
{
    m_sampleRate = startEspeak();
    if (m_sampleRate <= 0) {
        if (reason)
            *reason = QStringLiteral("espeak-ng non si avvia (dati della voce mancanti?)");
        return false;
    }
    m_ready = true;
    espeak_SetSynthCallback(&collect);
    return true;
}

// espeak-ng names its voices by language code: "it", "en"...
static QByteArray voiceName(const QLocale &locale)
{
    return QLocale::languageToCode(locale.language(), QLocale::ISO639Part1).toLatin1();
}

bool EspeakEngine::supports(const QLocale &locale, QString *reason)
{
    if (m_ready && espeak_SetVoiceByName(voiceName(locale).constData()) == EE_OK) {
        m_applied.reset(); // the voice just tried is not the one set for speaking
        return true;
    }
    if (reason)
        *reason = QStringLiteral("voce \"%1\" di espeak-ng non trovata").arg(QString::fromLatin1(voiceName(locale)));
    return false;
}

// Its own units: words a minute (usually 175; from its slowest, 80, to the fastest still clear, 350)
// and a pitch from 0 to 100 (usually 50).
int EspeakEngine::wordsPerMinute(double rate)
{
    rate = qBound(-1.0, rate, 1.0);
    return qRound(rate < 0 ? kUsualRate + rate * (kUsualRate - espeakRATE_MINIMUM) : kUsualRate + rate * (kFastestRate - kUsualRate));
}

int EspeakEngine::pitchOf(double pitch)
{
    return qRound(50 + 50 * qBound(-1.0, pitch, 1.0));
}

void EspeakEngine::apply(const VoiceSettings &voice)
{
    if (m_applied == voice)
        return;
    m_applied = voice;
    espeak_SetVoiceByName(voiceName(voice.locale).constData());
    m_italian = voice.locale.language() == QLocale::Italian;
    espeak_SetParameter(espeakRATE, wordsPerMinute(voice.rate), 0);
    espeak_SetParameter(espeakPITCH, pitchOf(voice.pitch), 0);
}

Utterance EspeakEngine::synthesize(const QString &text, const VoiceSettings &voice, const SampleSink &sink)
{
    Utterance u;
    if (!m_ready || text.isEmpty())
        return u;
    u.format = PcmFormat{m_sampleRate, 1};
    apply(voice);
    g_collector.utterance = &u;
    g_collector.sink = &sink;
    g_collector.soundless = -1;
    // The words its rules say wrong go in as phonemes.
    const QString input = m_italian ? Pronunciation::italian().respell(text, &g_collector.saidAfter) : text;
    if (!m_italian) {
        g_collector.saidAfter.clear();
        for (qsizetype i = 1; i <= text.size(); ++i)
            g_collector.saidAfter.append(int(i));
    }
    const QByteArray utf8 = input.toUtf8();
    espeak_Synth(utf8.constData(), size_t(utf8.size() + 1), 0, POS_CHARACTER, 0,
                 espeakCHARS_UTF8 | (m_italian ? espeakPHONEMES : 0), nullptr, nullptr);
    espeak_Synchronize();
    g_collector.utterance = nullptr;
    g_collector.sink = nullptr;
    addViseme(u, u.durationMs(), Mouth::Closed);
    return u;
}
