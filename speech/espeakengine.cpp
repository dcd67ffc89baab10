// SPDX-License-Identifier: GPL-3.0-or-later
#include "speechengine.h"

#include <espeak-ng/speak_lib.h>

#include <cstdlib>
#include <cstring>

namespace {

// espeak-ng hands the sound over through a callback; this is where it goes.
struct Collector
{
    Utterance *utterance = nullptr;
    const SampleSink *sink = nullptr;
    QString text;
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
            const int endChar = e->text_position - 1 + e->length;
            u->words.append({e->audio_position, int(g_collector.text.left(qMax(0, endChar)).size())});
            // The lips meet for a moment between two words.
            if (e->audio_position > 60 && (u->visemes.isEmpty() || u->visemes.last().atMs < e->audio_position - 40))
                addViseme(*u, e->audio_position - 40, Mouth::Closed);
            break;
        }
        case espeakEVENT_PHONEME:
            addViseme(*u, e->audio_position,
                      mouthFor(QByteArray(e->id.string, int(strnlen(e->id.string, sizeof e->id.string)))));
            break;
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

bool EspeakEngine::initialise(const VoiceSettings &voice, QString *reason)
{
    m_sampleRate = startEspeak();
    if (m_sampleRate <= 0) {
        if (reason)
            *reason = QStringLiteral("espeak-ng non si avvia (dati della voce mancanti?)");
        return false;
    }
    m_ready = true;
    espeak_SetSynthCallback(&collect);
    if (espeak_SetVoiceByName(voice.language.toUtf8().constData()) != EE_OK) {
        if (reason)
            *reason = QStringLiteral("voce \"%1\" di espeak-ng non trovata").arg(voice.language);
        return false;
    }
    setVoice(voice);
    return true;
}

void EspeakEngine::setVoice(const VoiceSettings &voice)
{
    if (!m_ready)
        return;
    espeak_SetVoiceByName(voice.language.toUtf8().constData());
    espeak_SetParameter(espeakRATE, qBound(espeakRATE_MINIMUM, voice.rate, espeakRATE_MAXIMUM), 0);
    espeak_SetParameter(espeakPITCH, qBound(0, voice.pitch, 100), 0);
}

Utterance EspeakEngine::synthesize(const QString &text, const SampleSink &sink)
{
    Utterance u;
    u.format = PcmFormat{m_sampleRate > 0 ? m_sampleRate : 22050, 1};
    if (!m_ready || text.isEmpty())
        return u;
    g_collector.utterance = &u;
    g_collector.sink = &sink;
    g_collector.text = text;
    const QByteArray utf8 = text.toUtf8();
    espeak_Synth(utf8.constData(), size_t(utf8.size() + 1), 0, POS_CHARACTER, 0, espeakCHARS_UTF8, nullptr, nullptr);
    espeak_Synchronize();
    g_collector.utterance = nullptr;
    g_collector.sink = nullptr;
    addViseme(u, u.durationMs(), Mouth::Closed);
    return u;
}
