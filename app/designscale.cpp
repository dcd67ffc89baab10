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
    const auto scaleIn = [design](int width, int height) {
        return std::min(qreal(width) / design.width(), qreal(height) / design.height());
    };
    qreal scale = scaleIn(room.width(), room.height());
    bool below = false;
    if (withPad) {
        // The pad takes its room beside the design, or under it on a screen
        // standing upright; a smaller design only makes its keys smaller or
        // the same, so the second measure fits.
        const QSize first = padSize(keyAt(scale));
        const qreal beside = scaleIn(room.width() - first.width(), room.height());
        const qreal under = scaleIn(room.width(), room.height() - first.height());
        below = under > beside;
        scale = std::max(beside, under);
        fit.key = keyAt(scale);
    }
    scale = std::max(scale, 1.0 / 3.0);
    fit.scale = scale;
    const QSize pad = withPad ? padSize(fit.key) : QSize();
    // Whole pixels, rounded down, so that nothing is cut at the screen's edge.
    const QSize shown(int(design.width() * scale), int(design.height() * scale));
    if (below) {
        const int top = std::max(0, (room.height() - shown.height() - pad.height()) / 2);
        fit.design = QRect(QPoint(std::max(0, (room.width() - shown.width()) / 2), top), shown);
        fit.pad = QRect(QPoint(std::max(0, (room.width() - pad.width()) / 2), fit.design.bottom() + 1), pad);
        return fit;
    }
    const int left = std::max(0, (room.width() - shown.width() - pad.width()) / 2);
    fit.design = QRect(QPoint(left, std::max(0, (room.height() - shown.height()) / 2)), shown);
    if (withPad)
        fit.pad = QRect(QPoint(fit.design.right() + 1, std::max(0, (room.height() - pad.height()) / 2)), pad);
    return fit;
}
