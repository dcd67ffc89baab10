// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QEvent>
#include <QObject>

#include <cstdio>
#include <ctime>

// Prints one line with the monotonic time when the watched window first
// shows, so that start-up can be timed from outside the program.
class ShownMarker : public QObject
{
public:
    using QObject::QObject;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show) {
            timespec now{};
            clock_gettime(CLOCK_MONOTONIC, &now);
            std::printf("garivolo-marker prompt %lld\n", (long long)now.tv_sec * 1000000000LL + now.tv_nsec);
            std::fflush(stdout);
            watched->removeEventFilter(this);
        }
        return false;
    }
};
