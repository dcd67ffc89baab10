// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audiooutput.h"
#include "speechengine.h"

#include <QElapsedTimer>
#include <QObject>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

// The character's voice: synthesis and playback on a worker thread of its
// own, timing here. A text ends when its sound has had time to be heard,
// measured on a monotonic clock from the start of playback, whatever the
// sound device says or does: a device that stalls, vanishes or never was
// only makes him silent, never stuck.
class Voice : public QObject
{
    Q_OBJECT
public:
    // output null: never any sound, with the same timing.
    Voice(std::unique_ptr<SpeechEngine> engine, std::unique_ptr<AudioOutput> output, const VoiceSettings &voice,
          QObject *parent = nullptr);
    ~Voice() override;

    // Loads the engine and looks for the sound device on the worker. Called
    // once the first window is up, so start-up does not wait for either; the
    // first text starts it if nothing did.
    void start();
    void setVoice(const VoiceSettings &voice);

    // Says a text: started once its sound begins (with the words' and the
    // mouth's timing), finished once all of it has been heard. One at a time.
    // The engine's timing of a text can differ a little from one take to the
    // next: retimed, when given, gets the timing of the take being heard as
    // it is made, well before each part of it is heard.
    void say(const QString &text, std::function<void(const Utterance &)> started, std::function<void()> finished,
             std::function<void(const Utterance &)> retimed = {});
    // Stops at once; the current text still reports its end, from the event loop.
    void stop();

    // Added to every sound's length: what a sound server holds before the speaker.
    static constexpr int kLatencyGraceMs = 80;
    // A text whose sound has not started by then goes on in silence: a sound
    // server that hangs the worker must not hold the character up.
    static constexpr int kStartTimeoutMs = 2500;
    // How far ahead of the speaker a text's samples are made, at most.
    static constexpr int kAheadMs = 600;

signals:
    // The first samples of a text were handed to the sound device (for measuring).
    void soundStarted();
    // Once, the first time he cannot be heard.
    void silenced(const QString &why);

private:
    void begin(quint64 token, const Utterance &utterance, bool heard);
    void extend(quint64 token, int ms);
    void retime(quint64 token, const Utterance &heard);
    void end(quint64 token);
    // On the worker: the text's samples to the output, as it is heard.
    void render(quint64 token, const QString &text, const PcmFormat &format, qsizetype planned);
    bool speaking(quint64 token) const;
    void cancelSpeaking();
    void warnOnce(const QString &why);

    QThread m_thread;
    QObject *m_worker = nullptr; // lives on m_thread
    std::unique_ptr<SpeechEngine> m_engine; // used on m_thread only
    std::unique_ptr<AudioOutput> m_output;  // used on m_thread only
    VoiceSettings m_settings;

    bool m_started = false;
    bool m_warned = false;
    QTimer m_deadline;
    QTimer m_watchdog;
    QString m_text;
    bool m_begun = false;
    quint64 m_token = 0;
    // The text the worker may go on making: set here, read there.
    std::atomic<quint64> m_speaking{0};
    std::mutex m_paceMutex;
    std::condition_variable m_pace;
    std::function<void(const Utterance &)> m_onStarted;
    std::function<void(const Utterance &)> m_onRetimed;
    Utterance m_planned; // the current text's timing as first measured
    std::function<void()> m_onFinished;
};
