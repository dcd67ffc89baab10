// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <functional>

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
    // How much larger than usual the boxes' type is, asked as each box opens.
    void setScale(std::function<qreal()> scale) { m_scale = std::move(scale); }
    QString inputBox(const QString &prompt) override;
    void msgBox(const QString &text) override;
    void errorBox(const QString &text) override;

private:
    void scaleBox(QWidget &box) const;

    QWidget *m_parent;
    std::function<qreal()> m_scale;
};
