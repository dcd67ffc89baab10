// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>

class Announcer;

// A see-through sheet over the whole of a window, above every control,
// where the character is drawn. It takes no focus and no clicks: the
// controls under him work as if he were not there.
class CharacterLayer : public QWidget
{
    Q_OBJECT
public:
    // Named after the character it shows.
    CharacterLayer(QWidget *host, const QString &name);

    // A new picture of him with its top-left at this point of the layer.
    void setFrame(const QImage &frame, QPoint topLeft);
    // A picture of him drawn in place, over the last one when it has the same
    // size: while he moves, a new picture every frame, never two held at once.
    // draw returns where in the image, in its pixels, it drew. It runs on a
    // thread of Qt's pool while this one waits: it may paint and read, but not
    // touch a widget.
    void drawFrame(QSize size, qreal devicePixelRatio, QPoint topLeft, const std::function<QRect(QImage &)> &draw);
    QRect frameRect() const { return m_rect; }

protected:
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QImage m_frame;
    QRect m_rect;
    QRect m_shown; // what of the layer the last picture covered
    std::optional<QRect> m_drawn; // where drawFrame last drew, in the frame's pixels
};

// What the character is saying, beside him, a few lines at a time as the
// words are spoken; screen readers read the words said so far.
class Balloon : public QLabel
{
    Q_OBJECT
public:
    // Screen readers describe it as what the character, by this name, says.
    Balloon(QWidget *layer, const QString &name);

    static constexpr int kMaxLines = 4;

    // Lays the text out for a font of this pixel size in lines at most
    // maxWidth wide, and takes the size of its longest page.
    void setSpeech(const QString &text, int pixelSize, int maxWidth);
    // Shows the page with the words said so far, the rest kept hidden in place.
    void reveal(int characters);
    // The same text and words said, laid out again for a new scale.
    void rescale(int pixelSize, int maxWidth);
    const QString &speech() const { return m_text; }
    QStringList lines() const { return m_lines; }
    // Tells screen readers a whole part of the text as he starts to say it:
    // they do not speak a label that changes away from the focus.
    void announce(const QString &part);
    // Takes the balloon away; its accessible name goes with it.
    void dismiss();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void layOut(const QString &text, int pixelSize, int maxWidth);
    void showSaid(int characters);

    Announcer *m_announcer;
    QString m_text;
    QStringList m_lines;
    QList<int> m_lineStarts;
    int m_firstShown = 0; // the page's first line
    int m_shown = -1;
};

// Where the balloon goes: beside the character (right, else left, else
// above), as near his head as it can, inside bounds and clear of every
// rectangle in keepClear; the least covering place when none is clear.
QRect balloonPlace(const QSize &balloon, const QRect &character, const QRect &bounds, const QList<QRect> &keepClear);
