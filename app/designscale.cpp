// SPDX-License-Identifier: GPL-3.0-or-later
#include "designscale.h"

#include <algorithm>

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
