// SPDX-License-Identifier: GPL-3.0-or-later
#include "voice.h"

#include <climits>
#include <cstdio>

int speechEstimateMs(const QString &text)
{
    return 400 + 65 * int(text.size());
}

Voice::Voice(std::unique_ptr<SpeechEngine> engine, std::unique_ptr<AudioOutput> output, QObject *parent)
    : QObject(parent)
    , m_engine(std::move(engine))
    , m_output(std::move(output))
{
    m_deadline.setSingleShot(true);
    m_deadline.setTimerType(Qt::PreciseTimer);
    connect(&m_deadline, &QTimer::timeout, this, [this] { endWhenHeard(); });
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
    m_onRetimed = nullptr;
    cancelSpeaking();
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
    std::fprintf(stderr, "garivolo: la voce parlerà in silenzio: %s\n", qPrintable(why));
    emit silenced(why);
}

void Voice::start()
{
    if (m_started)
        return;
    m_started = true;
    m_thread.start();
    QMetaObject::invokeMethod(m_worker, [this] {
        QString reason;
        bool ready = m_engine->initialise(&reason);
        if (ready && m_output) {
            ready = m_output->open(&reason);
        }
        if (!ready || !m_output) {
            if (!m_output)
                reason = QStringLiteral("suono spento");
            QMetaObject::invokeMethod(this, [this, reason] { warnOnce(reason); }, Qt::QueuedConnection);
        }
    }, Qt::QueuedConnection);
}

void Voice::say(const QString &text, const VoiceSettings &voice, std::function<void(const Utterance &)> started,
                std::function<void()> finished, std::function<void(const Utterance &)> retimed)
{
    start();
    // A text said over another ends the other, which still reports it; what
    // of its sound the server already has is left to drain.
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
    m_onRetimed = std::move(retimed);
    {
        std::lock_guard lock(m_paceMutex);
        m_speaking = token;
    }
    m_pace.notify_all();
    QMetaObject::invokeMethod(m_worker, [this, token, text, voice] {
        bool heard = false;
        QString why;
        // A language the engine has no voice for is said in silence, and said why once.
        if (!m_checkedLocale || *m_checkedLocale != voice.locale) {
            m_checkedLocale = voice.locale;
            m_localeSupported = m_engine->supports(voice.locale, &why);
        }
        // Measured first, so that its whole timing is known when it starts,
        // then made again while it is heard, so that only what is about to
        // be heard is ever held.
        Utterance u = m_localeSupported ? m_engine->synthesize(text, voice) : Utterance();
        if (u.bytes <= 0)
            u.silentMs = speechEstimateMs(text);
        const PcmFormat format = u.format;
        const qsizetype planned = u.bytes;
        if (m_output && planned > 0 && speaking(token))
            heard = m_output->start(format, u.durationMs(), &why);
        QMetaObject::invokeMethod(this, [this, token, heard, why, u = std::move(u)] {
            if (!heard && !why.isEmpty())
                warnOnce(why);
            begin(token, u, heard);
        }, Qt::QueuedConnection);
        if (!heard)
            return;
        render(token, text, voice, format, planned);
        m_output->finish();
    }, Qt::QueuedConnection);
}

bool Voice::speaking(quint64 token) const
{
    return m_speaking.load() == token;
}

void Voice::cancelSpeaking()
{
    {
        std::lock_guard lock(m_paceMutex);
        m_speaking = 0;
    }
    m_pace.notify_all();
}

void Voice::render(quint64 token, const QString &text, const VoiceSettings &voice, const PcmFormat &format,
                   qsizetype planned)
{
    QElapsedTimer heard;
    heard.start();
    qsizetype made = 0;
    qsizetype told = 0; // how much of the sound's timing the character knows
    const auto tell = [&](const Utterance &soFar) {
        QMetaObject::invokeMethod(this, [this, token, soFar] { retime(token, soFar); }, Qt::QueuedConnection);
        told = made;
    };
    const Utterance last = m_engine->synthesize(text, voice, [&](const char *data, qsizetype bytes, const Utterance &soFar) {
        if (!speaking(token))
            return false;
        m_output->append(data, bytes);
        made += bytes;
        // The library's second take of a text can come out a little longer
        // than the first; the text is told to last longer while that is still ahead.
        if (made > planned) {
            const int longer = int(format.msForBytes(made - planned));
            planned = made;
            QMetaObject::invokeMethod(this, [this, token, longer] { extend(token, longer); }, Qt::QueuedConnection);
        }
        // Made ahead of the speaker by up to kAheadMs, paced by the clock and
        // not by the sound server, so that a server that stalls holds nothing up.
        const qint64 ahead = format.msForBytes(made) - heard.elapsed();
        if (ahead > kAheadMs) {
            if (told < made)
                tell(soFar);
            std::unique_lock lock(m_paceMutex);
            m_pace.wait_for(lock, std::chrono::milliseconds(ahead - kAheadMs / 2),
                            [&] { return m_speaking.load() != token; });
        }
        return speaking(token);
    });
    if (told < made && speaking(token))
        tell(last);
}

void Voice::retime(quint64 token, const Utterance &heard)
{
    if (token != m_token || !m_begun || !m_onRetimed)
        return;
    // What is not made yet keeps the first measure's timing, which is as
    // near as there is to it.
    const int horizon = heard.durationMs();
    Utterance timing = m_planned;
    timing.words = heard.words;
    timing.visemes = heard.visemes;
    for (const Utterance::Word &w : std::as_const(m_planned.words)) {
        if (w.atMs > horizon && (timing.words.isEmpty() || w.textEnd > timing.words.last().textEnd))
            timing.words.append(w);
    }
    for (const Utterance::Viseme &v : std::as_const(m_planned.visemes)) {
        if (v.atMs > horizon)
            timing.visemes.append(v);
    }
    m_onRetimed(timing);
}

void Voice::extend(quint64 token, int ms)
{
    if (token == m_token && m_begun && m_deadline.isActive())
        m_lengthMs += ms;
}

int Voice::heardMs()
{
    if (!m_begun)
        return 0;
    const qint64 now = m_sinceBegun.elapsed();
    const qint64 reported = m_heard && m_output ? m_output->heardMs() : -1;
    qint64 at = now;
    if (reported >= 0 || m_reportedMs >= 0) {
        if (reported > m_reportedMs) {
            m_reportedMs = reported;
            m_reportedAt = now;
        }
        // A position that stands still is given a while to move on; one
        // that is gone (the server went away) is carried on by the clock at once.
        const qint64 still = now - m_reportedAt;
        at = m_reportedMs + qMax<qint64>(0, reported >= 0 ? still - kStallMs : still);
    }
    m_heardMs = qMax(m_heardMs, int(qMin<qint64>(at, INT_MAX)));
    return m_heardMs;
}

void Voice::endWhenHeard()
{
    // Without a position from the device its latency is allowed for.
    const int endAt = m_lengthMs + (m_heard && m_reportedMs < 0 ? kLatencyGraceMs : 0);
    const int heard = heardMs();
    if (heard >= endAt)
        return end(m_token);
    m_deadline.start(qMax(5, endAt - heard));
}

void Voice::begin(quint64 token, const Utterance &utterance, bool heard)
{
    if (token != m_token || m_begun)
        return;
    m_begun = true;
    m_watchdog.stop();
    // The sink's idle report comes late, early or never depending on the
    // server, so the sound's own length, heard, decides when the text is over.
    m_lengthMs = utterance.durationMs();
    m_heard = heard;
    m_sinceBegun.start();
    m_reportedMs = -1;
    m_reportedAt = 0;
    m_heardMs = 0;
    m_deadline.start(m_lengthMs);
    m_planned = utterance;
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
    m_onRetimed = nullptr;
    if (auto finished = std::exchange(m_onFinished, nullptr))
        finished();
}

void Voice::stop()
{
    ++m_token;
    cancelSpeaking();
    m_deadline.stop();
    m_watchdog.stop();
    m_onStarted = nullptr;
    m_onRetimed = nullptr;
    if (auto finished = std::exchange(m_onFinished, nullptr))
        QTimer::singleShot(0, this, std::move(finished));
    if (m_started)
        QMetaObject::invokeMethod(m_worker, [this] {
            if (m_output)
                m_output->stop();
        }, Qt::QueuedConnection);
}
