// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <array>

// "00" number mask: at least two digits, a minus sign before two digits when negative.
QString format00(qint64 value);

// How long a contest lasts.
inline constexpr int kContestMinutes = 7;
inline constexpr int kContestSeconds = kContestMinutes * 60;

// The clock's caption as the window opens: the contest's length, written with dots.
inline constexpr auto kStartCaption = [] {
    static_assert(kContestMinutes >= 0 && kContestMinutes < 60);
    std::array<char, 9> text{"00.00.00"};
    text[3] = char('0' + kContestMinutes / 10);
    text[4] = char('0' + kContestMinutes % 10);
    return text;
}();
QString startCaption();

// The contest clock: hours, minutes and seconds left, stepped back once a second.
struct Countdown
{
    qint16 ore = 0;
    qint16 minuti = 0;
    float secondi = 0.0f; // always holds a whole number

    // The start of a contest: kContestMinutes on the clock.
    void start();
    // One second less, borrowing from minutes and hours; never goes below 00:00:00 from a sane start.
    void stepBack();
    // "hh:mm:ss" with each part formatted "00".
    QString text() const;
};

// The caption that marks the end of the time; compared character by character.
inline constexpr const char *kTimeUp = "00:00:00";
