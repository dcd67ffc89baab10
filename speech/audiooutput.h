// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "pcmformat.h"

#include <QString>

#include <memory>

// Where the voice's samples go. The voice calls it on its worker thread,
// except heardMs, and times the speech itself from what heardMs reports: an
// output never decides when a text is over.
class AudioOutput
{
public:
    virtual ~AudioOutput() = default;
    // Finds a device; false, with the reason, when there is none now. The
    // format goes with each text, as the engine made it.
    virtual bool open(QString *reason) = 0;
    // Starts a text about expectedMs long, whose samples follow with append;
    // false, with the reason, when it cannot be heard.
    virtual bool start(const PcmFormat &format, qint64 expectedMs, QString *reason) = 0;
    // The next samples of the text last started; dropped when it is gone.
    virtual void append(const char *data, qsizetype bytes) = 0;
    // The text last started has no more samples: what it has is played out.
    virtual void finish() = 0;
    // Cuts off everything still sounding.
    virtual void stop() = 0;
    // How much of the text last started has reached the speaker, in ms, as
    // the device reports it (its latency included): 0 until it starts to
    // play, -1 when the device cannot tell. Safe from any thread.
    virtual qint64 heardMs() = 0;
};

// The session's sound server (PulseAudio, or PipeWire through pipewire-pulse),
// spoken to directly. Every text gets a stream of its own, which lives on
// after its text until it has drained, so that no tail is cut, and holds
// only the samples the server has not taken yet. Nothing here
// ever waits on the server for long: a server that hangs or dies leaves
// texts unheard, never the voice stuck, and one that comes back, or first
// appears after start-up, is used again.
class PulseAudioOutput : public AudioOutput
{
public:
    PulseAudioOutput();
    ~PulseAudioOutput() override;

    bool open(QString *reason) override;
    bool start(const PcmFormat &format, qint64 expectedMs, QString *reason) override;
    void append(const char *data, qsizetype bytes) override;
    void finish() override;
    void stop() override;
    qint64 heardMs() override;

    // The silence that brings a text this long to what sound servers start on.
    static qsizetype paddingFor(qsizetype bytes, const PcmFormat &format);

    // How long opening waits for the server to answer.
    static constexpr int kConnectTimeoutMs = 1000;
    // How often a server that is not there is looked for again.
    static constexpr int kLookAgainMs = 3000;

    struct Connection;

private:
    std::unique_ptr<Connection> m_connection;
};
