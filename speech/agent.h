// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <stdexcept>

// A failed call on the speech character: an unknown character or animation,
// a bad argument or an unusable character file.
class CharacterError : public std::runtime_error
{
public:
    explicit CharacterError(const QString &what);
};

// Whether a request survives dropWaiting.
enum class Keep { UntilDropped, Always };

// A loaded character. Every call checks its arguments at once, then queues
// the request and returns; the character carries its requests out in order.
class Character
{
public:
    virtual ~Character() = default;
    virtual void Show() = 0;
    virtual void MoveTo(int x, int y) = 0;
    virtual void setHeight(int height) = 0;
    virtual void Play(const QString &animation, Keep keep = Keep::UntilDropped) = 0;
    virtual void Speak(const QString &text, Keep keep = Keep::UntilDropped) = 0;
    // Drops the animations and texts that wait and are not kept; the one
    // being performed finishes, and what is asked next runs as usual.
    virtual void dropWaiting() = 0;
};

// The collection of loaded characters, looked up by identifier.
class Characters
{
public:
    virtual ~Characters() = default;
    virtual void Load(const QString &id, const QString &path) = 0;
    // The character loaded under this identifier; an unknown one is an error.
    virtual Character &item(const QString &id) = 0;
};
