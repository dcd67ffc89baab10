// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "characterdata.h"

#include <QImage>
#include <QSvgRenderer>

// Draws the character's parts in a pose, at any height, from its vector art.
class CharacterRenderer
{
public:
    explicit CharacterRenderer(const CharacterData &data);

    struct Face
    {
        bool eyesClosed = false;
        bool mouthOpen = false;
    };

    // Width in pixels for a given height, keeping the art's proportions.
    int widthFor(int height) const;
    // A transparent image of the character, height pixels high.
    QImage frame(int height, const Pose &pose, Face face) const;

private:
    const CharacterData &m_data;
    mutable QSvgRenderer m_svg;
};
