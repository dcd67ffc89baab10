// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QtGlobal>
#include <QStringList>
#include <deque>
#include <functional>

// One thing the character has been asked to do.
struct CharacterRequest
{
    enum Kind { Show, MoveTo, Height, Play, Speak };
    Kind kind = Show;
    int x = 0;
    int y = 0;
    QString text{};
    // Kept even when the requests waiting are dropped (see dropWaiting).
    bool kept = false;
    // The texts asked for in one turn of the event loop (one handler's) are
    // one thing said: a dictation, a reaction.
    quint64 turn = 0;

    bool operator==(const CharacterRequest &) const = default;
};

QString describe(const CharacterRequest &request);

// What carries a request out: the drawing and the voice. It calls done once
// the request is over; it may do so before begin returns.
class Performer
{
public:
    virtual ~Performer() = default;
    virtual void begin(const CharacterRequest &request, std::function<void()> done) = 0;
    // Abandon whatever is being performed; its done must then never be called.
    virtual void stop() = 0;
};

// Performs requests strictly one after another, in the order they were made.
// It knows nothing of pixels or sound: that is the performer's job.
class CharacterQueue
{
public:
    explicit CharacterQueue(Performer &performer);

    void enqueue(CharacterRequest request);
    bool busy() const { return m_busy; }
    std::size_t waiting() const { return m_waiting.size(); }
    // Drop everything, including the request being performed.
    void clear();
    // Drop the animations and texts still waiting, except the kept ones; the
    // request being performed goes on, and the rest keep their order.
    // Returns what was dropped, in order.
    std::deque<CharacterRequest> dropWaiting();
    // The texts of this turn that follow the current request with no
    // animation between: what he is about to say in one go.
    QStringList upcomingSpeech(quint64 turn) const;

private:
    void startNext();
    void finished(quint64 token);

    Performer &m_performer;
    std::deque<CharacterRequest> m_waiting;
    bool m_busy = false;
    bool m_starting = false;
    bool m_finishedWhileStarting = false;
    quint64 m_current = 0; // token of the request being performed
};
