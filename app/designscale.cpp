// SPDX-License-Identifier: GPL-3.0-or-later
#include "designscale.h"

#include <algorithm>
#include <cmath>

qreal designScale(QSize available, QSize design, QSize fixed)
{
    if (available.isEmpty() || design.isEmpty())
        return 1.0;
    const QSize room = available - fixed - kWindowDecorations;
    const qreal across = qreal(room.width()) / design.width();
    const qreal down = qreal(room.height()) / design.height();
    // Below a third nothing can be read any more: better cut off than unreadable.
    return std::clamp(std::min(across, down), 1.0 / 3.0, 1.0);
}

int padGap(int key)
{
    return std::max(2, key / 8);
}

QSize padSize(int key)
{
    const int gap = padGap(key);
    return QSize(kPadColumns * key + (kPadColumns + 1) * gap, kPadRows * key + (kPadRows + 1) * gap);
}

int minimumKeySide(QSize screenPixels, QSizeF screenMillimetres)
{
    if (screenMillimetres.height() > 0 && screenPixels.height() > 0)
        return int(std::ceil(18.0 * screenPixels.height() / screenMillimetres.height()));
    return std::max(64, int(std::ceil(screenPixels.height() / 9.0)));
}

DesignFit fitDesign(QSize room, QSize design, bool withPad, int minimumKey)
{
    DesignFit fit;
    if (room.isEmpty() || design.isEmpty())
        return fit;
    const auto keyAt = [minimumKey](qreal scale) { return std::max(minimumKey, int(std::lround(kDesignKeySide * scale))); };
    qreal scale = std::min(qreal(room.width()) / design.width(), qreal(room.height()) / design.height());
    QSize pad;
    if (withPad) {
        // The pad takes its width from beside the design; a smaller design
        // only makes its keys smaller or the same, so the second pass fits.
        pad = padSize(keyAt(scale));
        scale = std::min(scale, qreal(room.width() - pad.width()) / design.width());
        fit.key = keyAt(scale);
        pad = padSize(fit.key);
    }
    scale = std::max(scale, 1.0 / 3.0);
    fit.scale = scale;
    // Whole pixels, rounded down, so that nothing is cut at the screen's edge.
    const QSize shown(int(design.width() * scale), int(design.height() * scale));
    const int left = std::max(0, (room.width() - shown.width() - pad.width()) / 2);
    fit.design = QRect(QPoint(left, std::max(0, (room.height() - shown.height()) / 2)), shown);
    if (withPad)
        fit.pad = QRect(QPoint(fit.design.right() + 1, std::max(0, (room.height() - pad.height()) / 2)), pad);
    return fit;
}
