// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QTimer>
#include <functional>

// The contest clock's one-second tick; tests step it by hand.
class Ticker
{
public:
    virtual ~Ticker() = default;
    virtual void start(std::function<void()> onTick) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
};

// The real tick, every 1000 ms.
class SecondTicker : public Ticker
{
public:
    SecondTicker();
    void start(std::function<void()> onTick) override;
    void stop() override;
    bool isActive() const override;

private:
    QTimer m_timer;
    std::function<void()> m_onTick;
};
