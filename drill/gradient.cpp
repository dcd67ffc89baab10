// SPDX-License-Identifier: GPL-3.0-or-later
#include "gradient.h"

#include <QColor>
#include <QPainter>
#include <QSize>

void paintGradient(QPainter &painter, QSize size, int red, int green)
{
    // The design measures the height in 512 units and draws 2-unit bands; the
    // band edges are rounded to whole rows so that bands tile without gaps.
    // The bands are opaque, so nothing under them shows through.
    constexpr int bands = 256;
    const int height = size.height();
    for (int i = 0; i < bands; ++i) {
        const int top = (i * height + bands / 2) / bands;
        const int bottom = ((i + 1) * height + bands / 2) / bands;
        painter.fillRect(0, top, size.width(), bottom - top, QColor(red, green, i));
    }
}
