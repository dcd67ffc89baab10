// SPDX-License-Identifier: GPL-3.0-or-later
#include "voice.h"

#include "desktopagent.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QMediaDevices>

#include <cstdio>

Voice::Voice(std::unique_ptr<SpeechEngine> engine, const VoiceSettings &voice, bool soundOutput, QObject *parent)
    : QObject(parent)
    , m_engine(std::move(engine))
    , m_sound(soundOutput)
{
    m_durationTimer.setSingleShot(true);
    m_thread.setObjectName(QStringLiteral("voice"));
    m_worker = new QObject;
    m_worker->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread.start();

    // The engine loads its voice on the worker while the window starts.
    QMetaObject::invokeMethod(m_worker, [this, voice] {
        QString reason;
        const bool ready = m_engine->initialise(voice, &reason);
        if (!ready)
            QMetaObject::invokeMethod(this, [this, reason] { warnOnce(reason); }, Qt::QueuedConnection);
    }, Qt::QueuedConnection);

    if (m_sound && QMediaDevices::defaultAudioOutput().isNull()) {
        m_sound = false;
        if (soundOutput)
            warnOnce(QStringLiteral("nessun dispositivo audio"));
    }
    if (m_sound) {
        const QAudioDevice device = QMediaDevices::defaultAudioOutput();
        m_format.setSampleRate(22050);
        m_format.setChannelCount(1);
        m_format.setSampleFormat(QAudioFormat::Int16);
        if (!device.isFormatSupported(m_format)) {
            m_sound = false;
            warnOnce(QStringLiteral("il dispositivo audio non accetta 22050 Hz mono a 16 bit"));
        }
    }
}

Voice::~Voice()
{
    stop();
    // The engine is put away on the worker, the only thread that ever used it.
    QMetaObject::invokeMethod(m_worker, [this] { m_engine.reset(); }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

void Voice::warnOnce(const QString &why)
{
    if (m_warned)
        return;
    m_warned = true;
    std::fprintf(stderr, "garivolo: Merlin parlerà in silenzio: %s\n", qPrintable(why));
}

void Voice::setVoice(const VoiceSettings &voice)
{
    QMetaObject::invokeMethod(m_worker, [this, voice] { m_engine->setVoice(voice); }, Qt::QueuedConnection);
}

void Voice::say(const QString &text, std::function<void(const Utterance &)> started, std::function<void()> finished)
{
    stop();
    const quint64 token = ++m_token;
    m_started = std::move(started);
    m_finished = std::move(finished);
    QMetaObject::invokeMethod(m_worker, [this, token, text] {
        Utterance u = m_engine->synthesize(text);
        if (u.pcm.isEmpty())
            u.silentMs = speechEstimateMs(text);
        QMetaObject::invokeMethod(this, [this, token, u = std::move(u)] {
            if (token == m_token)
                play(u);
        }, Qt::QueuedConnection);
    }, Qt::QueuedConnection);
}

void Voice::play(const Utterance &utterance)
{
    const quint64 token = m_token;
    // Finished at the later of the sink going idle and the sound's length:
    // the sink reports idle about 90 ms before the last sample is heard.
    m_partsLeft = 1;
    m_durationTimer.disconnect(this);
    connect(&m_durationTimer, &QTimer::timeout, this, [this, token] { partDone(token); });
    m_durationTimer.start(utterance.durationMs());

    if (m_sound && !utterance.pcm.isEmpty()) {
        if (!m_sink) {
            m_sink = new QAudioSink(QMediaDevices::defaultAudioOutput(), m_format, this);
        }
        m_sink->disconnect(this);
        m_buffer.close();
        m_buffer.setData(utterance.pcm);
        m_buffer.open(QIODevice::ReadOnly);
        m_partsLeft = 2;
        connect(m_sink, &QAudioSink::stateChanged, this, [this, token](QAudio::State state) {
            if (state == QAudio::IdleState) {
                m_sink->disconnect(this);
                partDone(token);
            } else if (state == QAudio::StoppedState && m_sink->error() != QAudio::NoError) {
                m_sink->disconnect(this);
                m_sound = false;
                warnOnce(QStringLiteral("errore del dispositivo audio"));
                partDone(token);
            }
        });
        m_sink->start(&m_buffer);
        emit soundStarted();
    }
    if (m_started)
        m_started(utterance);
}

void Voice::partDone(quint64 token)
{
    if (token != m_token || --m_partsLeft > 0)
        return;
    if (auto finished = std::exchange(m_finished, nullptr))
        finished();
}

void Voice::stop()
{
    ++m_token;
    m_durationTimer.stop();
    m_started = nullptr;
    m_finished = nullptr;
    if (m_sink) {
        m_sink->disconnect(this);
        m_sink->stop();
    }
    m_buffer.close();
}
