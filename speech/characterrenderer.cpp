// SPDX-License-Identifier: GPL-3.0-or-later
#include "characterrenderer.h"

#include "agent.h"

#include <QPainter>
#include <QtMath>

#include <algorithm>
#include <cstring>

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

QRectF CharacterRenderer::box() const
{
    return m_data.frame.isValid() ? m_data.frame : m_svg.viewBoxF();
}

int CharacterRenderer::widthFor(int height) const
{
    const QRectF b = box();
    return qMax(1, qRound(height * b.width() / b.height()));
}

QMargins CharacterRenderer::margins(int height, bool moving) const
{
    if (!moving)
        return QMargins(2, 2, 2, 2);
    const int width = widthFor(height);
    return QMargins(qCeil(width * 0.5), qCeil(height * 0.3), qCeil(width * 0.5), qCeil(height * 0.1));
}

static void applyPose(QPainter &painter, const PartPose &pose, QPointF pivot)
{
    painter.translate(pivot.x() + pose.dx, pivot.y() + pose.dy);
    painter.rotate(pose.rotate);
    painter.scale(pose.scale, pose.scale);
    painter.translate(-pivot);
}

QSize CharacterRenderer::frameSize(int height, bool moving) const
{
    const QMargins m = margins(height, moving);
    return QSize(widthFor(height) + m.left() + m.right(), height + m.top() + m.bottom());
}

QImage CharacterRenderer::frame(int height, const Pose &pose, Face face, qreal devicePixelRatio, bool moving) const
{
    QImage image(frameSize(height, moving) * devicePixelRatio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(Qt::transparent);
    draw(image, height, pose, face, moving);
    // A frame is kept; the engine that painted it, with the buffers of every
    // path it filled, need not be.
    return image.copy();
}

QTransform CharacterRenderer::figureTransform(int height, qreal dpr, bool moving, const PartPose &whole) const
{
    const QRectF box = this->box();
    const QMargins m = margins(height, moving);
    QTransform t;
    t.scale(dpr, dpr);
    t.translate(m.left(), m.top());
    t.scale(height / box.height(), height / box.height());
    t.translate(-box.left(), -box.top());
    // The whole figure moves around the middle of its feet.
    const QRectF art = m_svg.viewBoxF();
    const QPointF pivot(art.center().x(), art.bottom());
    t.translate(pivot.x() + whole.dx, pivot.y() + whole.dy);
    t.rotate(whole.rotate);
    t.scale(whole.scale, whole.scale);
    t.translate(-pivot.x(), -pivot.y());
    return t;
}

template<typename DrawPart>
void CharacterRenderer::drawParts(QPainter &painter, const Pose &asked, Face face, DrawPart drawPart) const
{
    // A breath moves only the parts the pose leaves alone.
    Pose pose = asked;
    if (face.breath > 0) {
        for (auto it = m_data.breath.cbegin(); it != m_data.breath.cend(); ++it) {
            if (pose.contains(it.key()))
                continue;
            const PartPose &b = it.value();
            pose.insert(it.key(), PartPose{b.rotate * face.breath, b.dx * face.breath, b.dy * face.breath,
                                           1.0 + (b.scale - 1.0) * face.breath, b.visible});
        }
    }

    const QString mouth = [&] {
        switch (face.mouth) {
        case Mouth::Open: return m_data.mouthOpen;
        case Mouth::Round: return m_data.mouthRound;
        case Mouth::Wide: return m_data.mouthWide;
        case Mouth::Teeth: return m_data.mouthTeeth;
        case Mouth::Closed: break;
        }
        return m_data.mouthClosed;
    }();
    const QStringList mouths{m_data.mouthClosed, m_data.mouthOpen, m_data.mouthRound, m_data.mouthWide,
                             m_data.mouthTeeth};

    for (const CharacterPart &part : m_data.parts) {
        bool visible = pose.contains(part.id) ? pose.value(part.id).visible : part.visibleAtRest;
        if (part.id == m_data.eyesOpen)
            visible = !face.eyesClosed;
        else if (part.id == m_data.eyesClosed)
            visible = face.eyesClosed;
        else if (mouths.contains(part.id))
            visible = part.id == mouth;
        if (!visible)
            continue;
        painter.save();
        if (!part.follows.isEmpty()) {
            const auto leader = std::find_if(m_data.parts.cbegin(), m_data.parts.cend(),
                                             [&](const CharacterPart &p) { return p.id == part.follows; });
            applyPose(painter, pose.value(leader->id), leader->pivot);
        }
        applyPose(painter, pose.value(part.id), part.pivot);
        drawPart(part.id);
        painter.restore();
    }
}

void CharacterRenderer::draw(QImage &image, int height, const Pose &pose, Face face, bool moving) const
{
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setTransform(figureTransform(height, 1.0, moving, pose.value(QStringLiteral("*"))));
    drawParts(painter, pose, face, [&](const QString &id) { m_svg.render(&painter, id, m_svg.boundsOnElement(id)); });
}

void CharacterRenderer::makeParts(int height, qreal dpr) const
{
    if (height == m_partsHeight && dpr == m_partsDpr && !m_parts.isEmpty())
        return;
    forgetParts();
    m_partsHeight = height;
    m_partsDpr = dpr;
    const QTransform rest = figureTransform(height, dpr, true, {});
    const qreal perUnit = rest.m11();
    for (const CharacterPart &part : m_data.parts) {
        // A part drawn larger in some animation is kept at that size, so that it is as sharp there.
        qreal larger = 1.0;
        for (const Animation &a : m_data.animations) {
            for (const KeyFrame &k : a.keys)
                larger = qMax(larger, k.pose.value(part.id).scale);
        }
        larger = qMin(larger, 3.0);
        const QRectF bounds = m_svg.boundsOnElement(part.id);
        // Its corner on a whole device pixel of the frame at rest: unmoved, it is copied pixel for pixel.
        const QPointF at = rest.map(bounds.topLeft());
        const QPointF corner(std::floor(at.x()) - 1, std::floor(at.y()) - 1);
        const QPointF far = rest.map(bounds.bottomRight());
        const qreal k = larger;
        const QSize size(qCeil((far.x() - corner.x() + 1) * k), qCeil((far.y() - corner.y() + 1) * k));
        PartPicture picture;
        picture.image = QImage(size, QImage::Format_ARGB32_Premultiplied);
        picture.image.fill(Qt::transparent);
        {
            QPainter painter(&picture.image);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.scale(k, k);
            painter.translate(-corner);
            painter.setTransform(rest, true);
            m_svg.render(&painter, part.id, bounds);
        }
        // Without the painting engine the image keeps, and its path buffers.
        picture.image = picture.image.copy();
        const QTransform back = rest.inverted();
        picture.target = QRectF(back.map(corner), QSizeF(size) / (k * perUnit));
        m_parts.insert(part.id, picture);
    }
}

QRect CharacterRenderer::compose(QImage &image, int height, const Pose &pose, Face face, bool moving) const
{
    const qreal dpr = image.devicePixelRatio();
    makeParts(height, dpr);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setTransform(figureTransform(height, 1.0, moving, pose.value(QStringLiteral("*"))));
    QRectF drawn;
    drawParts(painter, pose, face, [&](const QString &id) {
        const PartPicture &picture = m_parts[id];
        painter.drawImage(picture.target, picture.image);
        drawn |= painter.deviceTransform().mapRect(QRectF(picture.target));
    });
    // Smoothing may touch the pixel beyond a part's edge.
    return drawn.toAlignedRect().adjusted(-1, -1, 1, 1).intersected(image.rect());
}

void CharacterRenderer::forgetParts() const
{
    m_parts.clear();
    m_partsHeight = 0;
    m_partsDpr = 0;
}

qsizetype CharacterRenderer::partBytes() const
{
    qsizetype bytes = 0;
    for (const PartPicture &p : m_parts)
        bytes += p.image.sizeInBytes();
    return bytes;
}

QRect changedPart(const QImage &a, const QImage &b)
{
    const int rowBytes = a.width() * 4;
    int top = 0, bottom = a.height() - 1;
    while (top <= bottom && std::memcmp(a.constScanLine(top), b.constScanLine(top), rowBytes) == 0)
        ++top;
    if (top > bottom)
        return {};
    while (std::memcmp(a.constScanLine(bottom), b.constScanLine(bottom), rowBytes) == 0)
        --bottom;
    int left = a.width(), right = -1;
    for (int y = top; y <= bottom; ++y) {
        const auto *pa = reinterpret_cast<const QRgb *>(a.constScanLine(y));
        const auto *pb = reinterpret_cast<const QRgb *>(b.constScanLine(y));
        for (int x = 0; x < left; ++x) {
            if (pa[x] != pb[x]) {
                left = x;
                break;
            }
        }
        for (int x = a.width() - 1; x > right; --x) {
            if (pa[x] != pb[x]) {
                right = x;
                break;
            }
        }
    }
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

int StillPictures::key(const Face &face)
{
    return int(face.eyesClosed) | int(face.mouth) << 1 | int(face.breath * 2) << 4;
}

QImage StillPictures::picture(const Face &face, int height, qreal devicePixelRatio, const Render &render)
{
    if (height != m_height || devicePixelRatio != m_dpr || m_base.isNull()) {
        clear();
        m_height = height;
        m_dpr = devicePixelRatio;
        m_base = render(Face{});
    }
    const int k = key(face);
    if (k == key(Face{}))
        return m_base;
    // A blink changes only his eyes, whatever breath he is at: kept as what
    // differs from that breath with his eyes open, which is small.
    const Face under = face.eyesClosed ? Face{false, face.mouth, face.breath} : Face{};
    const QImage below = picture(under, height, devicePixelRatio, render);
    auto found = m_patches.constFind(k);
    if (found == m_patches.constEnd()) {
        const QImage full = render(face);
        // Every still is drawn in the same frame; one that is not could not be told apart.
        if (full.size() != below.size() || full.format() != below.format() || full.depth() != 32
            || full.devicePixelRatio() != below.devicePixelRatio())
            return full;
        const QRect changed = changedPart(below, full);
        found = m_patches.insert(k, {changed.topLeft(), changed.isValid() ? full.copy(changed) : QImage()});
    }
    if (found->part.isNull())
        return below;
    // Put together each time he is shown so, which takes far less than drawing him.
    QImage composed = below;
    const qsizetype rowBytes = found->part.width() * 4;
    for (int y = 0; y < found->part.height(); ++y)
        std::memcpy(composed.scanLine(found->at.y() + y) + found->at.x() * 4, found->part.constScanLine(y), rowBytes);
    return composed;
}

void StillPictures::clear()
{
    m_base = QImage();
    m_patches.clear();
    m_height = 0;
    m_dpr = 0;
}

qsizetype StillPictures::keptBytes() const
{
    qsizetype bytes = m_base.sizeInBytes();
    for (const Patch &patch : m_patches)
        bytes += patch.part.sizeInBytes();
    return bytes;
}
