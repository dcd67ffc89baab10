// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAudioFormat>
#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <list>
#include <memory>

class QAudioSink;
class QBuffer;

// Where the voice's samples go. The voice calls it on its worker thread only,
// and times the speech itself: an output never decides when a text is over.
class AudioOutput
{
public:
    virtual ~AudioOutput() = default;
    // Finds a device for the format; false, with the reason, when there is none now.
    virtual bool open(const QAudioFormat &format, QString *reason) = 0;
    // Starts one text's samples; false, with the reason, when they cannot be heard.
    virtual bool play(const QByteArray &pcm, const QAudioFormat &format, QString *reason) = 0;
    // Cuts off everything still sounding.
    virtual void stop() = 0;
};

// Qt Multimedia's default output. Every text gets a sink of its own: a sink
// stopped and started again stops reporting its state with PulseAudio and
// PipeWire after a few texts, while a fresh one always plays. A sink lives on
// after its text until it has drained, so no tail is cut.
class QtAudioOutput : public AudioOutput
{
public:
    QtAudioOutput();
    ~QtAudioOutput() override;

    bool open(const QAudioFormat &format, QString *reason) override;
    bool play(const QByteArray &pcm, const QAudioFormat &format, QString *reason) override;
    void stop() override;

    // Sound servers hold a new stream back until they have this much of it.
    static QByteArray padded(const QByteArray &pcm, const QAudioFormat &format);

private:
    struct Stream;
    void retire(Stream *stream);

    // Made on the first call, on the voice's thread: the sinks' signals and
    // timers must all live there, never on the thread that made this object.
    std::unique_ptr<QObject> m_context;
    std::list<std::unique_ptr<Stream>> m_streams;
    bool m_deviceLost = false;
    qint64 m_lastLookMs = -1;
};
