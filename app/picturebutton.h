// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QPushButton>

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
    QColor m_back;
    QIcon m_normal, m_down, m_disabled;
    int m_pictureSize = 32;
};
