// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "agent.h"
#include "speechengine.h"

#include <QRect>
#include <functional>

#include <QObject>
#include <QStringList>
#include <memory>
#include <map>

class DesktopCharacter;
class Voice;

// The speech character component of the desktop: loads character files and
// shows each character in a window of its own, with a speech balloon.
class DesktopAgent : public QObject, public Characters
{
    Q_OBJECT
public:
    // The character files are looked for, by file name, in these folders.
    // sound false: silent, with the same timing (for tests).
    DesktopAgent(QStringList searchDirs, std::unique_ptr<SpeechEngine> engine, bool sound = true,
                 QObject *parent = nullptr);
    ~DesktopAgent() override;

    void Load(const QString &id, const QString &path) override;
    Character &item(const QString &id) override;

    // Stops every character at once and takes its windows away.
    void shutdown();

    // A screen rectangle the speech balloon must not cover (the answer box).
    void setKeepClear(std::function<QRect()> keepClear) { m_keepClear = std::move(keepClear); }

    // The file a character path names, found in the search folders.
    QString resolve(const QString &path) const;

private:
    QStringList m_searchDirs;
    std::unique_ptr<Voice> m_voice;
    std::function<QRect()> m_keepClear;
    std::map<QString, std::unique_ptr<DesktopCharacter>> m_characters;
};

// How long a text stays on screen when it is not heard: about the time a
// slow, clear voice takes to say it.
int speechEstimateMs(const QString &text);
