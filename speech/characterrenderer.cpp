// SPDX-License-Identifier: GPL-3.0-or-later
#include "characterrenderer.h"

#include "agent.h"

#include <QPainter>

#include <algorithm>

CharacterRenderer::CharacterRenderer(const CharacterData &data)
    : m_data(data)
    , m_svg(data.art)
{
    if (!m_svg.isValid())
        throw CharacterError(QStringLiteral("File del personaggio %1: disegno SVG non valido").arg(data.filePath));
    for (const CharacterPart &part : data.parts) {
        if (!m_svg.elementExists(part.id))
            throw CharacterError(QStringLiteral("File del personaggio %1: il disegno non ha la parte \"%2\"")
                                     .arg(data.filePath, part.id));
    }
}

int CharacterRenderer::widthFor(int height) const
{
    const QRectF box = m_svg.viewBoxF();
    return qMax(1, qRound(height * box.width() / box.height()));
}

static void applyPose(QPainter &painter, const PartPose &pose, QPointF pivot)
{
    painter.translate(pivot.x() + pose.dx, pivot.y() + pose.dy);
    painter.rotate(pose.rotate);
    painter.scale(pose.scale, pose.scale);
    painter.translate(-pivot);
}

QImage CharacterRenderer::frame(int height, const Pose &pose, Face face) const
{
    const QRectF box = m_svg.viewBoxF();
    QImage image(widthFor(height), height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(height / box.height(), height / box.height());
    painter.translate(-box.topLeft());
    // The whole figure moves around the middle of its feet.
    applyPose(painter, pose.value(QStringLiteral("*")), QPointF(box.center().x(), box.bottom()));

    for (const CharacterPart &part : m_data.parts) {
        bool visible = pose.contains(part.id) ? pose.value(part.id).visible : part.visibleAtRest;
        if (part.id == m_data.eyesOpen)
            visible = !face.eyesClosed;
        else if (part.id == m_data.eyesClosed)
            visible = face.eyesClosed;
        else if (part.id == m_data.mouthClosed)
            visible = !face.mouthOpen;
        else if (part.id == m_data.mouthOpen)
            visible = face.mouthOpen;
        if (!visible)
            continue;
        painter.save();
        if (!part.follows.isEmpty()) {
            const auto leader = std::find_if(m_data.parts.cbegin(), m_data.parts.cend(),
                                             [&](const CharacterPart &p) { return p.id == part.follows; });
            applyPose(painter, pose.value(leader->id), leader->pivot);
        }
        applyPose(painter, pose.value(part.id), part.pivot);
        m_svg.render(&painter, part.id, m_svg.boundsOnElement(part.id));
        painter.restore();
    }
    return image;
}
