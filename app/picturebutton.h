// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QImage>
#include <QPushButton>

#include <array>

// A button that shows a picture above its caption on its own back colour,
// with other pictures for its pressed and disabled looks.
class PictureButton : public QPushButton
{
    Q_OBJECT
public:
    PictureButton(const QString &caption, QColor back, QWidget *parent);
    // Above the 3:1 that large or bold captions need, with room for smoothing at the glyphs' edges.
    static constexpr double kDisabledContrast = 3.3;

    void setPictures(const QIcon &normal, const QIcon &down = {}, const QIcon &disabled = {});
    // The side of the square picture, in pixels; 32 as designed.
    void setPictureSize(int side);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    enum Look { Normal, Down, Disabled };
    const QImage &pictureFor(Look look);

    QColor m_back;
    QIcon m_normal, m_down, m_disabled;
    int m_pictureSize = 32;
    // Each look's picture at its present size, drawn from the SVG once:
    // the button is repainted with everything under Merlin and the gradient.
    std::array<QImage, 3> m_pictures;
};
