// SPDX-License-Identifier: GPL-3.0-or-later
#include "ticker.h"

SecondTicker::SecondTicker()
{
    m_timer.setObjectName(QStringLiteral("Timer1"));
    m_timer.setInterval(1000);
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] {
        if (m_onTick)
            m_onTick();
    });
}

void SecondTicker::start(std::function<void()> onTick)
{
    m_onTick = std::move(onTick);
    m_timer.start();
}

void SecondTicker::stop()
{
    m_timer.stop();
}

bool SecondTicker::isActive() const
{
    return m_timer.isActive();
}
