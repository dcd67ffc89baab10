// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QPainter;
class QSize;

// The question's background: 256 horizontal bands from blue 0 at the top to
// blue 255 at the bottom, with fixed red and green, over a surface this size.
void paintGradient(QPainter &painter, QSize size, int red, int green);
