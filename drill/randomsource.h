// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>
#include <functional>

// Where the questions' random numbers come from; tests replace it with a script.
class RandomSource
{
public:
    virtual ~RandomSource() = default;
    // Start a fresh sequence from the clock.
    virtual void seedFromClock() = 0;
    // A uniform number r with 0 <= r < 1.
    virtual double next() = 0;
};

// A draw of the drill: the whole part of 10 r, plus 1, so 1 to 10 with equal chance.
int drawOneToTen(double r);

// The program's generator, seeded anew from a clock read in nanoseconds.
// Seeds that differ by a millisecond must still give unrelated draws, so the
// seed goes through a strong 64-bit mix (SplitMix64) rather than a plain LCG.
class ClockSeededRandom : public RandomSource
{
public:
    using Clock = std::function<quint64()>;
    explicit ClockSeededRandom(Clock clockNanoseconds);

    void seedFromClock() override;
    double next() override;

    // The system's real-time clock, in nanoseconds since the epoch.
    static quint64 systemClock();

private:
    Clock m_clock;
    quint64 m_state = 0;
};
