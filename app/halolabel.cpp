// SPDX-License-Identifier: GPL-3.0-or-later
#include "halolabel.h"

#include "contrast.h"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace {
// Keeps the background three pixels away from every glyph edge, smoothing included.
constexpr qreal kHaloPen = 5.0;
} // namespace

HaloLabel::HaloLabel(const QString &text, QWidget *parent)
    : QLabel(text, parent)
{
}

void HaloLabel::setHalo(bool on)
{
    m_halo = on;
    // A label that fits its caption leaves the halo room to show at both ends; above and
    // below, the font's own leading has room for it, and the label keeps its designed height.
    m_haloRoom = on ? qCeil(kHaloPen / 2) : 0;
    updateGeometry();
    update();
}

void HaloLabel::setElideWidth(int width)
{
    m_elideWidth = width;
    updateGeometry();
    update();
}

QColor HaloLabel::haloFor(const QColor &text)
{
    return contrastRatio(text, Qt::black) >= contrastRatio(text, Qt::white) ? QColor(Qt::black) : QColor(Qt::white);
}

QRect HaloLabel::textRoom() const
{
    const int side = margin() + m_haloRoom;
    return contentsRect().adjusted(side, margin(), -side, -margin());
}

QSize HaloLabel::sizeHint() const
{
    QSize size = QLabel::sizeHint() + QSize(2 * m_haloRoom, 0);
    if (m_elideWidth > 0)
        size.setWidth(qMin(size.width(), m_elideWidth));
    return size;
}

QSize HaloLabel::minimumSizeHint() const
{
    QSize size = QLabel::minimumSizeHint() + QSize(2 * m_haloRoom, 0);
    if (m_elideWidth > 0)
        size.setWidth(qMin(size.width(), m_elideWidth));
    return size;
}

QStringList HaloLabel::shownLines() const
{
    QStringList lines = text().split(u'\n');
    const int room = textRoom().width();
    for (QString &line : lines) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (m_elideWidth > 0)
            line = fontMetrics().elidedText(line, Qt::ElideRight, room);
    }
    return lines;
}

bool HaloLabel::elided() const
{
    QString whole = text();
    whole.remove(u'\r');
    return shownLines().join(u'\n') != whole;
}

QColor HaloLabel::ink() const
{
    return palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText);
}

HaloLabel::Look HaloLabel::look() const
{
    return {text(), font(), ink().rgba(), m_halo, size(), contentsRect(), int(alignment()), m_elideWidth,
            devicePixelRatioF()};
}

QSize HaloLabel::fitted() const
{
    QSize fit = sizeHint();
    // An empty caption keeps one line's height, as the label had when it was drawn.
    fit.setHeight(qMax(fit.height(), fontMetrics().height() + 2 * frameWidth()));
    fit.setWidth(qMax(fit.width(), 2 * frameWidth() + 1));
    return fit;
}

void HaloLabel::setKeptCaptions(int count)
{
    m_kept = qMax(1, count);
    while (m_pictures.size() > m_kept)
        m_pictures.removeLast();
}

const QImage &HaloLabel::pictureFor(const Look &look, const HaloLabel &drawer)
{
    for (qsizetype i = 0; i < m_pictures.size(); ++i) {
        if (m_pictures[i].look == look) {
            m_pictures.move(i, 0);
            return m_pictures.first().picture;
        }
    }
    if (m_pictures.size() >= m_kept)
        m_pictures.removeLast(); // let go of the oldest picture before the new one is made
    QImage picture((QSizeF(look.size) * look.dpr).toSize(), QImage::Format_ARGB32_Premultiplied);
    picture.setDevicePixelRatio(look.dpr);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    drawer.paintCaption(painter);
    painter.end();
    ++m_drawn;
    // An image keeps the engine that painted it, and the engine the outlines
    // and spans of every path it filled: kept, a copy holds only the pixels.
    m_pictures.prepend({look, picture.copy()});
    return m_pictures.first().picture;
}

void HaloLabel::prepare(const QString &text, const QColor &ink, bool fit)
{
    // A label never shown, set as this one will be, draws the caption.
    HaloLabel twin(text);
    twin.setFont(font());
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, ink);
    twin.setPalette(colours);
    twin.setEnabled(isEnabled());
    twin.setFrameStyle(frameStyle());
    twin.setLineWidth(lineWidth());
    twin.setMidLineWidth(midLineWidth());
    twin.setContentsMargins(contentsMargins());
    twin.setMargin(margin());
    twin.setIndent(indent());
    twin.setAlignment(alignment());
    twin.setTextFormat(textFormat());
    twin.setWordWrap(wordWrap());
    twin.setHalo(m_halo);
    twin.setElideWidth(m_elideWidth);
    twin.resize(fit ? twin.fitted() : size());
    Look look = twin.look();
    look.dpr = devicePixelRatioF();
    pictureFor(look, twin);
}

void HaloLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (!text().isEmpty())
        painter.drawImage(QPoint(), pictureFor(look(), *this));
    // The frame over the halo, so that the box stays as drawn.
    drawFrame(&painter);
}

void HaloLabel::paintCaption(QPainter &painter) const
{
    const QRect room = textRoom();
    const QFontMetricsF metrics(font());
    const QStringList lines = shownLines();
    const QColor ink = this->ink();

    QPainterPath path;
    const qreal lineHeight = metrics.lineSpacing();
    const qreal blockHeight = lines.size() * lineHeight - metrics.leading();
    qreal top = room.top();
    if (alignment() & Qt::AlignBottom)
        top = room.bottom() + 1 - blockHeight;
    else if (alignment() & Qt::AlignVCenter)
        top = room.top() + (room.height() - blockHeight) / 2;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const qreal width = metrics.horizontalAdvance(lines[i]);
        qreal left = room.left();
        if (alignment() & Qt::AlignHCenter)
            left = room.left() + (room.width() - width) / 2;
        else if (alignment() & Qt::AlignRight)
            left = room.right() + 1 - width;
        path.addText(QPointF(left, top + i * lineHeight + metrics.ascent()), font(), lines[i]);
    }

    painter.setRenderHint(QPainter::Antialiasing);
    if (m_halo)
        painter.strokePath(path, QPen(haloFor(ink), kHaloPen, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.fillPath(path, ink);
}
