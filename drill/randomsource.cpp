// SPDX-License-Identifier: GPL-3.0-or-later
#include "randomsource.h"

#include <chrono>
#include <cmath>

int drawOneToTen(double r)
{
    return int(std::floor(10.0 * r)) + 1;
}

ClockSeededRandom::ClockSeededRandom(Clock clockNanoseconds)
    : m_clock(std::move(clockNanoseconds))
{
}

void ClockSeededRandom::seedFromClock()
{
    m_state = m_clock();
}

double ClockSeededRandom::next()
{
    quint64 z = (m_state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    z ^= z >> 31;
    return double(z >> 11) * 0x1.0p-53;
}

quint64 ClockSeededRandom::systemClock()
{
    using namespace std::chrono;
    return quint64(duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count());
}
