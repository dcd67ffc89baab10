// SPDX-License-Identifier: GPL-3.0-or-later
#include "announcer.h"

#include <QAccessible>
#include <QAccessibleWidget>

namespace {

// Lets accessibility clients see every announcer as a notification; made
// before the first announcer, whose interface is asked for only later.
void installAccessibleFactory()
{
    QAccessible::installFactory([](const QString &className, QObject *object) -> QAccessibleInterface * {
        if (className == QLatin1String("Announcer") && object && object->isWidgetType())
            return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Notification);
        return nullptr;
    });
}

} // namespace

Announcer::Announcer(QWidget *parent)
    : QWidget(parent)
{
    static const bool factoryInstalled = (installAccessibleFactory(), true);
    Q_UNUSED(factoryInstalled);
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
