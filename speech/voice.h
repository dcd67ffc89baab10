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
#include <optional>

// The speech service every character speaks through: synthesis and playback on a worker thread of its
// own, timing here. A text is timed by how much of it the sound device says
// it has played, so that the words and the mouth keep to what is heard and
// the text ends once all of it has been; a device that cannot tell, stalls,
// vanishes or never was hands the timing over to a monotonic clock, and only
// makes him silent, never stuck.
class Voice : public QObject
{
    Q_OBJECT
public:
    // output null: never any sound, with the same timing.
    Voice(std::unique_ptr<SpeechEngine> engine, std::unique_ptr<AudioOutput> output, QObject *parent = nullptr);
    ~Voice() override;

    // Loads the engine and looks for the sound device on the worker. Called
    // once the first window is up, so start-up does not wait for either; the
    // first text starts it if nothing did.
    void start();

    // Says a text as the settings say: started once its sound begins (with the words' and the
    // mouth's timing), finished once all of it has been heard. One at a time.
    // The engine's timing of a text can differ a little from one take to the
    // next: retimed, when given, gets the timing of the take being heard as
    // it is made, well before each part of it is heard.
    void say(const QString &text, const VoiceSettings &voice, std::function<void(const Utterance &)> started,
             std::function<void()> finished, std::function<void(const Utterance &)> retimed = {});
    // Stops at once; the current text still reports its end, from the event loop.
    void stop();
    // How far into the text being said he is, in ms of its timing: what the
    // device has played of it, or the time since it started when there is no
    // sound or the device cannot tell. Only ever goes forward within a text.
    int heardMs();

    // Added to a sound's length when the device does not say what it has
    // played: what a sound server holds before the speaker.
    static constexpr int kLatencyGraceMs = 80;
    // A device whose playing stands still this long (a server that stalls,
    // or takes this long to start) is no longer waited for: the clock goes on.
    static constexpr int kStallMs = 1200;
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
    void endWhenHeard();
    // On the worker: the text's samples to the output, as it is heard.
    void render(quint64 token, const QString &text, const VoiceSettings &voice, const PcmFormat &format,
                qsizetype planned);
    bool speaking(quint64 token) const;
    void cancelSpeaking();
    void warnOnce(const QString &why);

    QThread m_thread;
    QObject *m_worker = nullptr; // lives on m_thread
    std::unique_ptr<SpeechEngine> m_engine; // used on m_thread only
    std::unique_ptr<AudioOutput> m_output;  // used on m_thread only, but for heardMs
    std::optional<QLocale> m_checkedLocale; // on m_thread: the language last asked of the engine
    bool m_localeSupported = false;

    bool m_started = false;
    bool m_warned = false;
    QTimer m_deadline;
    QTimer m_watchdog;
    QString m_text;
    bool m_begun = false;
    // The text being said: its length, whether it is sounding, and where it has got to.
    int m_lengthMs = 0;
    bool m_heard = false;
    QElapsedTimer m_sinceBegun;
    qint64 m_reportedMs = -1; // the device's last report that went forward
    qint64 m_reportedAt = 0;  // when that was, on m_sinceBegun
    int m_heardMs = 0;
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

// How long a text stays on screen when it is not heard: about the time a
// slow, clear voice takes to say it.
int speechEstimateMs(const QString &text);
