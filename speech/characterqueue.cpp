// SPDX-License-Identifier: GPL-3.0-or-later
#include "characterqueue.h"

QString describe(const CharacterRequest &request)
{
    switch (request.kind) {
    case CharacterRequest::Show:
        return QStringLiteral("Show");
    case CharacterRequest::MoveTo:
        return QStringLiteral("MoveTo %1,%2").arg(request.x).arg(request.y);
    case CharacterRequest::Height:
        return QStringLiteral("Height %1").arg(request.x);
    case CharacterRequest::Play:
        return QStringLiteral("Play ") + request.text + (request.kept ? QStringLiteral(" (kept)") : QString());
    case CharacterRequest::Speak:
        return QStringLiteral("Speak ") + request.text + (request.kept ? QStringLiteral(" (kept)") : QString());
    }
    return {};
}

CharacterQueue::CharacterQueue(Performer &performer)
    : m_performer(performer)
{
}

void CharacterQueue::enqueue(CharacterRequest request)
{
    m_waiting.push_back(std::move(request));
    if (!m_busy)
        startNext();
}

void CharacterQueue::clear()
{
    ++m_current;
    m_waiting.clear();
    if (m_busy)
        m_performer.stop();
    m_busy = false;
}

std::deque<CharacterRequest> CharacterQueue::dropWaiting()
{
    std::deque<CharacterRequest> dropped;
    std::deque<CharacterRequest> kept;
    for (CharacterRequest &r : m_waiting) {
        // Showing, moving and sizing are instant and set where he is, which
        // the next requests rely on: only what takes time and belongs to
        // what was asked before goes.
        const bool timed = r.kind == CharacterRequest::Play || r.kind == CharacterRequest::Speak;
        (timed && !r.kept ? dropped : kept).push_back(std::move(r));
    }
    m_waiting = std::move(kept);
    return dropped;
}

QStringList CharacterQueue::upcomingSpeech(quint64 turn) const
{
    QStringList texts;
    for (const CharacterRequest &r : m_waiting) {
        if (r.kind == CharacterRequest::Play || r.turn != turn)
            break;
        if (r.kind == CharacterRequest::Speak)
            texts << r.text;
    }
    return texts;
}

void CharacterQueue::startNext()
{
    // Instant requests finish inside begin(); looping here instead of
    // recursing keeps a long run of them from growing the stack.
    while (!m_waiting.empty()) {
        CharacterRequest request = std::move(m_waiting.front());
        m_waiting.pop_front();
        m_busy = true;
        m_starting = true;
        m_finishedWhileStarting = false;
        const quint64 token = ++m_current;
        m_performer.begin(request, [this, token] { finished(token); });
        m_starting = false;
        if (token != m_current || !m_finishedWhileStarting)
            return;
        m_busy = false;
    }
}

void CharacterQueue::finished(quint64 token)
{
    // A done that arrives late or twice belongs to a request already over.
    if (token != m_current || !m_busy)
        return;
    if (m_starting) {
        m_finishedWhileStarting = true;
        return;
    }
    m_busy = false;
    startNext();
}
