// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "speechengine.h"

#include <QAudioFormat>
#include <QBuffer>
#include <QElapsedTimer>
#include <QObject>
#include <QThread>
#include <QTimer>
#include <functional>
#include <memory>

class QAudioSink;

// The character's voice: synthesis on a worker thread of its own, playback
// here. Without a sound device or voice data it goes on in silence, taking
// as long as the sound would (or an estimate), after one warning.
class Voice : public QObject
{
    Q_OBJECT
public:
    // soundOutput false: never open an audio device (tests of timing).
    Voice(std::unique_ptr<SpeechEngine> engine, const VoiceSettings &voice, bool soundOutput = true,
          QObject *parent = nullptr);
    ~Voice() override;

    void setVoice(const VoiceSettings &voice);

    // Says a text: started once its sound begins (with the words' timing),
    // finished once all of it has been heard. Only one text at a time.
    void say(const QString &text, std::function<void(const Utterance &)> started, std::function<void()> finished);
    // Stops at once; neither callback of the current text is called.
    void stop();

    bool hasSound() const { return m_sound; }

signals:
    // The first samples of a text were handed to the sound device (for measuring).
    void soundStarted();

private:
    void play(const Utterance &utterance);
    void partDone(quint64 token);
    void warnOnce(const QString &why);

    QThread m_thread;
    QObject *m_worker = nullptr; // lives on m_thread
    std::unique_ptr<SpeechEngine> m_engine; // used on m_thread only

    bool m_sound;
    bool m_warned = false;
    QAudioFormat m_format;
    QAudioSink *m_sink = nullptr;
    QBuffer m_buffer;
    QTimer m_durationTimer;
    quint64 m_token = 0;
    int m_partsLeft = 0;
    std::function<void(const Utterance &)> m_started;
    std::function<void()> m_finished;
};
