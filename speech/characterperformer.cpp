// SPDX-License-Identifier: GPL-3.0-or-later
#include "characterperformer.h"

#include "voice.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLineF>
#include <QStringList>

#include <climits>

namespace {

// A call made when the event loop comes to it.
class Deferred : public QEvent
{
public:
    explicit Deferred(std::function<void()> call)
        : QEvent(type())
        , m_call(std::move(call))
    {
    }
    static QEvent::Type type()
    {
        static const auto registered = QEvent::Type(QEvent::registerEventType());
        return registered;
    }
    void run() const { m_call(); }

private:
    std::function<void()> m_call;
};

} // namespace

CharacterPerformer::CharacterPerformer(const CharacterData &data, Voice &voice, CharacterStage &stage)
    : m_data(data)
    , m_voice(voice)
    , m_stage(stage)
    , m_queue(*this)
{
    // While he talks his mouth and the balloon change only at the sounds'
    // own times, and he is looked at only then. A gesture is drawn 12 or 13
    // times a second, as cartoons are drawn on every other film frame: each
    // is a whole new picture of him, and at 20 a second his greeting at
    // every answer cost about a third of what the program spent on it. A
    // glide across the window moves further from one picture to the next,
    // and gets 20. At rest only a blink or a breath changes the picture.
    connect(&m_frameTimer, &QTimer::timeout, this, [this] { step(); });
    m_idleTimer.setInterval(250);
    connect(&m_idleTimer, &QTimer::timeout, this, [this] { idle(); });
    m_finishTimer.setSingleShot(true);
    connect(&m_finishTimer, &QTimer::timeout, this, [this] { finish(); });
    m_holdTimer.setSingleShot(true);
    m_holdTimer.setInterval(kHoldMs);
    connect(&m_holdTimer, &QTimer::timeout, this, [this] {
        m_afterText = false;
        m_balloonUp = false;
        m_stage.dismissBalloon();
    });
    m_idleClock.start();
}

CharacterPerformer::~CharacterPerformer()
{
    m_queue.clear();
}

void CharacterPerformer::shutdown()
{
    m_queue.clear();
    m_idleTimer.stop();
    m_holdTimer.stop();
    m_balloonUp = false;
    m_stage.dismissBalloon();
    m_stage.hideFigure();
}

void CharacterPerformer::Show()
{
    m_queue.enqueue({CharacterRequest::Show});
}

void CharacterPerformer::MoveTo(int x, int y)
{
    m_queue.enqueue({CharacterRequest::MoveTo, x, y});
}

void CharacterPerformer::setHeight(int height)
{
    if (height <= 0 || height > 32767)
        throw CharacterError(QStringLiteral("Altezza del personaggio non valida: %1").arg(height));
    // A property, not a request: it holds from now on, even for what is already queued.
    if (height == m_height)
        return;
    m_height = height;
    redraw();
}

void CharacterPerformer::Play(const QString &animation, Keep keep)
{
    if (!m_data.animations.contains(animation))
        throw CharacterError(QStringLiteral("Animazione sconosciuta: \"%1\"").arg(animation));
    m_queue.enqueue({CharacterRequest::Play, 0, 0, animation, keep == Keep::Always, turn()});
}

void CharacterPerformer::Speak(const QString &text, Keep keep)
{
    m_queue.enqueue({CharacterRequest::Speak, 0, 0, text, keep == Keep::Always, turn()});
}

void CharacterPerformer::dropWaiting()
{
    m_queue.dropWaiting();
}

Figure CharacterPerformer::figure() const
{
    const bool moving = !m_animation.isEmpty();
    // He breathes and blinks only while he has nothing else to do.
    const bool resting = !moving && !m_talking;
    return Figure{m_pos, m_height, m_animation, moving && m_clock.isValid() ? int(m_clock.elapsed()) : 0,
                  CharacterFace{resting && m_eyesClosed, m_mouth, resting ? m_breath : 0.0}};
}

void CharacterPerformer::begin(const CharacterRequest &request, std::function<void()> done)
{
    m_done = std::move(done);
    switch (request.kind) {
    case CharacterRequest::Show:
        m_shown = true;
        m_stage.showFigure(figure());
        m_idleTimer.start();
        return finish();
    case CharacterRequest::MoveTo: {
        const QPointF to(request.x, request.y);
        if (!m_shown || m_pos == to) {
            m_pos = to;
            redraw();
            return finish();
        }
        m_glideFrom = m_pos;
        m_glideTo = to;
        m_gliding = true;
        startAction(qBound(200, int(QLineF(m_glideFrom, m_glideTo).length() * 1.5), 900));
        return;
    }
    case CharacterRequest::Height:
        if (request.x != m_height) {
            m_height = request.x;
            redraw();
        }
        return finish();
    case CharacterRequest::Play:
        // An animation ends what he was saying in one go: the next text gets a balloon of its own.
        m_afterText = false;
        m_animation = request.text;
        startAction(m_data.animations.value(m_animation).durationMs);
        return;
    case CharacterRequest::Speak:
        // From the event loop: a handler that asks for several texts in a
        // row has asked for all of them by then, and they share a balloon.
        // At the window's repaint's low priority and after it, so that
        // what the handler changed (a verdict) is on the screen first.
        QCoreApplication::postEvent(this, new Deferred([this, text = request.text, turn = request.turn, asked = m_asked] {
            if (asked == m_asked)
                speak(text, turn);
        }), Qt::LowEventPriority);
        return;
    }
}

bool CharacterPerformer::event(QEvent *event)
{
    if (event->type() != Deferred::type())
        return QObject::event(event);
    static_cast<Deferred *>(event)->run();
    return true;
}

void CharacterPerformer::stop()
{
    ++m_asked;
    m_done = nullptr;
    m_voice.stop();
    m_frameTimer.stop();
    m_finishTimer.stop();
    endAction();
    m_holdTimer.stop();
    m_afterText = false;
    m_balloonUp = false;
    m_stage.dismissBalloon();
}

// The texts said in one go (a question's "4", "per" and factor, a
// verdict and its result) gather in one balloon, revealed as said.
// The turn of the event loop the caller is in: a request made after the
// loop has run again belongs to another handler.
quint64 CharacterPerformer::turn()
{
    if (!m_inTurn) {
        m_inTurn = true;
        ++m_turn;
        QTimer::singleShot(0, this, [this] { m_inTurn = false; });
    }
    return m_turn;
}

void CharacterPerformer::speak(const QString &text, quint64 turn)
{
    m_holdTimer.stop();
    // A reaction asked after a dictation that waited is a thing of its own: a balloon and an announcement.
    const bool gathering = m_afterText && m_balloonUp && turn == m_balloonTurn;
    m_balloonTurn = turn;
    const int offset = gathering ? m_textEnd + 1 : 0;
    const QString &shown = m_balloonText;
    if (!gathering || shown.mid(offset, text.size()) != text
        || (offset + text.size() < shown.size() && shown.at(offset + text.size()) != u' ')) {
        // What he says next in one go is in the balloon from the start, so it can be read whole.
        QStringList parts{text};
        parts += m_queue.upcomingSpeech(turn);
        const QString joined = parts.join(u' ');
        if (!gathering) {
            m_stage.dismissBalloon();
            m_announced = 0;
        }
        m_balloonText = gathering ? shown.left(m_textEnd) + u' ' + joined : joined;
        if (!gathering)
            m_said = 0;
        m_stage.showBalloon(m_balloonText, m_said);
    }
    m_balloonUp = true;
    m_textStart = offset;
    m_textEnd = offset + int(text.size());
    m_afterText = false;
    m_voice.say(
        text, m_data.voice,
        [this](const Utterance &u) {
            m_utterance = u;
            m_talking = true;
            m_clock.start();
            // Without word timings the whole text is there at once.
            reveal(u.words.isEmpty() ? m_textEnd : m_textStart);
            m_frameTimer.setSingleShot(true);
            step();
        },
        [this] {
            // All of it has been heard: all of it stays readable a while.
            reveal(m_textEnd);
            m_afterText = true;
            m_holdTimer.start();
            finish();
        },
        [this](const Utterance &u) {
            m_utterance = u;
            // More of the text timed: its next change may be nearer than the one waited for.
            if (m_talking)
                step();
        });
}

void CharacterPerformer::reveal(int said)
{
    if (said > m_said) {
        m_said = said;
        m_stage.revealBalloon(m_said);
    }
    // One announcement for what he says in one go, as it begins; a long
    // text in its sentences, each as he reaches it.
    const QString &text = m_balloonText;
    while (m_announced < text.size() && m_announced <= qMax(m_said, m_textStart)) {
        const qsizetype stop = text.indexOf(QLatin1String(". "), m_announced);
        const int end = stop < 0 ? int(text.size()) : int(stop) + 1;
        m_stage.announce(text.mid(m_announced, end - m_announced).trimmed());
        m_announced = end;
    }
}

void CharacterPerformer::startAction(int durationMs)
{
    m_clock.start();
    m_frameTimer.setSingleShot(false);
    m_frameTimer.start(m_gliding ? kGlideFrameMs : kGestureFrameMs);
    m_finishTimer.start(durationMs);
    m_actionMs = durationMs;
}

void CharacterPerformer::finish()
{
    m_frameTimer.stop();
    if (m_gliding)
        m_pos = m_glideTo;
    endAction();
    if (auto done = std::exchange(m_done, nullptr))
        done();
}

void CharacterPerformer::endAction()
{
    m_animation.clear();
    m_gliding = false;
    m_talking = false;
    m_utterance = Utterance();
    m_mouth = Mouth::Closed;
    redraw();
    m_idleClock.start();
}

void CharacterPerformer::step()
{
    const int elapsed = m_talking ? m_voice.heardMs() : int(m_clock.elapsed());
    if (m_gliding) {
        const double f = qBound(0.0, double(elapsed) / m_actionMs, 1.0);
        const double eased = f * f * (3 - 2 * f);
        m_pos = m_glideFrom + (m_glideTo - m_glideFrom) * eased;
        redraw();
        return;
    }
    if (m_talking) {
        int said = m_utterance.words.isEmpty() ? m_textEnd : m_textStart;
        for (const Utterance::Word &w : std::as_const(m_utterance.words)) {
            if (w.atMs < elapsed) // a word at 0 shows once its sound is playing
                said = m_textStart + w.textEnd;
        }
        reveal(said);
        const Mouth mouth = m_utterance.mouthAt(elapsed);
        if (mouth != m_mouth) {
            m_mouth = mouth;
            redraw();
        }
        m_frameTimer.start(qBound(1, msToNextChange(elapsed), kTalkLookMs));
        return;
    }
    redraw();
}

int CharacterPerformer::msToNextChange(int elapsed) const
{
    int next = INT_MAX;
    for (const Utterance::Word &w : std::as_const(m_utterance.words)) {
        if (w.atMs >= elapsed) // shown once the sound is past its start
            next = qMin(next, w.atMs + 1);
    }
    for (const Utterance::Viseme &v : std::as_const(m_utterance.visemes)) {
        if (v.atMs <= elapsed)
            continue;
        if (v.mouth != m_mouth) {
            next = qMin(next, v.atMs);
            break;
        }
    }
    return next == INT_MAX ? INT_MAX : next - elapsed;
}

void CharacterPerformer::idle()
{
    if (m_frameTimer.isActive())
        return;
    // A blink every few seconds and a slow breath; each is a picture drawn once and kept.
    const qint64 t = m_idleClock.elapsed();
    const Liveliness &life = m_data.life;
    const bool closed = t % life.blinkEveryMs < life.blinkMs;
    static constexpr double kBreath[] = {0.0, 0.5, 1.0, 0.5};
    const double breath = kBreath[(t / life.breathStepMs) % 4];
    if (closed != m_eyesClosed || breath != m_breath) {
        m_eyesClosed = closed;
        m_breath = breath;
        redraw();
    }
}

void CharacterPerformer::redraw()
{
    if (m_shown)
        m_stage.drawFigure(figure());
}
