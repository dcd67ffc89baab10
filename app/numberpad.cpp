// SPDX-License-Identifier: GPL-3.0-or-later
#include "numberpad.h"

#include "designscale.h"

#include <QPainter>

namespace {

// A large flat key that looks pushed in while it is held.
class PadKey : public QAbstractButton
{
public:
    PadKey(const QString &caption, QWidget *parent)
        : QAbstractButton(parent)
    {
        setText(caption);
        // The keys never take the focus: Invio acts where the focus already is.
        setFocusPolicy(Qt::NoFocus);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        const QRect r = rect();
        const bool down = isDown();
        painter.fillRect(r, down ? QColor(0x00, 0x80, 0x80) : QColor(0xFF, 0xFF, 0x80));
        const QColor light = down ? QColor(32, 32, 32) : QColor(255, 255, 255);
        const QColor dark = down ? QColor(255, 255, 255) : QColor(32, 32, 32);
        const int edge = qMax(2, r.height() / 24);
        for (int i = 0; i < edge; ++i) {
            painter.setPen(light);
            painter.drawLine(r.left() + i, r.top() + i, r.right() - i, r.top() + i);
            painter.drawLine(r.left() + i, r.top() + i, r.left() + i, r.bottom() - i);
            painter.setPen(dark);
            painter.drawLine(r.left() + i, r.bottom() - i, r.right() - i, r.bottom() - i);
            painter.drawLine(r.right() - i, r.top() + i, r.right() - i, r.bottom() - i);
        }
        painter.setPen(down ? QColor(0xFF, 0xFF, 0xFF) : QColor(0x00, 0x00, 0xFF));
        painter.setFont(font());
        const int shift = down ? edge : 0;
        painter.drawText(r.translated(shift, shift), Qt::AlignCenter, text());
    }
};

} // namespace

NumberPad::NumberPad(Clock clock, QWidget *parent)
    : QWidget(parent)
    , m_clock(std::move(clock))
{
    setObjectName(QStringLiteral("numberPad"));
    setAccessibleName(QStringLiteral("Tastierino"));
    // Laid out as a calculator's keys, 7 8 9 on top.
    for (int digit = 1; digit <= 9; ++digit)
        addKey(QString::number(digit), QStringLiteral("pad%1").arg(digit), 2 - (digit - 1) / 3, (digit - 1) % 3,
               [this, digit] { emit digitPressed(digit); });
    addKey(QStringLiteral("Cancella"), QStringLiteral("padCancella"), 3, 0, [this] { emit erasePressed(); });
    addKey(QStringLiteral("0"), QStringLiteral("pad0"), 3, 1, [this] { emit digitPressed(0); });
    addKey(QStringLiteral("Invio"), QStringLiteral("padInvio"), 3, 2, [this] { emit enterPressed(); });
    setKeySide(m_side);
}

QAbstractButton *NumberPad::addKey(const QString &caption, const QString &name, int row, int column,
                                   std::function<void()> act)
{
    auto *key = new PadKey(caption, this);
    key->setObjectName(name);
    key->setAccessibleName(caption);
    m_keys.append({key, row, column});
    // clicked comes when the key is let go over it, and a slide off it cancels.
    connect(key, &QAbstractButton::clicked, this, [this, key, act = std::move(act)] {
        const qint64 now = m_clock();
        const auto last = m_lastTap.constFind(key);
        if (last != m_lastTap.constEnd() && now - *last < kBounceMs)
            return;
        m_lastTap.insert(key, now);
        act();
    });
    return key;
}

void NumberPad::setKeySide(int side)
{
    m_side = qMax(1, side);
    const int gap = padGap(m_side);
    QFont digits = font();
    digits.setPixelSize(qMax(1, m_side * 9 / 20));
    digits.setBold(true);
    QFont words = digits;
    // "Cancella" is the longest caption and must fit its key.
    words.setPixelSize(qMax(1, m_side / 5));
    for (const Placed &placed : m_keys) {
        placed.key->setGeometry(gap + placed.column * (m_side + gap), gap + placed.row * (m_side + gap), m_side, m_side);
        placed.key->setFont(placed.key->text().size() > 1 ? words : digits);
    }
    resize(padSize(m_side));
}
