// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

// Tells a screen reader about a change it would not notice on its own (a
// verdict, a new score, the clock): an invisible notification that appears
// afresh with each message, which screen readers speak whatever has the focus.
class Announcer : public QWidget
{
    Q_OBJECT
public:
    explicit Announcer(QWidget *parent);

    void say(const QString &message);

signals:
    void said(const QString &message);
};
