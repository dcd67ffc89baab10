// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QWidget;

// The modal boxes the contest uses; tests replace them with a script.
class Dialogs
{
public:
    virtual ~Dialogs() = default;
    // Asks for a text; Cancel gives the empty text.
    virtual QString inputBox(const QString &prompt) = 0;
    // A message with an OK button only.
    virtual void msgBox(const QString &text) = 0;
    // A run-time error, just before the program ends.
    virtual void errorBox(const QString &text) = 0;
};

// The real boxes, titled with the program's name.
class QtDialogs : public Dialogs
{
public:
    explicit QtDialogs(QWidget *parent = nullptr);
    void setParent(QWidget *parent) { m_parent = parent; }
    QString inputBox(const QString &prompt) override;
    void msgBox(const QString &text) override;
    void errorBox(const QString &text) override;

private:
    QWidget *m_parent;
};
