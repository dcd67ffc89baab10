// SPDX-License-Identifier: GPL-3.0-or-later
#include "characterlayer.h"

#include "announcer.h"
#include "characterrenderer.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QEvent>
#include <QLoggingCategory>
#include <QPainter>
#include <QSemaphore>
#include <QThreadPool>
#include <QTimer>
#include <QtMath>

#include <chrono>
#include <cstring>

// Each reveal on the monotonic clock, for matching the words shown with the
// sound recorded (QT_LOGGING_RULES="garivolo.balloon.debug=true").
Q_LOGGING_CATEGORY(lcBalloon, "garivolo.balloon", QtWarningMsg)

namespace {

// A label with no name of its own is named by its whole text, words not yet
// said among them: a screen reader would read the balloon ahead of his voice.
class BalloonAccessible : public QAccessibleWidget
{
public:
    explicit BalloonAccessible(QWidget *balloon)
        : QAccessibleWidget(balloon, QAccessible::StaticText)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Name ? widget()->accessibleName() : QAccessibleWidget::text(t);
    }
};

// Before the first balloon is made: an interface, once asked for, is kept.
QWidget *withBalloonAccessible(QWidget *layer)
{
    static const bool installed = [] {
        QAccessible::installFactory([](const QString &className, QObject *object) -> QAccessibleInterface * {
            if (className == QLatin1String("Balloon") && object && object->isWidgetType())
                return new BalloonAccessible(static_cast<QWidget *>(object));
            return nullptr;
        });
        return true;
    }();
    Q_UNUSED(installed);
    return layer;
}

} // namespace

CharacterLayer::CharacterLayer(QWidget *host, const QString &name)
    : QWidget(host)
{
    setObjectName(name);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    setGeometry(host->rect());
    host->installEventFilter(this);
    raise();
}

bool CharacterLayer::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parent()) {
        if (event->type() == QEvent::Resize)
            setGeometry(parentWidget()->rect());
        // A control added later would otherwise be stacked above him.
        else if (event->type() == QEvent::ChildAdded)
            QTimer::singleShot(0, this, [this] { raise(); });
    }
    return false;
}

void CharacterLayer::setFrame(const QImage &frame, QPoint topLeft)
{
    m_drawn.reset();
    const QRect old = m_rect;
    const QRect now(topLeft, frame.deviceIndependentSize().toSize());
    // Talking changes only his mouth and blinking only his eyes: the window
    // under him is repainted only there.
    if (now == old && frame.size() == m_frame.size() && frame.format() == m_frame.format()
        && frame.devicePixelRatio() == m_frame.devicePixelRatio()) {
        const QRect changed = changedPart(m_frame, frame);
        m_frame = frame;
        if (changed.isValid()) {
            const qreal dpr = frame.devicePixelRatio();
            const QRect logical(QPoint(qFloor(changed.left() / dpr), qFloor(changed.top() / dpr)),
                                QPoint(qCeil((changed.right() + 1) / dpr), qCeil((changed.bottom() + 1) / dpr)));
            update(logical.translated(now.topLeft()));
        }
        return;
    }
    m_frame = frame;
    m_rect = now;
    update(old.united(m_shown).united(m_rect));
    m_shown = m_rect;
}

void CharacterLayer::drawFrame(QSize size, qreal devicePixelRatio, QPoint topLeft,
                               const std::function<QRect(QImage &)> &draw)
{
    const QSize pixels = size * devicePixelRatio;
    if (m_frame.size() != pixels || m_frame.devicePixelRatio() != devicePixelRatio
        || m_frame.format() != QImage::Format_ARGB32_Premultiplied || !m_drawn) {
        m_frame = QImage(); // let go of the old one before the new one is made
        m_frame = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        m_frame.setDevicePixelRatio(devicePixelRatio);
        m_frame.fill(Qt::transparent);
    } else if (m_drawn->isValid()) {
        // Only where the last picture was drawn is there anything to clear.
        const QRect r = m_drawn->intersected(m_frame.rect());
        for (int y = r.top(); y <= r.bottom(); ++y)
            std::memset(m_frame.scanLine(y) + r.left() * 4, 0, size_t(r.width()) * 4);
    }
    // His picture has wide margins for a raised arm or a spell's sparkles:
    // only where he is, and where he was, is drawn again.
    //
    // Qt's raster engine hands each fill of 96 rows or more to the global
    // thread pool in pieces and waits for them, unless it already runs on one
    // of the pool's threads. Drawn there in one go, a frame costs one wake
    // instead of two for every large part he moves, and on two cores the
    // pieces saved nothing. This thread waits, so the frame is not shared.
    QRect drawn;
    QSemaphore done;
    QThreadPool::globalInstance()->start([&] {
        drawn = draw(m_frame);
        done.release();
    });
    done.acquire();
    m_drawn = drawn;
    m_rect = QRect(topLeft, size);
    const qreal dpr = devicePixelRatio;
    const QRect now = drawn.isValid() ? QRect(QPoint(qFloor(drawn.left() / dpr), qFloor(drawn.top() / dpr)),
                                              QPoint(qCeil((drawn.right() + 1) / dpr), qCeil((drawn.bottom() + 1) / dpr)))
                                            .translated(topLeft)
                                      : QRect();
    update(m_shown.united(now));
    m_shown = now;
}

void CharacterLayer::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.drawImage(m_rect.topLeft(), m_frame);
}

Balloon::Balloon(QWidget *layer, const QString &name)
    : QLabel(withBalloonAccessible(layer))
    , m_announcer(new Announcer(this))
{
    m_announcer->setObjectName(name + QLatin1String("Says"));
    setObjectName(QStringLiteral("Balloon"));
    setAccessibleDescription(QStringLiteral("%1 dice").arg(name));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setMargin(8);
    hide();
}

void Balloon::setSpeech(const QString &text, int pixelSize, int maxWidth)
{
    layOut(text, pixelSize, maxWidth);
    // The name is left as it is: a text made longer keeps what was said of it.
    reveal(0);
}

void Balloon::rescale(int pixelSize, int maxWidth)
{
    if (font().pixelSize() == pixelSize)
        return;
    const int said = qMax(0, m_shown);
    layOut(QString(m_text), pixelSize, maxWidth);
    showSaid(said);
}

void Balloon::layOut(const QString &text, int pixelSize, int maxWidth)
{
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(pixelSize);
    // Latin words need no shaping, and the shaper keeps a copy of the font's tables.
    f.setStyleStrategy(QFont::PreferNoShaping);
    setFont(f);
    m_text = text;
    m_shown = -1;
    m_lines.clear();
    m_lineStarts.clear();
    const QFontMetrics metrics(f);
    const int room = maxWidth - 2 * (margin() + 2) - 2;
    // Words stay whole; a line breaks before the word that would not fit.
    int lineStart = 0;
    int lastBreak = -1;
    for (int i = 0; i <= text.size(); ++i) {
        if (i < text.size() && !text.at(i).isSpace())
            continue;
        if (metrics.horizontalAdvance(text.mid(lineStart, i - lineStart)) > room && lastBreak > lineStart) {
            m_lineStarts << lineStart;
            m_lines << text.mid(lineStart, lastBreak - lineStart);
            lineStart = lastBreak + 1;
        }
        lastBreak = i;
    }
    m_lineStarts << lineStart;
    m_lines << text.mid(lineStart);
    int widest = 0;
    for (const QString &line : std::as_const(m_lines))
        widest = qMax(widest, metrics.horizontalAdvance(line));
    const int lines = qMin(int(m_lines.size()), kMaxLines);
    setFixedSize(widest + 2 * (margin() + 2) + 2, lines * metrics.lineSpacing() + 2 * (margin() + 2));
}

void Balloon::reveal(int characters)
{
    if (characters == m_shown)
        return;
    if (characters > m_shown && lcBalloon().isDebugEnabled()) {
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        qCDebug(lcBalloon, "%lld %d %s", qint64(std::chrono::duration_cast<std::chrono::microseconds>(now).count()),
                characters, qUtf8Printable(m_text.left(characters)));
    }
    showSaid(characters);
}

void Balloon::showSaid(int characters)
{
    m_shown = characters;
    int line = 0;
    while (line + 1 < m_lineStarts.size() && m_lineStarts.at(line + 1) <= qMax(0, characters - 1))
        ++line;
    m_firstShown = line / kMaxLines * kMaxLines;
    // The whole page is its text; only the words said so far are drawn.
    setText(m_lines.mid(m_firstShown, kMaxLines).join(u'\n'));
    update();
    // The name follows the words said and only ever grows while he speaks;
    // the announcement, not the name, is what a screen reader speaks.
    const QString said = m_text.left(characters).trimmed();
    if (said.size() > accessibleName().size())
        setAccessibleName(said);
}

void Balloon::paintEvent(QPaintEvent *)
{
    // Drawn here rather than as styled rich text: a new word is then only a
    // few glyphs more, and the words to come keep their places unseen.
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0x40, 0x40, 0x80), 2));
    painter.setBrush(QColor(0xFF, 0xFF, 0xE8));
    painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 10, 10);
    painter.setPen(QColor(0x20, 0x20, 0x20));
    painter.setFont(font());
    const QFontMetrics metrics(font());
    const int inset = margin() + 2;
    int baseline = inset + metrics.ascent();
    for (int i = m_firstShown; i < qMin(m_firstShown + kMaxLines, int(m_lines.size())); ++i) {
        const QString &line = m_lines.at(i);
        painter.drawText(inset, baseline, line.left(qBound(0, m_shown - m_lineStarts.at(i), int(line.size()))));
        baseline += metrics.lineSpacing();
    }
}

void Balloon::announce(const QString &part)
{
    m_announcer->say(part);
}

void Balloon::dismiss()
{
    hide();
    setAccessibleName(QString());
    // Otherwise the balloon shown again would show its announcer with it,
    // and a screen reader would say the last announcement once more.
    m_announcer->hide();
}

QRect balloonPlace(const QSize &balloon, const QRect &character, const QRect &bounds, const QList<QRect> &keepClear)
{
    const auto covered = [&](const QRect &r) {
        qint64 area = 0;
        for (const QRect &k : keepClear) {
            const QRect both = r.intersected(k);
            area += qint64(both.width()) * both.height();
        }
        return area;
    };
    const auto inside = [&bounds](QRect r) {
        if (r.right() > bounds.right())
            r.moveRight(bounds.right());
        if (r.left() < bounds.left())
            r.moveLeft(bounds.left());
        if (r.bottom() > bounds.bottom())
            r.moveBottom(bounds.bottom());
        if (r.top() < bounds.top())
            r.moveTop(bounds.top());
        return r;
    };
    const int gap = 6;
    // Head height first, then lower and higher down his side, then above him.
    QList<QRect> candidates;
    const int head = character.top() + character.height() / 8;
    for (int x : {character.right() + gap, character.left() - gap - balloon.width()}) {
        for (int dy = 0; dy <= character.height(); dy += 4) {
            candidates << QRect(QPoint(x, head + dy), balloon);
            candidates << QRect(QPoint(x, head - dy), balloon);
        }
    }
    for (int dx = 0; dx <= character.width(); dx += 8) {
        candidates << QRect(QPoint(character.left() + dx, character.top() - gap - balloon.height()), balloon);
        candidates << QRect(QPoint(character.left() - dx, character.top() - gap - balloon.height()), balloon);
    }
    QRect best;
    qint64 bestCover = -1;
    for (const QRect &c : std::as_const(candidates)) {
        if (!bounds.contains(c))
            continue;
        const qint64 cover = covered(c);
        if (cover == 0)
            return c;
        if (bestCover < 0 || cover < bestCover) {
            best = c;
            bestCover = cover;
        }
    }
    return bestCover >= 0 ? best : inside(QRect(QPoint(character.right() + gap, head), balloon));
}
