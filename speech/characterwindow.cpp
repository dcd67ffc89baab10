// SPDX-License-Identifier: GPL-3.0-or-later
#include "characterwindow.h"

#include <QBitmap>
#include <QGuiApplication>
#include <qguiapplication_platform.h>

#include <xcb/xcb.h>
#include <QPainter>
#include <QScreen>

bool compositorRunning()
{
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        return true;
    const auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (QGuiApplication::platformName() != QLatin1String("xcb") || !x11 || !x11->connection())
        return false;
    // A compositing manager owns the selection _NET_WM_CM_S<screen>.
    xcb_connection_t *connection = x11->connection();
    const QByteArray name = "_NET_WM_CM_S0";
    xcb_intern_atom_reply_t *atom =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 1, uint16_t(name.size()), name.constData()), nullptr);
    if (!atom)
        return false;
    xcb_get_selection_owner_reply_t *owner =
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atom->atom), nullptr);
    const bool running = owner && owner->owner != XCB_NONE;
    free(owner);
    free(atom);
    return running;
}

CharacterWindow::CharacterWindow()
    : QWidget(nullptr, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus | Qt::Tool)
{
    setObjectName(QStringLiteral("Merlin"));
    setWindowTitle(QStringLiteral("Merlin"));
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_NoSystemBackground);
    // A compositor blends the soft edges; without one, only a mask keeps the corners from showing black.
    m_masked = !compositorRunning();
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
    if (m_masked && (silhouetteChanged || resized))
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
    setTextFormat(Qt::RichText);
    setMargin(10);
    setFont(QFont(QStringLiteral("Liberation Sans"), 13));
    setStyleSheet(QStringLiteral("QLabel { background: #FFFFE8; color: #202020; border: 2px solid #404080; border-radius: 10px; }"));
}

QRect balloonPlace(const QSize &balloon, const QRect &character, const QRect &screen, const QRect &keepClear)
{
    QRect place(QPoint(character.right() + 8, character.top()), balloon);
    if (place.right() > screen.right())
        place.moveRight(character.left() - 8);
    const auto inside = [&screen](QRect r) {
        if (r.left() < screen.left())
            r.moveLeft(screen.left());
        if (r.right() > screen.right())
            r.moveRight(screen.right());
        if (r.bottom() > screen.bottom())
            r.moveBottom(screen.bottom());
        if (r.top() < screen.top())
            r.moveTop(screen.top());
        return r;
    };
    place = inside(place);
    if (keepClear.isValid() && place.intersects(keepClear)) {
        // Above the box if there is room, else beside it.
        QRect above = place;
        above.moveBottom(keepClear.top() - 4);
        if (above.top() >= screen.top()) {
            place = above;
        } else {
            QRect right = place;
            right.moveLeft(keepClear.right() + 4);
            QRect left = place;
            left.moveRight(keepClear.left() - 4);
            place = inside(right).intersects(keepClear) ? inside(left) : inside(right);
        }
    }
    return place;
}

void Balloon::showBeside(const QString &text, const QRect &character, const QRect &keepClear)
{
    m_text = text;
    setAccessibleName(text);
    reveal(int(text.size()));
    setFixedWidth(qMin(340, fontMetrics().horizontalAdvance(text) + 2 * margin() + 8));
    setFixedHeight(heightForWidth(width()));
    const QScreen *screen = QGuiApplication::screenAt(character.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    setGeometry(balloonPlace(size(), character, screen ? screen->geometry() : QRect(0, 0, 1024, 768), keepClear));
    // Rounded like its border, so that no square corner shows behind it.
    QBitmap outline(size());
    outline.fill(Qt::color0);
    QPainter painter(&outline);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::color1);
    painter.drawRoundedRect(rect(), 10, 10);
    painter.end();
    setMask(outline);
    show();
}

void Balloon::reveal(int characters)
{
    // The words not said yet keep their place, so the balloon does not grow as he speaks.
    const QString said = m_text.left(characters).toHtmlEscaped();
    const QString rest = m_text.mid(characters).toHtmlEscaped();
    setText(QStringLiteral("%1<span style=\"color:#FFFFE8\">%2</span>").arg(said, rest));
}
