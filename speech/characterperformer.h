// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "agent.h"
#include "characterdata.h"
#include "characterqueue.h"
#include "speechengine.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointF>
#include <QTimer>

#include <functional>

class Voice;

// How he is to be seen at a moment.
struct Figure
{
    QPointF pos;       // of his frame's top left, on the design's desktop
    int height = 0;    // design pixels
    QString animation; // the gesture he is making; empty when he stands still
    int animationMs = 0;
    CharacterFace face;
};

// Where he is seen: the figure and his speech balloon. The window's view
// draws them; the performer never touches a widget.
class CharacterStage
{
public:
    virtual ~CharacterStage() = default;
    virtual void showFigure(const Figure &figure) = 0;
    virtual void drawFigure(const Figure &figure) = 0;
    virtual void hideFigure() = 0;
    // A balloon of this text beside him, of which so much is said already.
    virtual void showBalloon(const QString &text, int said) = 0;
    // So much of the balloon's text is said now.
    virtual void revealBalloon(int said) = 0;
    // Tells a screen reader what he has begun to say.
    virtual void announce(const QString &part) = 0;
    virtual void dismissBalloon() = 0;
};

// A character at work: checks and queues the calls, and performs them one
// at a time, gliding, making his gestures, living at rest (a blink, a
// breath, as his file times them), and speaking through the speech service
// with his words revealed as they are heard.
class CharacterPerformer : public QObject, public Character, public Performer
{
public:
    // While he talks he is looked at again when his next word or mouth
    // shape is due, and at least this often, in case the sound is late.
    static constexpr int kTalkLookMs = 200;
    // A picture of him every so often while he glides, and while he makes a gesture.
    static constexpr int kGlideFrameMs = 50;
    static constexpr int kGestureFrameMs = 80;
    // What he said stays up this long after its last word, unless he says more.
    static constexpr int kHoldMs = 2000;

    CharacterPerformer(const CharacterData &data, Voice &voice, CharacterStage &stage);
    ~CharacterPerformer() override;

    // Stops, forgets what waits and leaves the stage.
    void shutdown();

    void Show() override;
    void MoveTo(int x, int y) override;
    void setHeight(int height) override;
    void Play(const QString &animation, Keep keep) override;
    void Speak(const QString &text, Keep keep) override;
    void dropWaiting() override;

    void begin(const CharacterRequest &request, std::function<void()> done) override;
    void stop() override;
    bool event(QEvent *event) override;

private:
    // How he is to be seen now.
    Figure figure() const;
    quint64 turn();
    void speak(const QString &text, quint64 turn);
    void reveal(int said);
    void startAction(int durationMs);
    void finish();
    void endAction();
    void step();
    int msToNextChange(int elapsed) const;
    void idle();
    void redraw();

    const CharacterData &m_data;
    Voice &m_voice;
    CharacterStage &m_stage;
    CharacterQueue m_queue;
    QTimer m_frameTimer;
    QTimer m_finishTimer;
    QTimer m_idleTimer;
    QTimer m_holdTimer;
    QElapsedTimer m_clock;
    QElapsedTimer m_idleClock;
    std::function<void()> m_done;
    QString m_animation;
    Utterance m_utterance;
    QPointF m_pos{250, 175};
    QPointF m_glideFrom, m_glideTo;
    bool m_gliding = false;
    int m_actionMs = 0;
    int m_height = 128;
    bool m_shown = false;
    bool m_talking = false;
    // The balloon: its text, where the text being said lies in it, how much
    // of it is said and announced, and whether the last request was a text.
    QString m_balloonText;
    bool m_balloonUp = false;
    int m_textStart = 0;
    int m_textEnd = 0;
    int m_said = 0;
    int m_announced = 0;
    bool m_afterText = false;
    quint64 m_asked = 0; // a text still to begin when this changes is not said
    quint64 m_turn = 0;
    bool m_inTurn = false;
    quint64 m_balloonTurn = 0; // the turn whose texts the balloon shows
    bool m_eyesClosed = false;
    double m_breath = 0.0;
    Mouth m_mouth = Mouth::Closed;
};
