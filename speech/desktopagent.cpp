// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktopagent.h"

#include "characterdata.h"
#include "characterqueue.h"
#include "characterrenderer.h"
#include "characterwindow.h"
#include "voice.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>

int speechEstimateMs(const QString &text)
{
    return 400 + 65 * int(text.size());
}

// A character on the desktop: checks and queues the calls, and performs
// them one at a time by drawing, gliding, speaking and showing the balloon.
class DesktopCharacter : public QObject, public Character, public Performer
{
public:
    DesktopCharacter(CharacterData data, Voice &voice, std::function<QRect()> keepClear)
        : m_data(std::move(data))
        , m_renderer(m_data)
        , m_queue(*this)
        , m_voice(voice)
        , m_keepClear(std::move(keepClear))
    {
        // About 30 frames a second while something moves; a few while he only breathes.
        m_frameTimer.setInterval(33);
        connect(&m_frameTimer, &QTimer::timeout, this, [this] { step(); });
        m_idleTimer.setInterval(250);
        connect(&m_idleTimer, &QTimer::timeout, this, [this] { idle(); });
        m_finishTimer.setSingleShot(true);
        connect(&m_finishTimer, &QTimer::timeout, this, [this] { finish(); });
        m_voice.setVoice(m_data.voice);
        m_idleClock.start();
    }

    ~DesktopCharacter() override { shutdown(); }

    void shutdown()
    {
        m_queue.clear();
        m_idleTimer.stop();
        m_window.hide();
        m_balloon.hide();
    }

    void Show() override { m_queue.enqueue({CharacterRequest::Show}); }
    void MoveTo(int x, int y) override { m_queue.enqueue({CharacterRequest::MoveTo, x, y}); }
    void setHeight(int height) override
    {
        if (height <= 0 || height > 32767)
            throw CharacterError(QStringLiteral("Altezza del personaggio non valida: %1").arg(height));
        m_queue.enqueue({CharacterRequest::Height, height});
    }
    void Play(const QString &animation) override
    {
        if (!m_data.animations.contains(animation))
            throw CharacterError(QStringLiteral("Animazione sconosciuta: \"%1\"").arg(animation));
        m_queue.enqueue({CharacterRequest::Play, 0, 0, animation});
    }
    void Speak(const QString &text) override { m_queue.enqueue({CharacterRequest::Speak, 0, 0, text}); }

    void begin(const CharacterRequest &request, std::function<void()> done) override
    {
        m_done = std::move(done);
        switch (request.kind) {
        case CharacterRequest::Show:
            redraw(true);
            m_window.show();
            m_idleTimer.start();
            return finish();
        case CharacterRequest::MoveTo:
            if (!m_window.isVisible() || m_window.pos() == QPoint(request.x, request.y)) {
                m_window.move(request.x, request.y);
                return finish();
            }
            m_glideFrom = m_window.pos();
            m_glideTo = QPoint(request.x, request.y);
            startAction(qBound(200, int(QLineF(m_glideFrom, m_glideTo).length() * 1.5), 900));
            return;
        case CharacterRequest::Height:
            m_height = request.x;
            redraw(true);
            return finish();
        case CharacterRequest::Play:
            m_animation = request.text;
            startAction(m_data.animations.value(m_animation).durationMs);
            return;
        case CharacterRequest::Speak:
            m_balloon.showBeside(request.text, m_window.geometry(), m_keepClear ? m_keepClear() : QRect());
            m_voice.say(
                request.text,
                [this](const Utterance &u) {
                    m_words = u.words;
                    if (!m_words.isEmpty())
                        m_balloon.reveal(0);
                    m_talking = true;
                    m_clock.start();
                    m_frameTimer.start();
                },
                [this] { finish(); });
            return;
        }
    }

    void stop() override
    {
        m_voice.stop();
        m_frameTimer.stop();
        m_finishTimer.stop();
        m_done = nullptr;
        endAction();
    }

private:
    void startAction(int durationMs)
    {
        m_clock.start();
        m_frameTimer.start();
        m_finishTimer.start(durationMs);
        m_actionMs = durationMs;
    }

    void finish()
    {
        m_frameTimer.stop();
        if (!m_glideTo.isNull())
            m_window.move(m_glideTo);
        endAction();
        if (auto done = std::exchange(m_done, nullptr))
            done();
    }

    void endAction()
    {
        const bool wasAnimating = !m_animation.isEmpty();
        m_animation.clear();
        m_glideTo = QPoint();
        m_talking = false;
        m_words.clear();
        m_balloon.hide();
        redraw(wasAnimating);
    }

    void step()
    {
        const int elapsed = int(m_clock.elapsed());
        if (!m_glideTo.isNull()) {
            const double f = qBound(0.0, double(elapsed) / m_actionMs, 1.0);
            const double eased = f * f * (3 - 2 * f);
            m_window.move(m_glideFrom + (m_glideTo - m_glideFrom) * eased);
            return;
        }
        if (m_talking && !m_words.isEmpty()) {
            int said = 0;
            for (const Utterance::Word &w : std::as_const(m_words)) {
                if (w.atMs <= elapsed)
                    said = w.textEnd;
            }
            m_balloon.reveal(said);
        }
        redraw(!m_animation.isEmpty());
    }

    void idle()
    {
        if (m_frameTimer.isActive())
            return;
        // A blink every four seconds; it stays inside the silhouette, so no new mask.
        const qint64 t = m_idleClock.elapsed() % 4000;
        const bool closed = t < 250;
        if (closed != m_eyesClosed) {
            m_eyesClosed = closed;
            redraw(false);
        }
    }

    void redraw(bool silhouetteChanged)
    {
        const int elapsed = int(m_clock.isValid() ? m_clock.elapsed() : 0);
        const Pose pose = m_animation.isEmpty() ? Pose{} : m_data.poseAt(m_animation, elapsed);
        // The mouth opens and closes about five times a second while talking.
        const bool mouthOpen = m_talking && (elapsed / 100) % 2 == 0;
        m_window.setFrame(m_renderer.frame(m_height, pose, {m_eyesClosed, mouthOpen}), silhouetteChanged);
    }

    CharacterData m_data;
    CharacterRenderer m_renderer;
    CharacterQueue m_queue;
    Voice &m_voice;
    std::function<QRect()> m_keepClear;
    CharacterWindow m_window;
    Balloon m_balloon;
    QTimer m_frameTimer;
    QTimer m_finishTimer;
    QTimer m_idleTimer;
    QElapsedTimer m_clock;
    QElapsedTimer m_idleClock;
    std::function<void()> m_done;
    QString m_animation;
    QList<Utterance::Word> m_words;
    QPoint m_glideFrom, m_glideTo;
    int m_actionMs = 0;
    int m_height = 128;
    bool m_talking = false;
    bool m_eyesClosed = false;
};

DesktopAgent::DesktopAgent(QStringList searchDirs, std::unique_ptr<SpeechEngine> engine, bool sound,
                           QObject *parent)
    : QObject(parent)
    , m_searchDirs(std::move(searchDirs))
    , m_voice(std::make_unique<Voice>(std::move(engine), VoiceSettings{}, sound))
{
}

DesktopAgent::~DesktopAgent() = default;

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
    m_characters.emplace(id, std::make_unique<DesktopCharacter>(CharacterData::load(resolve(path)), *m_voice,
                                                                m_keepClear));
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
