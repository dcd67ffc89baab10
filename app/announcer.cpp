// SPDX-License-Identifier: GPL-3.0-or-later
#include "announcer.h"

#include <QAccessible>
#include <QAccessibleWidget>

Announcer::Announcer(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("announcer"));
    // Takes no room and no input, so no child meets it.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    resize(1, 1);
    hide();
}

void Announcer::say(const QString &message)
{
    // Screen readers speak a notification when it shows, so each message
    // hides the last one and shows again with the new text as its name.
    hide();
    setAccessibleName(message);
    show();
    emit said(message);
}

void Announcer::installAccessibleFactory()
{
    QAccessible::installFactory([](const QString &className, QObject *object) -> QAccessibleInterface * {
        if (className == QLatin1String("Announcer") && object && object->isWidgetType())
            return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Notification);
        return nullptr;
    });
}
