// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktopagent.h"

#include "characterdata.h"
#include "characterlayer.h"
#include "characterqueue.h"
#include "characterrenderer.h"
#include "voice.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QLineF>
#include <QTimer>

#include <optional>

// A character in the window: checks and queues the calls, and performs
// them one at a time by drawing, gliding, speaking and showing the balloon.
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

class DesktopCharacter : public QObject, public Character, public Performer
{
    static constexpr int kTalkFrameMs = 33;
    static constexpr int kMoveFrameMs = 50;

public:
    DesktopCharacter(CharacterData data, DesktopAgent &agent, QWidget *host)
        : m_data(std::move(data))
        , m_renderer(m_data)
        , m_queue(*this)
        , m_agent(agent)
        , m_layer(new CharacterLayer(host, m_data.name))
        , m_balloon(new Balloon(m_layer, m_data.name))
    {
        // While he talks, about 30 looks a second keep his mouth and the
        // balloon on his words; a gesture is as smooth at 20 pictures a
        // second, each a whole new picture of him. At rest only a blink or a
        // breath changes the picture.
        connect(&m_frameTimer, &QTimer::timeout, this, [this] { step(); });
        m_idleTimer.setInterval(250);
        connect(&m_idleTimer, &QTimer::timeout, this, [this] { idle(); });
        m_finishTimer.setSingleShot(true);
        connect(&m_finishTimer, &QTimer::timeout, this, [this] { finish(); });
        // What he said stays up this long after its last word, unless he says more.
        m_holdTimer.setSingleShot(true);
        m_holdTimer.setInterval(2000);
        connect(&m_holdTimer, &QTimer::timeout, this, [this] {
            m_afterText = false;
            m_balloon->dismiss();
        });
        m_idleClock.start();
        m_layer->hide();
    }

    ~DesktopCharacter() override
    {
        shutdown();
        delete m_layer.data();
    }

    void shutdown()
    {
        m_queue.clear();
        m_idleTimer.stop();
        m_holdTimer.stop();
        if (m_balloon)
            m_balloon->dismiss();
        if (m_layer)
            m_layer->hide();
    }

    void Show() override { m_queue.enqueue({CharacterRequest::Show}); }
    void MoveTo(int x, int y) override { m_queue.enqueue({CharacterRequest::MoveTo, x, y}); }
    void setHeight(int height) override
    {
        if (height <= 0 || height > 32767)
            throw CharacterError(QStringLiteral("Altezza del personaggio non valida: %1").arg(height));
        // A property, not a request: it holds from now on, even for what is already queued.
        // Every handler sets it: only a new height makes his pictures out of date.
        if (height == m_height)
            return;
        m_height = height;
        relayout();
    }
    void Play(const QString &animation, Keep keep) override
    {
        if (!m_data.animations.contains(animation))
            throw CharacterError(QStringLiteral("Animazione sconosciuta: \"%1\"").arg(animation));
        m_queue.enqueue({CharacterRequest::Play, 0, 0, animation, keep == Keep::Always, turn()});
    }
    void Speak(const QString &text, Keep keep) override
    {
        m_queue.enqueue({CharacterRequest::Speak, 0, 0, text, keep == Keep::Always, turn()});
    }
    void dropWaiting() override { m_queue.dropWaiting(); }

    // Size, place or screen changed: every picture drawn so far is out of date.
    void relayout()
    {
        m_stills.clear();
        m_stillShown.reset();
        m_renderer.forgetParts();
        redraw();
        if (m_balloon && m_balloon->isVisible()) {
            // A balloon up when the window goes full screen grows with it, keeping what was said.
            m_balloon->rescale(qRound(m_data.life.balloonTextPx * m_agent.designScale()),
                               qRound(m_data.life.balloonWidthPx * m_agent.designScale()));
            placeBalloon();
        }
    }

    void begin(const CharacterRequest &request, std::function<void()> done) override
    {
        m_done = std::move(done);
        switch (request.kind) {
        case CharacterRequest::Show:
            m_shown = true;
            redraw();
            m_layer->show();
            m_layer->raise();
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
                relayout();
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

    bool event(QEvent *event) override
    {
        if (event->type() != Deferred::type())
            return QObject::event(event);
        static_cast<Deferred *>(event)->run();
        return true;
    }

    void stop() override
    {
        ++m_asked;
        m_done = nullptr;
        m_agent.voice().stop();
        m_frameTimer.stop();
        m_finishTimer.stop();
        endAction();
        m_holdTimer.stop();
        m_afterText = false;
        if (m_balloon)
            m_balloon->dismiss();
    }

    QRect figureRect() const
    {
        const qreal s = m_agent.designScale();
        const QPointF p = (m_pos - QPointF(DesktopAgent::clientOrigin())) * s;
        const int h = qMax(1, qRound(m_height * s));
        return QRect(p.toPoint(), QSize(m_renderer.widthFor(h), h));
    }

private:
    // The texts said in one go (a question's "4", "per" and factor, a
    // verdict and its result) gather in one balloon, revealed as said.
    // The turn of the event loop the caller is in: a request made after the
    // loop has run again belongs to another handler.
    quint64 turn()
    {
        if (!m_inTurn) {
            m_inTurn = true;
            ++m_turn;
            QTimer::singleShot(0, this, [this] { m_inTurn = false; });
        }
        return m_turn;
    }

    void speak(const QString &text, quint64 turn)
    {
        m_holdTimer.stop();
        const QString shown = m_balloon->speech();
        // A reaction asked after a dictation that waited is a thing of its own: a balloon and an announcement.
        const bool gathering = m_afterText && m_balloon->isVisible() && turn == m_balloonTurn;
        m_balloonTurn = turn;
        const int offset = gathering ? m_textEnd + 1 : 0;
        if (!gathering || shown.mid(offset, text.size()) != text
            || (offset + text.size() < shown.size() && shown.at(offset + text.size()) != u' ')) {
            // What he says next in one go is in the balloon from the start, so it can be read whole.
            QStringList parts{text};
            parts += m_queue.upcomingSpeech(turn);
            const QString joined = parts.join(u' ');
            if (!gathering) {
                m_balloon->dismiss();
                m_announced = 0;
            }
            const int said = m_said;
            m_balloon->setSpeech(gathering ? shown.left(m_textEnd) + u' ' + joined : joined,
                                 qRound(m_data.life.balloonTextPx * m_agent.designScale()),
                                 qRound(m_data.life.balloonWidthPx * m_agent.designScale()));
            m_said = gathering ? said : 0;
            m_balloon->reveal(m_said);
        }
        m_textStart = offset;
        m_textEnd = offset + int(text.size());
        m_afterText = false;
        placeBalloon();
        m_balloon->show();
        m_balloon->raise();
        m_agent.voice().say(
            text, m_data.voice,
            [this](const Utterance &u) {
                m_utterance = u;
                m_talking = true;
                m_clock.start();
                // Without word timings the whole text is there at once.
                reveal(u.words.isEmpty() ? m_textEnd : m_textStart);
                m_frameTimer.start(kTalkFrameMs);
                step();
            },
            [this] {
                // All of it has been heard: all of it stays readable a while.
                reveal(m_textEnd);
                m_afterText = true;
                m_holdTimer.start();
                finish();
            },
            [this](const Utterance &u) { m_utterance = u; });
    }

    void reveal(int said)
    {
        m_said = qMax(m_said, said);
        m_balloon->reveal(m_said);
        // One announcement for what he says in one go, as it begins; a long
        // text in its sentences, each as he reaches it.
        const QString &text = m_balloon->speech();
        while (m_announced < text.size() && m_announced <= qMax(m_said, m_textStart)) {
            const qsizetype stop = text.indexOf(QLatin1String(". "), m_announced);
            const int end = stop < 0 ? int(text.size()) : int(stop) + 1;
            m_balloon->announce(text.mid(m_announced, end - m_announced).trimmed());
            m_announced = end;
        }
    }

    void startAction(int durationMs)
    {
        m_clock.start();
        m_frameTimer.start(kMoveFrameMs);
        m_finishTimer.start(durationMs);
        m_actionMs = durationMs;
    }

    void finish()
    {
        m_frameTimer.stop();
        if (m_gliding)
            m_pos = m_glideTo;
        endAction();
        if (auto done = std::exchange(m_done, nullptr))
            done();
    }

    void endAction()
    {
        m_animation.clear();
        m_gliding = false;
        m_talking = false;
        m_utterance = Utterance();
        m_mouth = Mouth::Closed;
        redraw();
        m_idleClock.start();
    }

    void step()
    {
        const int elapsed = m_talking ? m_agent.voice().heardMs() : int(m_clock.elapsed());
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
            return;
        }
        redraw();
    }

    void idle()
    {
        if (m_frameTimer.isActive())
            return;
        // A blink every four seconds and a slow breath; each is a picture drawn once and kept.
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

    void redraw()
    {
        if (!m_layer || !m_shown)
            return;
        const qreal s = m_agent.designScale();
        const int h = qMax(1, qRound(m_height * s));
        const qreal dpr = m_layer->devicePixelRatioF();
        const bool moving = !m_animation.isEmpty();
        // He breathes and blinks only while he has nothing else to do.
        const bool resting = !moving && !m_talking;
        const CharacterRenderer::Face face{resting && m_eyesClosed, m_mouth, resting ? m_breath : 0.0};
        const QMargins m = m_renderer.margins(h, moving);
        const QPoint topLeft = figureRect().topLeft() - QPoint(m.left(), m.top());
        if (!moving) {
            // Every handler shows and places him again, where he already is.
            const Still still{face.eyesClosed, face.mouth, face.breath, h, dpr, topLeft};
            if (m_stillShown == still)
                return;
            m_stillShown = still;
            // At rest or talking the picture is one of a few; each is drawn once until his size changes.
            m_layer->setFrame(m_stills.picture(face, h, dpr, [&](const CharacterRenderer::Face &still) {
                return m_renderer.frame(h, {}, still, dpr, false);
            }), topLeft);
        } else {
            m_stillShown.reset();
            const int elapsed = int(m_clock.isValid() ? m_clock.elapsed() : 0);
            const Pose pose = m_data.poseAt(m_animation, elapsed);
            m_layer->drawFrame(m_renderer.frameSize(h, true), dpr, topLeft,
                               [&](QImage &image) { return m_renderer.compose(image, h, pose, face, true); });
        }
    }

    void placeBalloon()
    {
        const QList<QRect> keep = m_agent.keepClearRects();
        m_balloon->setGeometry(balloonPlace(m_balloon->size(), figureRect(), m_layer->rect(), keep));
    }

    CharacterData m_data;
    CharacterRenderer m_renderer;
    CharacterQueue m_queue;
    DesktopAgent &m_agent;
    QPointer<CharacterLayer> m_layer;
    QPointer<Balloon> m_balloon;
    QTimer m_frameTimer;
    QTimer m_finishTimer;
    QTimer m_idleTimer;
    QTimer m_holdTimer;
    QElapsedTimer m_clock;
    QElapsedTimer m_idleClock;
    std::function<void()> m_done;
    QString m_animation;
    Utterance m_utterance;
    StillPictures m_stills;
    // The still picture on the layer now, if it shows one.
    struct Still
    {
        bool eyesClosed;
        Mouth mouth;
        double breath;
        int height;
        qreal dpr;
        QPoint topLeft;
        bool operator==(const Still &) const = default;
    };
    std::optional<Still> m_stillShown;
    QPointF m_pos{250, 175};
    QPointF m_glideFrom, m_glideTo;
    bool m_gliding = false;
    int m_actionMs = 0;
    int m_height = 128;
    bool m_shown = false;
    bool m_talking = false;
    // The balloon: where the text being said lies in it, how much of it is
    // said and announced, and whether the last request was a text.
    int m_textStart = 0;
    int m_textEnd = 0;
    int m_said = 0;
    int m_announced = 0;
    bool m_afterText = false;
    quint64 m_asked = 0; // a text still to begin when this changes is not said
    quint64 m_turn = 0;
    bool m_inTurn = false;
    quint64 m_balloonTurn = 0; // the turn whose texts the balloon shows
    bool m_eyesClosed = false;
    double m_breath = 0.0;
    Mouth m_mouth = Mouth::Closed;
};

DesktopAgent::DesktopAgent(QStringList searchDirs, std::unique_ptr<SpeechEngine> engine,
                           std::unique_ptr<AudioOutput> output, QObject *parent)
    : QObject(parent)
    , m_searchDirs(std::move(searchDirs))
    , m_voice(std::make_unique<Voice>(std::move(engine), std::move(output)))
{
}

DesktopAgent::~DesktopAgent()
{
    m_characters.clear();
}

void DesktopAgent::setHost(QWidget *host)
{
    m_host = host;
}

QWidget *DesktopAgent::host()
{
    if (m_host)
        return m_host;
    // Nobody gave him a window: he gets a plain one the size of the design.
    if (!m_ownHost) {
        m_ownHost = std::make_unique<QWidget>();
        m_ownHost->setObjectName(QStringLiteral("stage"));
        m_ownHost->resize(785, 556);
        m_ownHost->show();
    }
    return m_ownHost.get();
}

void DesktopAgent::setDesignScale(qreal scale)
{
    if (!(scale > 0) || scale == m_scale)
        return;
    m_scale = scale;
    for (auto &[id, character] : m_characters)
        character->relayout();
}

QList<QRect> DesktopAgent::keepClearRects() const
{
    return m_keepClear ? m_keepClear() : QList<QRect>();
}

void DesktopAgent::startVoice()
{
    m_voice->start();
}

QString DesktopAgent::resolve(const QString &path) const
{
    // The path the program asks for is a Windows one; only its file name counts here.
    QString name = path;
    name = name.mid(name.lastIndexOf(u'\\') + 1);
    name = name.mid(name.lastIndexOf(u'/') + 1);
    for (const QString &dir : m_searchDirs) {
        const QString candidate = QDir(dir).filePath(name);
        if (QFileInfo(candidate).isFile())
            return candidate;
    }
    throw CharacterError(QStringLiteral("File del personaggio non trovato: %1 (cercato in %2)")
                             .arg(path, m_searchDirs.join(QStringLiteral(", "))));
}

void DesktopAgent::Load(const QString &id, const QString &path)
{
    if (m_characters.count(id))
        throw CharacterError(QStringLiteral("Personaggio già caricato: \"%1\"").arg(id));
    m_characters.emplace(id, std::make_unique<DesktopCharacter>(CharacterData::load(resolve(path)), *this, host()));
}

Character &DesktopAgent::item(const QString &id)
{
    const auto it = m_characters.find(id);
    if (it == m_characters.end())
        throw CharacterError(QStringLiteral("Personaggio non caricato: \"%1\"").arg(id));
    return *it->second;
}

void DesktopAgent::shutdown()
{
    m_voice->stop();
    for (auto &[id, character] : m_characters)
        character->shutdown();
}
