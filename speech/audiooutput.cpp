// SPDX-License-Identifier: GPL-3.0-or-later
#include "audiooutput.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QBuffer>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QMediaDevices>
#include <QTimer>

#include <algorithm>

struct QtAudioOutput::Stream
{
    QBuffer buffer;
    std::unique_ptr<QAudioSink> sink;
    QTimer reaper;
};

QtAudioOutput::QtAudioOutput() = default;

QtAudioOutput::~QtAudioOutput()
{
    stop();
    m_context.reset();
}

static qint64 monotonicMs()
{
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    return clock.elapsed();
}

bool QtAudioOutput::open(const QAudioFormat &format, QString *reason)
{
    if (!m_context)
        m_context = std::make_unique<QObject>();
    m_lastLookMs = monotonicMs();
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull()) {
        m_deviceLost = true;
        if (reason)
            *reason = QStringLiteral("nessun dispositivo audio");
        return false;
    }
    if (!device.isFormatSupported(format)) {
        m_deviceLost = true;
        if (reason)
            *reason = QStringLiteral("il dispositivo audio non accetta il formato della voce");
        return false;
    }
    m_deviceLost = false;
    return true;
}

QByteArray QtAudioOutput::padded(const QByteArray &pcm, const QAudioFormat &format)
{
    // PulseAudio's pre-buffer is a little over 1 kB; a quarter of a second is
    // well past it on every server and is only silence after the voice.
    const qsizetype minimum = format.bytesForDuration(250000);
    if (pcm.size() >= minimum)
        return pcm;
    QByteArray out = pcm;
    out.append(QByteArray(minimum - pcm.size(), '\0'));
    return out;
}

bool QtAudioOutput::play(const QByteArray &pcm, const QAudioFormat &format, QString *reason)
{
    // A device that went away is looked for again now and then, not at every text.
    if (m_deviceLost) {
        if (m_lastLookMs >= 0 && monotonicMs() - m_lastLookMs < 3000) {
            if (reason)
                *reason = QStringLiteral("nessun dispositivo audio");
            return false;
        }
        if (!open(format, reason))
            return false;
    }
    if (!m_context)
        m_context = std::make_unique<QObject>();
    auto stream = std::make_unique<Stream>();
    Stream *s = stream.get();
    s->buffer.setData(padded(pcm, format));
    s->buffer.open(QIODevice::ReadOnly);
    s->sink = std::make_unique<QAudioSink>(QMediaDevices::defaultAudioOutput(), format);
    QObject::connect(s->sink.get(), &QAudioSink::stateChanged, m_context.get(), [this, s](QAudio::State state) {
        if (state == QAudio::IdleState) {
            // Idle means all was handed over, not yet all heard: the server still holds the tail.
            s->reaper.start(500);
        } else if (state == QAudio::StoppedState && s->sink->error() != QAudio::NoError) {
            if (s->sink->error() != QAudio::UnderrunError)
                m_deviceLost = true;
            retire(s);
        }
    });
    // Whatever the sink reports, it is put away once its sound is long over.
    s->reaper.setSingleShot(true);
    QObject::connect(&s->reaper, &QTimer::timeout, m_context.get(), [this, s] { retire(s); });
    s->reaper.start(int(format.durationForBytes(qint32(s->buffer.size())) / 1000) + 3000);
    s->sink->start(&s->buffer);
    if (s->sink->error() == QAudio::OpenError || s->sink->error() == QAudio::FatalError) {
        m_deviceLost = true;
        m_lastLookMs = monotonicMs();
        if (reason)
            *reason = QStringLiteral("il dispositivo audio non si apre");
        return false;
    }
    m_streams.push_back(std::move(stream));
    return true;
}

void QtAudioOutput::retire(Stream *stream)
{
    // Called from the sink's own signal: it is deleted once that signal is over.
    QTimer::singleShot(0, m_context.get(), [this, stream] {
        const auto it = std::find_if(m_streams.begin(), m_streams.end(),
                                     [stream](const std::unique_ptr<Stream> &s) { return s.get() == stream; });
        if (it == m_streams.end())
            return;
        // Out of the list before it goes: a sink's destructor runs the event
        // loop, and a stop or retire it lets in must not find it there again.
        const std::unique_ptr<Stream> going = std::move(*it);
        m_streams.erase(it);
        going->sink->disconnect();
        going->sink->stop();
    });
}

void QtAudioOutput::stop()
{
    // Emptied before any sink is deleted, for the same reason as in retire.
    std::list<std::unique_ptr<Stream>> going;
    going.swap(m_streams);
    for (auto &s : going) {
        s->sink->disconnect();
        s->sink->stop();
    }
}
