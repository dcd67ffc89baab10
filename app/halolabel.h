// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QLabel>

// A label whose caption stays legible on any background behind it: each
// glyph is ringed by a thin halo in black or white, whichever stands further
// from the text's own colour. A long caption can be cut short with an
// ellipsis at a given width. The caption is always drawn as plain text.
class HaloLabel : public QLabel
{
    Q_OBJECT
public:
    explicit HaloLabel(const QString &text, QWidget *parent = nullptr);

    void setHalo(bool on);
    bool halo() const { return m_halo; }
    // The widest the label may grow; a longer caption ends in "…". 0: no limit.
    void setElideWidth(int width);
    int elideWidth() const { return m_elideWidth; }
    // Whether the caption is drawn shorter than it is.
    bool elided() const;
    // The colour of the halo for a text colour.
    static QColor haloFor(const QColor &text);
    // The size that fits the caption, for a label that sizes itself to it.
    QSize fitted() const;
    // Draws ahead, at a quiet moment, the caption the label will show next
    // (in this colour, and resized to fit it where `fit`), so that showing it
    // costs no more than showing one it has shown before.
    void prepare(const QString &text, const QColor &ink, bool fit);
    // How many captions it keeps drawn: those it alternates between.
    void setKeptCaptions(int count);
    // How many captions it has drawn so far, kept ones shown again not counted.
    int captionsDrawn() const { return m_drawn; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // Everything the caption's pixels depend on.
    struct Look
    {
        QString text;
        QFont font;
        QRgb ink = 0;
        bool halo = false;
        QSize size;
        QRect contents;
        int alignment = 0;
        int elideWidth = 0;
        qreal dpr = 1;
        bool operator==(const Look &) const = default;
    };
    Look look() const;
    void paintCaption(QPainter &painter) const;
    QStringList shownLines() const;
    QRect textRoom() const;
    QColor ink() const;

    struct Drawn
    {
        Look look;
        QImage picture;
    };
    const QImage &pictureFor(const Look &look, const HaloLabel &drawer);

    // The captions last painted, the latest first: stroking a halo round
    // every glyph costs far more than copying its picture, and a label is
    // repainted whenever anything under it or over it changes (Merlin, the
    // gradient, a neighbour).
    QList<Drawn> m_pictures;
    int m_kept = 1;
    int m_drawn = 0;

    bool m_halo = false;
    int m_elideWidth = 0;
    int m_haloRoom = 0;
};
