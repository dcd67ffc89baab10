// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktopagent.h"

#include "characterdata.h"
#include "characterqueue.h"
#include "characterrenderer.h"
#include "characterwindow.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>

int speechEstimateMs(const QString &text)
{
    return 400 + 65 * int(text.size());
}

// A character on the desktop: checks and queues the calls, and performs
// them one at a time by drawing and showing the balloon.
class DesktopCharacter : public QObject, public Character, public Performer
{
public:
    explicit DesktopCharacter(CharacterData data)
        : m_data(std::move(data))
        , m_renderer(m_data)
        , m_queue(*this)
    {
        m_frameTimer.setInterval(33);
        connect(&m_frameTimer, &QTimer::timeout, this, [this] { step(); });
        m_finishTimer.setSingleShot(true);
        connect(&m_finishTimer, &QTimer::timeout, this, [this] { finish(); });
        m_blinkTimer.setInterval(4000);
        connect(&m_blinkTimer, &QTimer::timeout, this, [this] { blink(); });
    }

    ~DesktopCharacter() override { shutdown(); }

    void shutdown()
    {
        m_queue.clear();
        m_blinkTimer.stop();
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
            m_blinkTimer.start();
            return finish();
        case CharacterRequest::MoveTo:
            m_window.move(request.x, request.y);
            return finish();
        case CharacterRequest::Height:
            m_height = request.x;
            redraw(true);
            return finish();
        case CharacterRequest::Play:
            m_animation = request.text;
            m_clock.start();
            m_frameTimer.start();
            m_finishTimer.start(m_data.animations.value(m_animation).durationMs);
            return;
        case CharacterRequest::Speak:
            m_balloon.showBeside(request.text, m_window.geometry());
            m_talking = true;
            m_clock.start();
            m_frameTimer.start();
            m_finishTimer.start(speechEstimateMs(request.text));
            return;
        }
    }

    void stop() override
    {
        m_frameTimer.stop();
        m_finishTimer.stop();
        m_done = nullptr;
        endAction();
    }

private:
    void finish()
    {
        m_frameTimer.stop();
        endAction();
        if (auto done = std::exchange(m_done, nullptr))
            done();
    }

    void endAction()
    {
        const bool wasAnimating = !m_animation.isEmpty();
        m_animation.clear();
        m_talking = false;
        m_balloon.hide();
        redraw(wasAnimating);
    }

    void step()
    {
        redraw(!m_animation.isEmpty());
    }

    void blink()
    {
        m_eyesClosed = true;
        redraw(false);
        QTimer::singleShot(150, this, [this] {
            m_eyesClosed = false;
            redraw(false);
        });
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
    CharacterWindow m_window;
    Balloon m_balloon;
    QTimer m_frameTimer;
    QTimer m_finishTimer;
    QTimer m_blinkTimer;
    QElapsedTimer m_clock;
    std::function<void()> m_done;
    QString m_animation;
    int m_height = 128;
    bool m_talking = false;
    bool m_eyesClosed = false;
};

DesktopAgent::DesktopAgent(QStringList searchDirs, QObject *parent)
    : QObject(parent)
    , m_searchDirs(std::move(searchDirs))
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
    m_characters.emplace(id, std::make_unique<DesktopCharacter>(CharacterData::load(resolve(path))));
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
    for (auto &[id, character] : m_characters)
        character->shutdown();
}
