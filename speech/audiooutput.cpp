// SPDX-License-Identifier: GPL-3.0-or-later
#include "audiooutput.h"

#include <pulse/pulseaudio.h>

#include <chrono>
#include <deque>
#include <list>
#include <thread>

namespace {

qint64 monotonicMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Once a stream has drained, the server still holds its tail for a moment.
constexpr pa_usec_t kTailUs = 500 * PA_USEC_PER_MSEC;
// A stream is put away this long after its sound should be over, whatever the server said.
constexpr pa_usec_t kReapAfterUs = 3000 * PA_USEC_PER_MSEC;
// What the server holds of a stream ahead of the speaker.
constexpr int kBufferMs = 200;
// How often the server is asked where a playing stream is, besides when it
// is ready, starts and runs dry; between its answers the library carries the
// position on by the clock. Each answer costs the server a round between its
// threads, about a millisecond: the library's own updates, ten a second,
// were a third of all it spent on the voice.
constexpr pa_usec_t kTimingEveryUs = 1000 * PA_USEC_PER_MSEC;

struct Stream;

} // namespace

// The server's own thread and everything it touches. Every member is used
// with the loop's lock held, by the voice's thread or by the callbacks on
// the loop's thread. A stream is only ever put away from a timer of the
// loop's, or by the voice's thread: never inside a callback of its own.
struct PulseAudioOutput::Connection
{
    ~Connection();

    bool startLoop();
    enum class Link { Ready, Pending, Down };
    Link link() const;
    void connect();
    void dropContext();
    void remove(Stream *stream);
    void removeSoon(Stream *stream, pa_usec_t after);
    bool connectWhenFull(Stream *stream);
    void finish(Stream *stream);
    pa_mainloop_api *api() const { return pa_threaded_mainloop_get_api(loop); }

    pa_threaded_mainloop *loop = nullptr;
    pa_context *context = nullptr;
    std::list<Stream> streams; // a list, so that the callbacks' pointers stay good
    Stream *current = nullptr; // the one samples are appended to
    Stream *latest = nullptr;  // the one last started, whose playing is reported
    qint64 lastLookMs = -1;
    bool lastLookHung = false; // the last server looked for took the connection but never answered
};

namespace {

struct Stream
{
    PulseAudioOutput::Connection *owner = nullptr;
    pa_stream *stream = nullptr;
    PcmFormat format;
    // Made, not yet taken by the server: the pieces as they came, the first from `taken` on.
    std::deque<QByteArray> pending;
    qsizetype taken = 0;
    qsizetype waiting = 0; // bytes in pending not taken yet
    qsizetype total = 0;
    bool connected = false;
    bool complete = false;
    pa_operation *drain = nullptr;
    pa_time_event *reaper = nullptr;
    pa_time_event *timing = nullptr;
};

class Locked
{
public:
    explicit Locked(pa_threaded_mainloop *loop) : m_loop(loop) { pa_threaded_mainloop_lock(m_loop); }
    ~Locked() { pa_threaded_mainloop_unlock(m_loop); }
    Locked(const Locked &) = delete;
    Locked &operator=(const Locked &) = delete;

private:
    pa_threaded_mainloop *m_loop;
};

void onReap(pa_mainloop_api *, pa_time_event *, const struct timeval *, void *userdata)
{
    auto *s = static_cast<Stream *>(userdata);
    s->owner->remove(s);
}

void askWhereItIs(pa_stream *p)
{
    if (pa_operation *o = pa_stream_update_timing_info(p, nullptr, nullptr))
        pa_operation_unref(o);
}

void onTiming(pa_mainloop_api *, pa_time_event *e, const struct timeval *, void *userdata)
{
    auto *s = static_cast<Stream *>(userdata);
    if (pa_stream_get_state(s->stream) == PA_STREAM_READY)
        askWhereItIs(s->stream);
    pa_context_rttime_restart(pa_stream_get_context(s->stream), e, pa_rtclock_now() + kTimingEveryUs);
}

void onDrained(pa_stream *, int, void *userdata)
{
    auto *s = static_cast<Stream *>(userdata);
    // All of it has been played: nothing more to follow.
    if (s->timing) {
        s->owner->api()->time_free(s->timing);
        s->timing = nullptr;
    }
    s->owner->removeSoon(s, kTailUs);
}

void onStreamState(pa_stream *p, void *userdata)
{
    const pa_stream_state_t state = pa_stream_get_state(p);
    // The first position, so that the library has one to carry on from.
    if (state == PA_STREAM_READY)
        askWhereItIs(p);
    if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) {
        auto *s = static_cast<Stream *>(userdata);
        s->owner->removeSoon(s, 0);
    }
}

// Hands the server what it asks for, of what has been made so far.
void feed(Stream *s)
{
    if (!s->connected || s->drain || pa_stream_get_state(s->stream) != PA_STREAM_READY)
        return;
    const size_t writable = pa_stream_writable_size(s->stream);
    size_t wanted = writable == size_t(-1) ? 0 : writable;
    while (wanted > 0 && !s->pending.empty()) {
        const QByteArray &piece = s->pending.front();
        const size_t n = std::min(wanted, size_t(piece.size() - s->taken));
        if (pa_stream_write(s->stream, piece.constData() + s->taken, n, nullptr, 0, PA_SEEK_RELATIVE) != 0) {
            s->owner->removeSoon(s, 0);
            return;
        }
        wanted -= n;
        s->taken += qsizetype(n);
        s->waiting -= qsizetype(n);
        if (s->taken == piece.size()) {
            s->pending.pop_front();
            s->taken = 0;
        }
    }
    if (s->complete && s->pending.empty()) {
        pa_stream_set_write_callback(s->stream, nullptr, nullptr);
        // The stream asks for no pre-buffer; a server that keeps one anyway
        // would hold back a text shorter than it for good.
        if (pa_operation *o = pa_stream_trigger(s->stream, nullptr, nullptr))
            pa_operation_unref(o);
        s->drain = pa_stream_drain(s->stream, onDrained, s);
    }
}

void onWrite(pa_stream *, size_t, void *userdata)
{
    feed(static_cast<Stream *>(userdata));
}

// The playing position is interpolated from the server's last report, which
// at first says the stream is not playing: asked for again as soon as it
// plays, so that the first word shows with its sound.
void onStarted(pa_stream *p, void *)
{
    askWhereItIs(p);
}

} // namespace

PulseAudioOutput::Connection::~Connection()
{
    if (!loop)
        return;
    {
        Locked lock(loop);
        dropContext();
    }
    pa_threaded_mainloop_stop(loop);
    pa_threaded_mainloop_free(loop);
}

bool PulseAudioOutput::Connection::startLoop()
{
    loop = pa_threaded_mainloop_new();
    if (loop && pa_threaded_mainloop_start(loop) == 0)
        return true;
    if (loop)
        pa_threaded_mainloop_free(loop);
    loop = nullptr;
    return false;
}

PulseAudioOutput::Connection::Link PulseAudioOutput::Connection::link() const
{
    if (!context)
        return Link::Down;
    const pa_context_state_t state = pa_context_get_state(context);
    if (state == PA_CONTEXT_READY)
        return Link::Ready;
    return PA_CONTEXT_IS_GOOD(state) ? Link::Pending : Link::Down;
}

void PulseAudioOutput::Connection::connect()
{
    dropContext();
    lastLookMs = monotonicMs();
    pa_proplist *props = pa_proplist_new();
    pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, "Garivolo");
    pa_proplist_sets(props, PA_PROP_APPLICATION_ICON_NAME, "garivolo");
    context = pa_context_new_with_proplist(api(), "Garivolo", props);
    pa_proplist_free(props);
    // A game never starts a sound server of its own: without one he is silent.
    if (context)
        pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr);
}

void PulseAudioOutput::Connection::dropContext()
{
    while (!streams.empty())
        remove(&streams.front());
    if (!context)
        return;
    pa_context_disconnect(context);
    pa_context_unref(context);
    context = nullptr;
}

void PulseAudioOutput::Connection::remove(Stream *s)
{
    if (s->reaper)
        api()->time_free(s->reaper);
    if (s->timing)
        api()->time_free(s->timing);
    if (s->drain) {
        pa_operation_cancel(s->drain);
        pa_operation_unref(s->drain);
    }
    pa_stream_set_state_callback(s->stream, nullptr, nullptr);
    pa_stream_set_write_callback(s->stream, nullptr, nullptr);
    pa_stream_set_started_callback(s->stream, nullptr, nullptr);
    pa_stream_set_underflow_callback(s->stream, nullptr, nullptr);
    if (PA_STREAM_IS_GOOD(pa_stream_get_state(s->stream)))
        pa_stream_disconnect(s->stream);
    pa_stream_unref(s->stream);
    if (current == s)
        current = nullptr;
    if (latest == s)
        latest = nullptr;
    streams.remove_if([s](const Stream &x) { return &x == s; });
}

void PulseAudioOutput::Connection::removeSoon(Stream *s, pa_usec_t after)
{
    pa_context_rttime_restart(context, s->reaper, pa_rtclock_now() + after);
}

PulseAudioOutput::PulseAudioOutput() = default;

PulseAudioOutput::~PulseAudioOutput() = default;

bool PulseAudioOutput::open(QString *reason)
{
    if (!m_connection) {
        auto connection = std::make_unique<Connection>();
        if (!connection->startLoop()) {
            if (reason)
                *reason = QStringLiteral("il suono non si avvia");
            return false;
        }
        m_connection = std::move(connection);
    }
    Connection &c = *m_connection;
    Connection::Link link;
    {
        Locked lock(c.loop);
        if (c.link() != Connection::Link::Ready)
            c.connect();
    }
    // A local server answers in a few milliseconds; one that does not is not waited for.
    const qint64 deadline = monotonicMs() + kConnectTimeoutMs;
    for (;;) {
        {
            Locked lock(c.loop);
            link = c.link();
        }
        if (link != Connection::Link::Pending || monotonicMs() >= deadline)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    {
        Locked lock(c.loop);
        c.lastLookHung = link == Connection::Link::Pending;
    }
    if (link == Connection::Link::Ready)
        return true;
    if (reason)
        *reason = link == Connection::Link::Pending ? QStringLiteral("il server audio non risponde")
                                                    : QStringLiteral("nessun server audio");
    return false;
}

qsizetype PulseAudioOutput::paddingFor(qsizetype bytes, const PcmFormat &format)
{
    // PulseAudio's pre-buffer is a little over 1 kB; a quarter of a second is
    // well past it on every server and is only silence after the voice.
    return qMax(qsizetype(0), format.bytesForMs(250) - bytes);
}

bool PulseAudioOutput::start(const PcmFormat &format, qint64 expectedMs, QString *reason)
{
    auto fail = [reason](const QString &why) {
        if (reason)
            *reason = why;
        return false;
    };
    if (!m_connection && !open(reason))
        return false;
    Connection &c = *m_connection;
    bool lookNow = false;
    {
        Locked lock(c.loop);
        lookNow = c.link() == Connection::Link::Down
                  && (c.lastLookMs < 0 || !c.lastLookHung || monotonicMs() - c.lastLookMs >= kLookAgainMs);
    }
    // A server gone, restarted or not yet there is looked for before the
    // text and waited for as on opening, so that the first text once it is
    // back is heard: a refused connection costs next to nothing. Only one
    // that took the connection and never answered is left a while.
    if (lookNow)
        open(nullptr);
    Locked lock(c.loop);
    switch (c.link()) {
    case Connection::Link::Ready:
        break;
    case Connection::Link::Pending:
        return fail(QStringLiteral("il server audio non risponde"));
    case Connection::Link::Down:
        return fail(QStringLiteral("nessun server audio"));
    }

    const pa_sample_spec spec{PA_SAMPLE_S16NE, uint32_t(qMax(0, format.sampleRate)), uint8_t(qBound(0, format.channels, 255))};
    if (!pa_sample_spec_valid(&spec))
        return fail(QStringLiteral("formato della voce non valido"));
    pa_stream *p = pa_stream_new(c.context, "Voce", &spec, nullptr);
    if (!p)
        return fail(QStringLiteral("il server audio non accetta la voce"));
    if (c.current)
        c.finish(c.current);
    Stream &s = c.streams.emplace_back();
    s.owner = &c;
    s.stream = p;
    s.format = format;
    s.reaper = pa_context_rttime_new(c.context,
                                     pa_rtclock_now() + pa_usec_t(qMax<qint64>(0, expectedMs)) * PA_USEC_PER_MSEC
                                         + kReapAfterUs,
                                     onReap, &s);
    if (!s.reaper) {
        c.remove(&s);
        return fail(QStringLiteral("il dispositivo audio non si apre"));
    }
    pa_stream_set_state_callback(p, onStreamState, &s);
    pa_stream_set_write_callback(p, onWrite, &s);
    pa_stream_set_started_callback(p, onStarted, nullptr);
    pa_stream_set_underflow_callback(p, onStarted, nullptr);
    c.current = &s;
    c.latest = &s;
    return true;
}

void PulseAudioOutput::append(const char *data, qsizetype bytes)
{
    if (!m_connection || bytes <= 0)
        return;
    Connection &c = *m_connection;
    Locked lock(c.loop);
    if (Stream *s = c.current) {
        s->pending.emplace_back(data, bytes);
        s->waiting += bytes;
        s->total += bytes;
        if (!c.connectWhenFull(s))
            return;
        feed(s);
    }
}

void PulseAudioOutput::finish()
{
    if (!m_connection)
        return;
    Connection &c = *m_connection;
    Locked lock(c.loop);
    if (c.current)
        c.finish(c.current);
}

bool PulseAudioOutput::Connection::connectWhenFull(Stream *s)
{
    if (s->connected)
        return true;
    // The stream is opened once it has a buffer's worth (or all there is),
    // so that the server never starts it on nothing and skips the first word.
    if (!s->complete && s->waiting < s->format.bytesForMs(kBufferMs))
        return false;
    // A short buffer, as an interactive program asks for: with the server's
    // default of two seconds the sink runs that far ahead, and every new text
    // makes it take back and mix again what it had already sent on.
    pa_buffer_attr buffer;
    buffer.maxlength = uint32_t(-1);
    buffer.tlength = uint32_t(s->format.bytesForMs(kBufferMs));
    // Playing starts with the first samples: waiting for a full buffer can
    // wait for good, since the server asks for less than that at first.
    buffer.prebuf = 0;
    buffer.minreq = uint32_t(-1);
    buffer.fragsize = uint32_t(-1);
    // The server's playing position, kept up to date between its reports,
    // is the clock the words and the mouth follow.
    const auto flags = pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING);
    if (pa_stream_connect_playback(s->stream, nullptr, &buffer, flags, nullptr, nullptr) != 0) {
        removeSoon(s, 0);
        return false;
    }
    s->timing = pa_context_rttime_new(context, pa_rtclock_now() + kTimingEveryUs, onTiming, s);
    s->connected = true;
    return true;
}

void PulseAudioOutput::Connection::finish(Stream *s)
{
    if (current == s)
        current = nullptr;
    if (s->complete)
        return;
    if (const qsizetype padding = paddingFor(s->total, s->format); padding > 0) {
        s->pending.emplace_back(padding, '\0');
        s->waiting += padding;
    }
    s->complete = true;
    if (connectWhenFull(s))
        feed(s);
}

void PulseAudioOutput::stop()
{
    if (!m_connection)
        return;
    Locked lock(m_connection->loop);
    while (!m_connection->streams.empty())
        m_connection->remove(&m_connection->streams.front());
}

qint64 PulseAudioOutput::heardMs()
{
    if (!m_connection)
        return -1;
    Locked lock(m_connection->loop);
    const Stream *s = m_connection->latest;
    if (!s)
        return -1;
    // Not yet handed to the server, or not yet timed by it: nothing heard so far.
    pa_usec_t usec = 0;
    if (!s->connected || pa_stream_get_state(s->stream) != PA_STREAM_READY || pa_stream_get_time(s->stream, &usec) != 0)
        return 0;
    return qint64(usec / PA_USEC_PER_MSEC);
}
