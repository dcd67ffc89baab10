// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QImage>
#include <QList>
#include <QRectF>
#include <QWidget>

// A filled rectangle or circle painted behind every control.
struct Shape
{
    enum Kind { Rectangle, Circle };
    const char *name;
    Kind kind;
    QRectF box; // pixels
    QColor fill;
};

// The window's client area: a persistent drawing surface under the shapes,
// under the controls. What is drawn on the surface stays until it is cleared.
class FormCanvas : public QWidget
{
    Q_OBJECT
public:
    FormCanvas(QSize designSize, QColor background, QList<Shape> shapesFrontToBack, QWidget *parent);

    QImage &surface() { return m_surface; }
    // Fills the surface with the background colour and repaints.
    void clearSurface();
    // Call after drawing on the surface.
    void surfaceChanged() { update(); }
    // The surface and the shapes keep their design coordinates and are drawn this much smaller or larger.
    void setScale(qreal scale);
    qreal scale() const { return m_scale; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QColor m_background;
    QList<Shape> m_shapes;
    QImage m_surface;
    qreal m_scale = 1.0;
};
