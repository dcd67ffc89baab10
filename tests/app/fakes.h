// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "agent.h"
#include "dialogs.h"
#include "randomsource.h"
#include "ticker.h"

#include <QStringList>
#include <deque>
#include <functional>

// A character collection that logs every call, in order, as text.
class RecordingAgent : public Characters, public Character
{
public:
    QStringList log;
    QStringList animations{QStringLiteral("Announce"), QStringLiteral("Greet"), QStringLiteral("congratulate"),
                           QStringLiteral("domagic1"), QStringLiteral("domagic2")};
    bool loaded = false;

    void Load(const QString &id, const QString &path) override
    {
        log << QStringLiteral("Load %1 %2").arg(id, path);
        loaded = true;
    }
    Character &item(const QString &id) override
    {
        if (!loaded || id != QLatin1String("Merlin"))
            throw CharacterError(QStringLiteral("Personaggio non caricato: ") + id);
        return *this;
    }
    void Show() override { log << QStringLiteral("Show"); }
    void MoveTo(int x, int y) override { log << QStringLiteral("MoveTo %1,%2").arg(x).arg(y); }
    void setHeight(int h) override { log << QStringLiteral("Height %1").arg(h); }
    void Play(const QString &a, Keep keep) override
    {
        if (!animations.contains(a))
            throw CharacterError(QStringLiteral("Animazione sconosciuta: ") + a);
        log << QStringLiteral("Play ") + a + kept(keep);
    }
    void Speak(const QString &t, Keep keep) override { log << QStringLiteral("Speak ") + t + kept(keep); }
    void dropWaiting() override { log << QStringLiteral("Drop waiting"); }
    static QString kept(Keep keep) { return keep == Keep::Always ? QStringLiteral(" (kept)") : QString(); }

    // The log from a point on, and forget it.
    QStringList take()
    {
        QStringList out = log;
        log.clear();
        return out;
    }
};

// Boxes answered by the test: the name to give, and what each message said.
class ScriptedDialogs : public Dialogs
{
public:
    QString name;
    QStringList prompts;
    QStringList messages;
    QStringList errors;
    std::function<void()> whileMessageOpen; // runs inside the next message box, like its event loop

    QString inputBox(const QString &prompt) override
    {
        prompts << prompt;
        return name;
    }
    void msgBox(const QString &text) override
    {
        messages << text;
        if (auto inside = std::exchange(whileMessageOpen, nullptr))
            inside();
    }
    void errorBox(const QString &text) override { errors << text; }
};

// Random numbers given by the test; also counts how often it was seeded.
class ScriptedRandom : public RandomSource
{
public:
    std::deque<double> values;
    int seeds = 0;
    void seedFromClock() override { ++seeds; }
    double next() override
    {
        if (values.empty())
            return 0.65; // 7
        const double v = values.front();
        values.pop_front();
        return v;
    }
    // Queues the draws for one question: num2, then fattore.
    void question(int num2, int fattore)
    {
        values.push_back((num2 - 1) / 10.0 + 0.05);
        values.push_back((fattore - 1) / 10.0 + 0.05);
    }
};

// A tick the test fires by hand.
class ManualTicker : public Ticker
{
public:
    std::function<void()> onTick;
    bool active = false;
    int starts = 0;
    void start(std::function<void()> tick) override
    {
        onTick = std::move(tick);
        active = true;
        ++starts;
    }
    void stop() override { active = false; }
    bool isActive() const override { return active; }
    void fire()
    {
        if (active && onTick)
            onTick();
    }
};
