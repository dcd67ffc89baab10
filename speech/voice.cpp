// SPDX-License-Identifier: GPL-3.0-or-later
#include "voice.h"

#include "desktopagent.h"

#include <cstdio>

Voice::Voice(std::unique_ptr<SpeechEngine> engine, std::unique_ptr<AudioOutput> output, const VoiceSettings &voice,
             QObject *parent)
    : QObject(parent)
    , m_engine(std::move(engine))
    , m_output(std::move(output))
    , m_settings(voice)
{
    m_deadline.setSingleShot(true);
    m_deadline.setTimerType(Qt::PreciseTimer);
    connect(&m_deadline, &QTimer::timeout, this, [this] { end(m_token); });
    m_watchdog.setSingleShot(true);
    connect(&m_watchdog, &QTimer::timeout, this, [this] {
        warnOnce(QStringLiteral("la voce non risponde"));
        Utterance silent;
        silent.silentMs = speechEstimateMs(m_text);
        begin(m_token, silent, false);
    });
    m_thread.setObjectName(QStringLiteral("voice"));
    m_worker = new QObject;
    m_worker->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
}

Voice::~Voice()
{
    m_deadline.stop();
    m_watchdog.stop();
    m_onStarted = nullptr;
    m_onFinished = nullptr;
    if (m_thread.isRunning()) {
        // Engine and output are put away on the worker, the only thread that ever used them.
        QMetaObject::invokeMethod(m_worker, [this] {
            if (m_output)
                m_output->stop();
            m_output.reset();
            m_engine.reset();
        }, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    } else {
        delete m_worker;
    }
}

void Voice::warnOnce(const QString &why)
{
    if (m_warned)
        return;
    m_warned = true;
    std::fprintf(stderr, "garivolo: Merlin parlerà in silenzio: %s\n", qPrintable(why));
    emit silenced(why);
}

void Voice::start()
{
    if (m_started)
        return;
    m_started = true;
    m_thread.start();
    QMetaObject::invokeMethod(m_worker, [this, voice = m_settings] {
        QString reason;
        bool ready = m_engine->initialise(voice, &reason);
        if (ready && m_output) {
            ready = m_output->open(PcmFormat{22050, 1}, &reason);
        }
        if (!ready || !m_output) {
            if (!m_output)
                reason = QStringLiteral("suono spento");
            QMetaObject::invokeMethod(this, [this, reason] { warnOnce(reason); }, Qt::QueuedConnection);
        }
    }, Qt::QueuedConnection);
}

void Voice::setVoice(const VoiceSettings &voice)
{
    m_settings = voice;
    if (m_started)
        QMetaObject::invokeMethod(m_worker, [this, voice] { m_engine->setVoice(voice); }, Qt::QueuedConnection);
}

void Voice::say(const QString &text, std::function<void(const Utterance &)> started, std::function<void()> finished)
{
    start();
    // A text said over another ends the other, which still reports it; its
    // sound is left to drain so that nothing is cut mid-word.
    m_deadline.stop();
    m_watchdog.stop();
    if (auto previous = std::exchange(m_onFinished, nullptr))
        QTimer::singleShot(0, this, std::move(previous));
    const quint64 token = ++m_token;
    m_text = text;
    m_begun = false;
    m_watchdog.start(kStartTimeoutMs);
    m_onStarted = std::move(started);
    m_onFinished = std::move(finished);
    QMetaObject::invokeMethod(m_worker, [this, token, text] {
        Utterance u = m_engine->synthesize(text);
        if (u.pcm.isEmpty())
            u.silentMs = speechEstimateMs(text);
        bool heard = false;
        QString why;
        if (m_output && !u.pcm.isEmpty())
            heard = m_output->play(u.pcm, u.format, &why);
        QMetaObject::invokeMethod(this, [this, token, heard, why, u = std::move(u)] {
            if (!heard && !why.isEmpty())
                warnOnce(why);
            begin(token, u, heard);
        }, Qt::QueuedConnection);
    }, Qt::QueuedConnection);
}

void Voice::begin(quint64 token, const Utterance &utterance, bool heard)
{
    if (token != m_token || m_begun)
        return;
    m_begun = true;
    m_watchdog.stop();
    // The sink's idle report comes late, early or never depending on the
    // server, so the sound's own length decides when the text is over.
    m_deadline.start(utterance.durationMs() + (heard ? kLatencyGraceMs : 0));
    if (heard)
        emit soundStarted();
    if (m_onStarted)
        m_onStarted(utterance);
}

void Voice::end(quint64 token)
{
    if (token != m_token)
        return;
    m_onStarted = nullptr;
    if (auto finished = std::exchange(m_onFinished, nullptr))
        finished();
}

void Voice::stop()
{
    ++m_token;
    m_deadline.stop();
    m_watchdog.stop();
    m_onStarted = nullptr;
    if (auto finished = std::exchange(m_onFinished, nullptr))
        QTimer::singleShot(0, this, std::move(finished));
    if (m_started)
        QMetaObject::invokeMethod(m_worker, [this] {
            if (m_output)
                m_output->stop();
        }, Qt::QueuedConnection);
}
