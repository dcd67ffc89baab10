// SPDX-License-Identifier: GPL-3.0-or-later
#include "characterwindow.h"

#include <QBitmap>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

CharacterWindow::CharacterWindow()
    : QWidget(nullptr, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus | Qt::Tool)
{
    setObjectName(QStringLiteral("Merlin"));
    setWindowTitle(QStringLiteral("Merlin"));
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_NoSystemBackground);
}

void CharacterWindow::setFrame(const QImage &frame, bool silhouetteChanged)
{
    const bool resized = frame.size() != m_frame.size();
    m_frame = frame;
    if (resized)
        setFixedSize(frame.size());
    // Without a compositor the translucent parts would show black; the mask
    // cuts the window to the figure. Blinks and the talking mouth stay inside
    // the silhouette, so they do not pay for a new mask.
    if (silhouetteChanged || resized)
        setMask(QBitmap::fromImage(frame.createAlphaMask(Qt::ThresholdAlphaDither | Qt::NoOpaqueDetection)));
    update();
}

void CharacterWindow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(0, 0, m_frame);
}

Balloon::Balloon()
    : QLabel(nullptr, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus | Qt::ToolTip)
{
    setObjectName(QStringLiteral("Balloon"));
    setWindowTitle(QStringLiteral("Merlin dice"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWordWrap(true);
    setMargin(10);
    setFont(QFont(QStringLiteral("Liberation Sans"), 13));
    setStyleSheet(QStringLiteral("QLabel { background: #FFFFE8; color: #202020; border: 2px solid #404080; border-radius: 10px; }"));
}

QRect balloonPlace(const QSize &balloon, const QRect &character, const QRect &screen)
{
    QRect place(QPoint(character.right() + 8, character.top()), balloon);
    if (place.right() > screen.right())
        place.moveRight(character.left() - 8);
    if (place.left() < screen.left())
        place.moveLeft(screen.left());
    if (place.right() > screen.right())
        place.moveRight(screen.right());
    if (place.bottom() > screen.bottom())
        place.moveBottom(screen.bottom());
    if (place.top() < screen.top())
        place.moveTop(screen.top());
    return place;
}

void Balloon::showBeside(const QString &text, const QRect &character)
{
    setText(text);
    setFixedWidth(qMin(340, fontMetrics().horizontalAdvance(text) + 2 * margin() + 8));
    setFixedHeight(heightForWidth(width()));
    const QScreen *screen = QGuiApplication::screenAt(character.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    setGeometry(balloonPlace(size(), character, screen ? screen->geometry() : QRect(0, 0, 1024, 768)));
    show();
}
