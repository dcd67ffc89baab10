// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractButton>
#include <QHash>
#include <QWidget>

#include <functional>

// The on-screen keys for a child at an interactive whiteboard or a touch
// screen: digits laid out as on a calculator, "Cancella" and "Invio". A key
// acts when the finger or pen is lifted; a pen that bounces on the board
// taps the same key twice within a moment, and only the first tap counts.
class NumberPad : public QWidget
{
    Q_OBJECT
public:
    // Milliseconds from any fixed start, given so that tests can step time.
    using Clock = std::function<qint64()>;
    static constexpr qint64 kBounceMs = 150;

    explicit NumberPad(Clock clock, QWidget *parent = nullptr);

    void setClock(Clock clock) { m_clock = std::move(clock); }
    // The side of each key in pixels; the pad's size follows.
    void setKeySide(int side);
    int keySide() const { return m_side; }

signals:
    void digitPressed(int digit);
    void erasePressed();
    void enterPressed();

private:
    QAbstractButton *addKey(const QString &caption, const QString &name, int row, int column, std::function<void()> act);

    Clock m_clock;
    struct Placed
    {
        QAbstractButton *key;
        int row, column;
    };
    QList<Placed> m_keys;
    QHash<QAbstractButton *, qint64> m_lastTap;
    int m_side = 64;
};
