// SPDX-License-Identifier: GPL-3.0-or-later
#include "checked16.h"

#include <limits>

OverflowError::OverflowError()
    : std::overflow_error("Overflow: un conteggio ha superato 32767")
{
}

static qint16 narrow16(qint64 v)
{
    if (v < std::numeric_limits<qint16>::min() || v > std::numeric_limits<qint16>::max())
        throw OverflowError();
    return static_cast<qint16>(v);
}

qint16 add16(qint32 a, qint32 b)
{
    return narrow16(qint64(a) + b);
}

qint16 mul16(qint32 a, qint32 b)
{
    return narrow16(qint64(a) * b);
}
