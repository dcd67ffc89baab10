// SPDX-License-Identifier: GPL-3.0-or-later
#include "speechengine.h"

#include <espeak-ng/speak_lib.h>

#include <cstdlib>

int Utterance::durationMs() const
{
    if (pcm.isEmpty())
        return silentMs;
    return int(qint64(pcm.size() / 2) * 1000 / sampleRate);
}

namespace {

// espeak-ng hands the sound over through a callback; this is where it goes.
struct Collector
{
    Utterance *utterance = nullptr;
    QByteArray textUtf8;
    QString text;
};
Collector g_collector;

int collect(short *samples, int count, espeak_EVENT *events)
{
    Utterance *u = g_collector.utterance;
    if (!u)
        return 0;
    if (samples && count > 0)
        u->pcm.append(reinterpret_cast<const char *>(samples), qsizetype(count) * 2);
    for (espeak_EVENT *e = events; e && e->type != espeakEVENT_LIST_TERMINATED; ++e) {
        if (e->type != espeakEVENT_WORD)
            continue;
        // Positions count UTF-8 characters from 1; the balloon counts QString units.
        const int endChar = e->text_position - 1 + e->length;
        u->words.append({e->audio_position, int(g_collector.text.left(qMax(0, endChar)).size())});
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
        const int rate = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr, espeakINITIALIZE_DONT_EXIT);
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

Utterance EspeakEngine::synthesize(const QString &text)
{
    Utterance u;
    u.sampleRate = m_sampleRate;
    if (!m_ready || text.isEmpty())
        return u;
    g_collector.utterance = &u;
    g_collector.textUtf8 = text.toUtf8();
    g_collector.text = text;
    espeak_Synth(g_collector.textUtf8.constData(), size_t(g_collector.textUtf8.size() + 1), 0, POS_CHARACTER, 0,
                 espeakCHARS_UTF8, nullptr, nullptr);
    espeak_Synchronize();
    g_collector.utterance = nullptr;
    return u;
}
