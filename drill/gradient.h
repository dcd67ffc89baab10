// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QImage;

// The question's background: 256 horizontal bands from blue 0 at the top to
// blue 255 at the bottom, with fixed red and green, over the whole surface.
void paintGradient(QImage &surface, int red, int green);
