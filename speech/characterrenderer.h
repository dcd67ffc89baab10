// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "characterdata.h"
#include "speechengine.h"

#include <QImage>
#include <QMargins>
#include <QSvgRenderer>

// Draws the character's parts in a pose, at any height, from its vector art.
class CharacterRenderer
{
public:
    explicit CharacterRenderer(const CharacterData &data);

    struct Face
    {
        bool eyesClosed = false;
        Mouth mouth = Mouth::Closed;
        double breath = 0.0; // 0 at rest, 1 at the top of a breath
    };

    // Width in pixels of his frame for a given height, keeping the art's proportions.
    int widthFor(int height) const;
    // The room drawn around his frame: while he moves, enough that a raised
    // arm or the sparkles of a spell are never cut off; at rest he stays
    // inside his frame and the pictures kept of him stay small.
    QMargins margins(int height, bool moving = true) const;
    // A transparent image of the character whose frame is height logical
    // pixels high, with the margins around it, at the given device pixel ratio.
    QImage frame(int height, const Pose &pose, Face face, qreal devicePixelRatio = 1.0, bool moving = true) const;

private:
    QRectF box() const;

    const CharacterData &m_data;
    mutable QSvgRenderer m_svg;
};
