// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>
#include <stdexcept>

// Raised when a count would leave the 16-bit range the board is built on,
// so that a huge count ends the program instead of showing a wrapped number.
class OverflowError : public std::overflow_error
{
public:
    OverflowError();
};

// The arithmetic of the 16-bit counters: every result is range-tested.
qint16 add16(qint32 a, qint32 b);
qint16 mul16(qint32 a, qint32 b);
