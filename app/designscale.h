// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSize>

// Room a window manager takes around a window: its title bar and borders,
// with some to spare, since their size is only known once the window shows.
inline constexpr QSize kWindowDecorations(10, 40);

// How much the whole design (positions, fonts, pictures, Merlin) must shrink
// for the window to fit the screen's free area: 1 when it fits as designed,
// never more, since a larger screen only leaves more room around it.
// `fixed` is what does not scale with the design (the menu bar's height).
qreal designScale(QSize available, QSize design, QSize fixed = {});
