// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>

// Relative luminance of a colour, 0 for black to 1 for white, as legibility
// guidelines measure it (sRGB with its gamma undone).
double relativeLuminance(const QColor &colour);

// How far apart two colours stand for reading: 1 (the same) to 21 (black on white).
double contrastRatio(const QColor &a, const QColor &b);
