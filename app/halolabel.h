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

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QStringList shownLines() const;
    QRect textRoom() const;
    void paintCaption(QPainter &painter, const QColor &ink) const;

    bool m_halo = false;
    int m_elideWidth = 0;
    int m_haloRoom = 0;
    // The caption as last drawn, and what it was drawn from.
    QImage m_drawn;
    QString m_drawnKey;
};
