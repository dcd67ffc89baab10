// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QImage>
#include <QList>
#include <QRectF>
#include <QWidget>

#include <functional>
#include <optional>

class QPainter;

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

    using Drawing = std::function<void(QPainter &painter, QSize size)>;
    // Covers the whole surface as large as it is now with an opaque drawing,
    // in design coordinates, and repaints. The drawing keeps that extent when
    // the window grows later. It is kept and drawn again on every repaint, so
    // it must draw the same each time: give it values, not references.
    void coverSurface(Drawing draw);
    // Fills the surface with the background colour and repaints.
    void clearSurface();
    // What is on the surface, at design size, without the shapes.
    QImage surfaceImage() const;
    // The surface and the shapes keep their design coordinates and are drawn this much smaller or larger.
    void setScale(qreal scale);
    qreal scale() const { return m_scale; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    struct Kept
    {
        Drawing draw;
        QSize extent;
    };
    void paintSurface(QPainter &painter) const;
    // The shapes that reach into this part of the design.
    void paintShapes(QPainter &painter, const QRectF &where) const;
    // The part of the widget the drawing hides, in whole pixels.
    QRect coveredRect() const;

    QColor m_background;
    QList<Shape> m_shapes;
    // The surface is kept as the drawing made on it rather than as pixels:
    // a window-sized image would be the largest thing the program holds, for
    // a few hundred rectangles that are as quick to draw again under the
    // small parts that are repainted.
    std::optional<Kept> m_drawing;
    // How large the surface has ever been, in design pixels.
    QSize m_extent;
    qreal m_scale = 1.0;
};
