// SPDX-License-Identifier: GPL-3.0-or-later
#include "picturebutton.h"

#include "contrast.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

PictureButton::PictureButton(const QString &caption, QColor back, QWidget *parent)
    : QPushButton(caption, parent)
    , m_back(back)
{
    // Outside a dialog a push button ignores Enter unless it is auto-default;
    // the child presses Enter on a focused button and expects it to click.
    setAutoDefault(true);
    // Disabled, the caption stays grey, as disabled captions are, but the
    // lightest grey that still reads at 3:1 on the back colour; the face
    // picture says the rest.
    int grey = 0x90;
    while (grey > 0 && contrastRatio(QColor(grey, grey, grey), back) < kDisabledContrast)
        grey -= 4;
    QPalette shades = palette();
    shades.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(grey, grey, grey));
    setPalette(shades);
}

void PictureButton::setPictures(const QIcon &normal, const QIcon &down, const QIcon &disabled)
{
    m_normal = normal;
    m_down = down.isNull() ? normal : down;
    m_disabled = disabled.isNull() ? normal : disabled;
    m_pictures = {};
    update();
}

void PictureButton::setPictureSize(int side)
{
    if (side == m_pictureSize)
        return;
    m_pictureSize = side;
    m_pictures = {};
    update();
}

const QImage &PictureButton::pictureFor(Look look)
{
    QImage &picture = m_pictures[look];
    const qreal dpr = devicePixelRatioF();
    const QSize pixels = (QSizeF(m_pictureSize, m_pictureSize) * dpr).toSize();
    if (picture.size() != pixels || picture.devicePixelRatio() != dpr) {
        picture = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        picture.setDevicePixelRatio(dpr);
        picture.fill(Qt::transparent);
        QPainter painter(&picture);
        const QIcon &icon = look == Disabled ? m_disabled : (look == Down ? m_down : m_normal);
        icon.paint(&painter, QRect(0, 0, m_pictureSize, m_pictureSize));
    }
    return picture;
}

void PictureButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect r = rect();
    const bool down = isDown();
    painter.fillRect(r, m_back);

    // A classic raised bevel, sunken while pressed.
    const QColor light = down ? QColor(64, 64, 64) : QColor(255, 255, 255);
    const QColor dark = down ? QColor(255, 255, 255) : QColor(64, 64, 64);
    painter.setPen(light);
    painter.drawLine(r.topLeft(), r.topRight());
    painter.drawLine(r.topLeft(), r.bottomLeft());
    painter.setPen(dark);
    painter.drawLine(r.bottomLeft(), r.bottomRight());
    painter.drawLine(r.topRight(), r.bottomRight());

    const int shift = down ? 1 : 0;
    const int margin = qRound(4 * m_pictureSize / 32.0);
    const QRect pictureRect(r.center().x() - m_pictureSize / 2 + shift, r.top() + margin + shift, m_pictureSize, m_pictureSize);
    painter.drawImage(pictureRect.topLeft(), pictureFor(!isEnabled() ? Disabled : (down ? Down : Normal)));

    const QRect textRect(r.left() + 2 + shift, pictureRect.bottom() + 1 + shift, r.width() - 4, r.bottom() - pictureRect.bottom() - 3);
    style()->drawItemText(&painter, textRect, Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextShowMnemonic, palette(),
                          isEnabled(), text(), QPalette::ButtonText);

    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = r.adjusted(4, 4, -4, -4);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    }
}
