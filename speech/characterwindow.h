// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QLabel>
#include <QWidget>

// The character's own window: frameless, on top, exactly the size of its
// frame, and see-through around the figure.
class CharacterWindow : public QWidget
{
    Q_OBJECT
public:
    CharacterWindow();

    // Shows a new frame; reshapes the window only when the silhouette may have changed.
    void setFrame(const QImage &frame, bool silhouetteChanged);
    const QImage &frame() const { return m_frame; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QImage m_frame;
    bool m_masked = true;
};

// Whether the desktop blends translucent windows (a compositing manager runs).
bool compositorRunning();

// The speech balloon beside the character, showing the words being spoken.
class Balloon : public QLabel
{
    Q_OBJECT
public:
    Balloon();
    // Places the balloon beside the character rectangle, inside the screen and clear of keepClear.
    void showBeside(const QString &text, const QRect &character, const QRect &keepClear);
    // Shows the first part of the text, the words said so far, without moving.
    void reveal(int characters);

private:
    QString m_text;
};

// Where the balloon goes: beside the character at head height (right, else
// left), inside the screen, and above keepClear when it would cover it.
QRect balloonPlace(const QSize &balloon, const QRect &character, const QRect &screen, const QRect &keepClear);
