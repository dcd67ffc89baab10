// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QRect>
#include <QSize>
#include <QSizeF>

// Room a window manager takes around a window: its title bar and borders,
// with some to spare, since their size is only known once the window shows.
inline constexpr QSize kWindowDecorations(10, 40);

// How much the whole design (positions, fonts, pictures, Merlin) must shrink
// for the window to fit the screen's free area: 1 when it fits as designed,
// never more, since a window of its own only leaves more room around it.
// `fixed` is what does not scale with the design (the menu bar's height).
qreal designScale(QSize available, QSize design, QSize fixed = {});

// The number pad: three keys across and four down, with a gap of an eighth of a key around each.
inline constexpr int kPadColumns = 3;
inline constexpr int kPadRows = 4;
int padGap(int key);
QSize padSize(int key);

// The shortest a key may be to be hit with a finger: 18 mm where the screen's
// size is known, else a ninth of its height (and never under 64 pixels).
int minimumKeySide(QSize screenPixels, QSizeF screenMillimetres);

// Full screen or maximised: the design as large as fits `room`, never
// stretched, with the pad (when shown) beside it (under it on an upright
// screen), the two centred together.
struct DesignFit
{
    qreal scale = 1.0;
    QRect design;
    QRect pad; // empty when no pad is shown
    int key = 0;
};
// A key of the fitted pad is as large as the design's own large type at that
// scale, and at least `minimumKey`.
inline constexpr int kDesignKeySide = 65;
DesignFit fitDesign(QSize room, QSize design, bool withPad, int minimumKey);
