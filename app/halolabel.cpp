// SPDX-License-Identifier: GPL-3.0-or-later
#include "halolabel.h"

#include "contrast.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace {
// Keeps the background three pixels away from every glyph edge, smoothing included.
constexpr qreal kHaloPen = 5.0;
} // namespace

HaloLabel::HaloLabel(const QString &text, QWidget *parent)
    : QLabel(text, parent)
{
}

void HaloLabel::setHalo(bool on)
{
    m_halo = on;
    // A label that fits its caption leaves the halo room to show at both ends; above and
    // below, the font's own leading has room for it, and the label keeps its designed height.
    m_haloRoom = on ? qCeil(kHaloPen / 2) : 0;
    updateGeometry();
    update();
}

void HaloLabel::setElideWidth(int width)
{
    m_elideWidth = width;
    updateGeometry();
    update();
}

QColor HaloLabel::haloFor(const QColor &text)
{
    return contrastRatio(text, Qt::black) >= contrastRatio(text, Qt::white) ? QColor(Qt::black) : QColor(Qt::white);
}

QRect HaloLabel::textRoom() const
{
    const int side = margin() + m_haloRoom;
    return contentsRect().adjusted(side, margin(), -side, -margin());
}

QSize HaloLabel::sizeHint() const
{
    QSize size = QLabel::sizeHint() + QSize(2 * m_haloRoom, 0);
    if (m_elideWidth > 0)
        size.setWidth(qMin(size.width(), m_elideWidth));
    return size;
}

QSize HaloLabel::minimumSizeHint() const
{
    QSize size = QLabel::minimumSizeHint() + QSize(2 * m_haloRoom, 0);
    if (m_elideWidth > 0)
        size.setWidth(qMin(size.width(), m_elideWidth));
    return size;
}

QStringList HaloLabel::shownLines() const
{
    QStringList lines = text().split(u'\n');
    const int room = textRoom().width();
    for (QString &line : lines) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (m_elideWidth > 0)
            line = fontMetrics().elidedText(line, Qt::ElideRight, room);
    }
    return lines;
}

bool HaloLabel::elided() const
{
    QString whole = text();
    whole.remove(u'\r');
    return shownLines().join(u'\n') != whole;
}

void HaloLabel::paintEvent(QPaintEvent *event)
{
    const QColor ink = palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText);
    const qreal dpr = devicePixelRatioF();
    // Merlin moves over some labels many times a second: the caption, drawn
    // as outlines and ringed, is drawn once and each repaint copies it.
    const QString key = text() + u'\x1f' + font().key() + u'\x1f' + ink.name(QColor::HexArgb)
                        + u'\x1f' + QString::number(int(alignment())) + u'\x1f' + QString::number(m_halo)
                        + u'\x1f' + QString::number(m_elideWidth) + u'\x1f' + QString::number(margin());
    if (m_drawn.isNull() || m_drawnKey != key || m_drawn.size() != size() * dpr || m_drawn.devicePixelRatio() != dpr) {
        m_drawn = QImage(); // let go of the old one before the new one is made
        m_drawn = QImage(size() * dpr, QImage::Format_ARGB32_Premultiplied);
        m_drawn.setDevicePixelRatio(dpr);
        m_drawn.fill(Qt::transparent);
        m_drawnKey = key;
        QPainter caption(&m_drawn);
        paintCaption(caption, ink);
    }
    QPainter painter(this);
    painter.setClipRegion(event->region());
    painter.drawImage(0, 0, m_drawn);
    // The frame over the halo, so that the box stays as drawn.
    drawFrame(&painter);
}

void HaloLabel::paintCaption(QPainter &painter, const QColor &ink) const
{
    const QRect room = textRoom();
    const QFontMetricsF metrics(font());
    const QStringList lines = shownLines();

    QPainterPath path;
    const qreal lineHeight = metrics.lineSpacing();
    const qreal blockHeight = lines.size() * lineHeight - metrics.leading();
    qreal top = room.top();
    if (alignment() & Qt::AlignBottom)
        top = room.bottom() + 1 - blockHeight;
    else if (alignment() & Qt::AlignVCenter)
        top = room.top() + (room.height() - blockHeight) / 2;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const qreal width = metrics.horizontalAdvance(lines[i]);
        qreal left = room.left();
        if (alignment() & Qt::AlignHCenter)
            left = room.left() + (room.width() - width) / 2;
        else if (alignment() & Qt::AlignRight)
            left = room.right() + 1 - width;
        path.addText(QPointF(left, top + i * lineHeight + metrics.ascent()), font(), lines[i]);
    }

    painter.setRenderHint(QPainter::Antialiasing);
    if (m_halo)
        painter.strokePath(path, QPen(haloFor(ink), kHaloPen, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.fillPath(path, ink);
}
