// SPDX-License-Identifier: GPL-3.0-or-later
#include "formcanvas.h"

#include <QPainter>
#include <QRegion>
#include <QResizeEvent>

FormCanvas::FormCanvas(QSize designSize, QColor background, QList<Shape> shapesFrontToBack, QWidget *parent)
    : QWidget(parent)
    , m_background(background)
    , m_shapes(std::move(shapesFrontToBack))
    , m_extent(designSize)
{
    setObjectName(QStringLiteral("canvas"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(designSize);
}

void FormCanvas::coverSurface(Drawing draw)
{
    m_drawing = Kept{std::move(draw), m_extent};
    update();
}

void FormCanvas::clearSurface()
{
    // Every key in the answer box clears the surface: only the first has anything to clear,
    // and repainting the whole window for the others would cost each key a full frame.
    if (!m_drawing)
        return;
    m_drawing.reset();
    update();
}

QImage FormCanvas::surfaceImage() const
{
    QImage image(m_extent, QImage::Format_RGB32);
    image.fill(m_background);
    QPainter painter(&image);
    paintSurface(painter);
    return image;
}

void FormCanvas::setScale(qreal scale)
{
    m_scale = scale;
    update();
}

void FormCanvas::resizeEvent(QResizeEvent *event)
{
    // The surface only ever grows, so a drawing survives the window being
    // made smaller and larger again, and one made before the window grew
    // keeps its size.
    m_extent = m_extent.expandedTo((QSizeF(event->size()) / m_scale).toSize());
    QWidget::resizeEvent(event);
}

void FormCanvas::paintSurface(QPainter &painter) const
{
    if (!m_drawing)
        return;
    painter.save();
    // Clipped as the pixels of a surface that size were.
    painter.setClipRect(QRect(QPoint(), m_drawing->extent), Qt::IntersectClip);
    m_drawing->draw(painter, m_drawing->extent);
    painter.restore();
}

QRect FormCanvas::coveredRect() const
{
    if (!m_drawing)
        return {};
    // Only the pixels wholly inside it: a pixel it covers in part keeps the background under it.
    const QSizeF scaled = QSizeF(m_drawing->extent) * m_scale;
    return QRect(0, 0, int(scaled.width()), int(scaled.height()));
}

void FormCanvas::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    // Only the part repainted is drawn again: the character over the window
    // changes small parts of it several times a second.
    painter.setClipRect(event->rect());
    // The background only where the drawing does not hide it: in full screen
    // filling under it too would cost as much as the drawing.
    for (const QRect &bare : QRegion(event->rect()).subtracted(coveredRect()))
        painter.fillRect(bare, m_background);
    painter.scale(m_scale, m_scale);
    paintSurface(painter);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 1));
    // A repaint of a few scattered rectangles (a verdict, the scores, the
    // character's mouth) draws each shape through one plain rectangle at a
    // time, which costs only their pixels: drawn once through all of them, a
    // shape costs as if the whole of it were repainted. A repaint of most of
    // the window draws each shape once.
    const QRegion region = event->region();
    qint64 area = 0;
    for (const QRect &part : region)
        area += qint64(part.width()) * part.height();
    const QTransform design = painter.transform();
    if (area * 2 >= qint64(event->rect().width()) * event->rect().height()) {
        paintShapes(painter, design.inverted().mapRect(QRectF(event->rect())));
        return;
    }
    for (const QRect &part : region) {
        painter.resetTransform();
        painter.setClipRect(part);
        painter.setTransform(design);
        paintShapes(painter, design.inverted().mapRect(QRectF(part)));
    }
}

void FormCanvas::paintShapes(QPainter &painter, const QRectF &where) const
{
    for (auto it = m_shapes.crbegin(); it != m_shapes.crend(); ++it) {
        if (!it->box.adjusted(-1, -1, 1, 1).intersects(where))
            continue;
        painter.setBrush(it->fill);
        if (it->kind == Shape::Rectangle) {
            painter.drawRect(it->box.adjusted(0.5, 0.5, -0.5, -0.5));
        } else {
            const qreal d = qMin(it->box.width(), it->box.height()) - 1;
            QRectF circle(0, 0, d, d);
            circle.moveCenter(it->box.center());
            painter.drawEllipse(circle);
        }
    }
}
