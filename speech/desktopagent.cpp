// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktopagent.h"

#include "characterdata.h"
#include "characterlayer.h"
#include "characterperformer.h"
#include "characterrenderer.h"
#include "voice.h"

#include <QDir>
#include <QFileInfo>

#include <optional>

// A character as the window shows him: his pictures on a layer over the
// host and his balloon, drawn as his performer asks.
class CharacterView : public CharacterStage
{
public:
    CharacterView(const CharacterData &data, DesktopAgent &agent, QWidget *host)
        : m_data(data)
        , m_renderer(m_data)
        , m_agent(agent)
        , m_layer(new CharacterLayer(host, m_data.name))
        , m_balloon(new Balloon(m_layer, m_data.name))
    {
        m_layer->hide();
    }

    ~CharacterView() override { delete m_layer.data(); }

    void showFigure(const Figure &figure) override
    {
        drawFigure(figure);
        m_layer->show();
        m_layer->raise();
    }

    void hideFigure() override
    {
        if (m_layer)
            m_layer->hide();
    }

    void drawFigure(const Figure &figure) override
    {
        const bool resized = figure.height != m_figure.height;
        m_figure = figure;
        if (resized)
            relayout();
        else
            redraw();
    }

    void showBalloon(const QString &text, int said) override
    {
        m_balloon->setSpeech(text, qRound(m_data.life.balloonTextPx * m_agent.designScale()),
                             qRound(m_data.life.balloonWidthPx * m_agent.designScale()));
        m_balloon->reveal(said);
        placeBalloon();
        m_balloon->show();
        m_balloon->raise();
    }

    void revealBalloon(int said) override { m_balloon->reveal(said); }
    void announce(const QString &part) override { m_balloon->announce(part); }

    void dismissBalloon() override
    {
        if (m_balloon)
            m_balloon->dismiss();
    }

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

    QRect figureRect() const
    {
        const qreal s = m_agent.designScale();
        const QPointF p = (m_figure.pos - QPointF(DesktopAgent::clientOrigin())) * s;
        const int h = qMax(1, qRound(m_figure.height * s));
        return QRect(p.toPoint(), QSize(m_renderer.widthFor(h), h));
    }

private:
    void redraw()
    {
        // Nothing to draw before the performer first shows him.
        if (!m_layer || m_figure.height <= 0)
            return;
        const qreal s = m_agent.designScale();
        const int h = qMax(1, qRound(m_figure.height * s));
        const qreal dpr = m_layer->devicePixelRatioF();
        const bool moving = !m_figure.animation.isEmpty();
        const CharacterFace &face = m_figure.face;
        const QMargins m = m_renderer.margins(h, moving);
        const QPoint topLeft = figureRect().topLeft() - QPoint(m.left(), m.top());
        if (!moving) {
            // Every handler shows and places him again, where he already is.
            const Still still{face, h, dpr, topLeft};
            if (m_stillShown == still)
                return;
            m_stillShown = still;
            // At rest or talking the picture is one of a few; each is drawn once until his size changes.
            m_layer->setFrame(m_stills.picture(face, h, dpr, [&](const CharacterFace &still) {
                return m_renderer.frame(h, {}, still, dpr, false);
            }), topLeft);
        } else {
            m_stillShown.reset();
            const Pose pose = m_data.poseAt(m_figure.animation, m_figure.animationMs);
            m_layer->drawFrame(m_renderer.frameSize(h, true), dpr, topLeft,
                               [&](QImage &image) { return m_renderer.compose(image, h, pose, face, true); });
        }
    }

    void placeBalloon()
    {
        const QList<QRect> keep = m_agent.keepClearRects();
        m_balloon->setGeometry(balloonPlace(m_balloon->size(), figureRect(), m_layer->rect(), keep));
    }

    const CharacterData &m_data;
    CharacterRenderer m_renderer;
    DesktopAgent &m_agent;
    QPointer<CharacterLayer> m_layer;
    QPointer<Balloon> m_balloon;
    Figure m_figure;
    StillPictures m_stills;
    // The still picture on the layer now, if it shows one.
    struct Still
    {
        CharacterFace face;
        int height;
        qreal dpr;
        QPoint topLeft;
        bool operator==(const Still &) const = default;
    };
    std::optional<Still> m_stillShown;
};

// A loaded character: his file, his view and his performer, which speaks through the agent's voice.
struct DesktopAgent::Loaded
{
    Loaded(CharacterData loaded, DesktopAgent &agent, QWidget *host)
        : data(std::move(loaded))
        , view(data, agent, host)
        , performer(data, agent.voice(), view)
    {
    }
    ~Loaded() { performer.shutdown(); }

    const CharacterData data;
    CharacterView view;
    CharacterPerformer performer;
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
        character->view.relayout();
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
    m_characters.emplace(id, std::make_unique<Loaded>(CharacterData::load(resolve(path)), *this, host()));
}

Character &DesktopAgent::item(const QString &id)
{
    const auto it = m_characters.find(id);
    if (it == m_characters.end())
        throw CharacterError(QStringLiteral("Personaggio non caricato: \"%1\"").arg(id));
    return it->second->performer;
}

void DesktopAgent::shutdown()
{
    m_voice->stop();
    for (auto &[id, character] : m_characters)
        character->performer.shutdown();
}
