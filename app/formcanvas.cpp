// SPDX-License-Identifier: GPL-3.0-or-later
#include "formcanvas.h"

#include <QPainter>
#include <QResizeEvent>

FormCanvas::FormCanvas(QSize designSize, QColor background, QList<Shape> shapesFrontToBack, QWidget *parent)
    : QWidget(parent)
    , m_background(background)
    , m_shapes(std::move(shapesFrontToBack))
    , m_surface(designSize, QImage::Format_RGB32)
{
    setObjectName(QStringLiteral("canvas"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_surface.fill(m_background);
    resize(designSize);
}

void FormCanvas::clearSurface()
{
    m_surface.fill(m_background);
    update();
}

void FormCanvas::setScale(qreal scale)
{
    m_scale = scale;
    update();
}

void FormCanvas::resizeEvent(QResizeEvent *event)
{
    // The surface only ever grows, so a drawing survives the window being made smaller and larger again.
    const QSize wanted = m_surface.size().expandedTo((QSizeF(event->size()) / m_scale).toSize());
    if (wanted != m_surface.size()) {
        QImage bigger(wanted, m_surface.format());
        bigger.fill(m_background);
        QPainter(&bigger).drawImage(0, 0, m_surface);
        m_surface = bigger;
    }
    QWidget::resizeEvent(event);
}

void FormCanvas::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    if (m_scale == 1.0) {
        painter.drawImage(event->rect(), m_surface, event->rect());
    } else {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.scale(m_scale, m_scale);
        painter.drawImage(0, 0, m_surface);
    }
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 1));
    for (auto it = m_shapes.crbegin(); it != m_shapes.crend(); ++it) {
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
