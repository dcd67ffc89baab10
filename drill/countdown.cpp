// SPDX-License-Identifier: GPL-3.0-or-later
#include "countdown.h"

QString format00(qint64 value)
{
    const QString digits = QString::number(value < 0 ? -value : value).rightJustified(2, u'0');
    return value < 0 ? u'-' + digits : digits;
}

QString startCaption()
{
    return QLatin1String(kStartCaption.data());
}

void Countdown::start()
{
    ore = 0;
    minuti = kContestMinutes;
    secondi = 0.0f;
}

void Countdown::stepBack()
{
    if (secondi == 0.0f) {
        if (minuti > 0) {
            minuti = qint16(minuti - 1);
            secondi = 60.0f;
        } else if (minuti == 0) {
            if (ore > 0) {
                ore = qint16(ore - 1);
                minuti = 59;
                secondi = 60.0f;
            } else {
                ore = 0;
                minuti = 0;
            }
        }
        // A negative minute count borrows nothing.
    }
    secondi -= 1.0f;
}

QString Countdown::text() const
{
    return format00(ore) + u':' + format00(minuti) + u':' + format00(qint64(secondi));
}
