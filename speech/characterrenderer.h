// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "characterdata.h"
#include "speechengine.h"

#include <QHash>
#include <QImage>
#include <QMargins>
#include <QSvgRenderer>

#include <functional>

// Draws the character's parts in a pose, at any height, from its vector art.
class CharacterRenderer
{
public:
    explicit CharacterRenderer(const CharacterData &data);

    using Face = CharacterFace;

    // Width in pixels of his frame for a given height, keeping the art's proportions.
    int widthFor(int height) const;
    // The room drawn around his frame: while he moves, enough that a raised
    // arm or the sparkles of a spell are never cut off; at rest he stays
    // inside his frame and the pictures kept of him stay small.
    QMargins margins(int height, bool moving = true) const;
    // A transparent image of the character whose frame is height logical
    // pixels high, with the margins around it, at the given device pixel ratio.
    QImage frame(int height, const Pose &pose, Face face, qreal devicePixelRatio = 1.0, bool moving = true) const;
    // The same, drawn on a transparent image already of that size and ratio.
    void draw(QImage &image, int height, const Pose &pose, Face face, bool moving = true) const;
    // The same, put together from a picture of each part drawn once at this
    // height and ratio: what a moving frame costs is then a few image copies,
    // not the whole art drawn again. He looks the same to a level or two of a
    // pixel's colour; a part an animation enlarges is kept sharper to match.
    // Returns where in the image, in its pixels, anything may have been drawn.
    QRect compose(QImage &image, int height, const Pose &pose, Face face, bool moving = true) const;
    // The logical size of such an image.
    QSize frameSize(int height, bool moving = true) const;
    // Lets go of the parts' pictures until compose needs them again.
    void forgetParts() const;
    qsizetype partBytes() const;

private:
    QRectF box() const;
    // The transform from art units to the image's device pixels, for a pose of the whole figure.
    QTransform figureTransform(int height, qreal dpr, bool moving, const PartPose &whole) const;
    template<typename DrawPart>
    void drawParts(QPainter &painter, const Pose &pose, Face face, DrawPart drawPart) const;
    void makeParts(int height, qreal dpr) const;

    struct PartPicture
    {
        QImage image;
        QRectF target; // where it lies in art units
    };

    const CharacterData &m_data;
    mutable QSvgRenderer m_svg;
    mutable QHash<QString, PartPicture> m_parts;
    mutable int m_partsHeight = 0;
    mutable qreal m_partsDpr = 0;
};

// The part of two 32-bit pictures of the same size and format that differs,
// in device pixels; empty when they are the same.
QRect changedPart(const QImage &a, const QImage &b);

// The few pictures of him at rest or talking, each drawn once and kept
// small: the one with his everyday face in full, every other one as the
// rectangle where it differs from that one (his mouth, or his breathing
// chest) or, for a blink, from the same breath with his eyes open.
class StillPictures
{
public:
    using Face = CharacterRenderer::Face;
    // Draws him still with a face, at the height and ratio asked for.
    using Render = std::function<QImage(const Face &face)>;

    // The picture of him with this face (breathing in half steps) at this
    // height and pixel ratio, drawn by render only the first time it is asked
    // for at them; another height or ratio forgets all that was kept.
    QImage picture(const Face &face, int height, qreal devicePixelRatio, const Render &render);
    void clear();
    // The bytes of pixels kept.
    qsizetype keptBytes() const;

private:
    struct Patch
    {
        QPoint at; // device pixels
        QImage part;
    };
    static int key(const Face &face);

    int m_height = 0;
    qreal m_dpr = 0;
    QImage m_base;
    QHash<int, Patch> m_patches;
};
