// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// "00" number mask: at least two digits, a minus sign before two digits when negative.
QString format00(qint64 value);

// The contest clock: hours, minutes and seconds left, stepped back once a second.
struct Countdown
{
    qint16 ore = 0;
    qint16 minuti = 0;
    float secondi = 0.0f; // always holds a whole number

    // The start of a contest: seven minutes.
    void start();
    // One second less, borrowing from minutes and hours; never goes below 00:00:00 from a sane start.
    void stepBack();
    // "hh:mm:ss" with each part formatted "00".
    QString text() const;
};

// The caption that marks the end of the time; compared character by character.
inline constexpr const char *kTimeUp = "00:00:00";
