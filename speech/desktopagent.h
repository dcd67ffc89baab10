// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "agent.h"
#include "audiooutput.h"
#include "speechengine.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <map>
#include <memory>

class Voice;

// The speech character component: loads character files and draws each
// character inside the window it is given, with a speech balloon, speaking
// through the voice it is given.
class DesktopAgent : public QObject, public Characters
{
    Q_OBJECT
public:
    // The character files are looked for, by file name, in these folders.
    // output null: silent, with the same timing.
    DesktopAgent(QStringList searchDirs, std::unique_ptr<SpeechEngine> engine, std::unique_ptr<AudioOutput> output,
                 QObject *parent = nullptr);
    ~DesktopAgent() override;

    void Load(const QString &id, const QString &path) override;
    Character &item(const QString &id) override;

    // The widget whose area the characters' positions are measured in: the
    // client area of the main window. Without one they get a plain window of their own.
    void setHost(QWidget *host);
    // How many window pixels a pixel of the design is; his size, his place
    // and his balloon all follow it.
    void setDesignScale(qreal scale);
    qreal designScale() const { return m_scale; }
    // Rectangles of the host the speech balloon must not cover (the answer box, the verdict...).
    void setKeepClear(std::function<QList<QRect>()> keepClear) { m_keepClear = std::move(keepClear); }
    QList<QRect> keepClearRects() const;

    // Loads the voice and opens the sound on the voice's own thread; until
    // it is called nothing of either is touched (the first text calls it).
    void startVoice();
    // The speech service, one for every character: each text carries its character's voice settings.
    Voice &voice() { return *m_voice; }

    // Stops every character at once and takes him off the window.
    void shutdown();

    // The file a character path names, found in the search folders.
    QString resolve(const QString &path) const;

    // Where a design position lands in the host: the design's coordinates
    // were taken on a desktop with the window's frame at the screen's origin.
    static QPoint clientOrigin() { return {4, 42}; }

private:
    QWidget *host();

    QStringList m_searchDirs;
    std::unique_ptr<Voice> m_voice;
    QPointer<QWidget> m_host;
    std::unique_ptr<QWidget> m_ownHost;
    qreal m_scale = 1.0;
    std::function<QList<QRect>()> m_keepClear;
    struct Loaded;
    std::map<QString, std::unique_ptr<Loaded>> m_characters;
};
