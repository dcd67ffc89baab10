// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "speechengine.h"

#include <QHash>
#include <QList>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QStringList>

// How one part of the character stands in a key frame, relative to its rest pose.
struct PartPose
{
    double rotate = 0.0; // degrees, around the part's pivot
    double dx = 0.0;     // art units
    double dy = 0.0;
    double scale = 1.0;
    bool visible = true;
};

// A whole pose: the parts that differ from rest, plus "*" for the whole figure.
using Pose = QHash<QString, PartPose>;

struct KeyFrame
{
    double at = 0.0; // 0 at the start of the animation, 1 at its end
    Pose pose;
};

struct Animation
{
    int durationMs = 0;
    QList<KeyFrame> keys;
};

struct CharacterPart
{
    QString id;
    QPointF pivot;
    bool visibleAtRest = true;
    QString follows; // a part this one moves with (the eyes with the head)
};

// How he lives at rest and how his balloon is set, in design pixels and milliseconds.
struct Liveliness
{
    int blinkEveryMs = 4000;
    int blinkMs = 250;
    int breathStepMs = 1500; // each of the four steps of a breath: half in, in, half out, out
    int balloonTextPx = 18;
    int balloonWidthPx = 340;
};

// His face at a moment: eyes, mouth and how far into a breath he is.
struct CharacterFace
{
    bool eyesClosed = false;
    Mouth mouth = Mouth::Closed;
    double breath = 0.0; // 0 at rest, 1 at the top of a breath
    bool operator==(const CharacterFace &) const = default;
};

// Everything a character file describes: its name, art, animations, voice and liveliness.
struct CharacterData
{
    QString filePath;
    QString name; // what people call him, as the program's windows and screen readers say it
    QByteArray art; // SVG whose top-level groups are the parts
    QList<CharacterPart> parts; // back to front
    QString eyesOpen, eyesClosed, mouthClosed, mouthOpen;
    // Further mouth shapes; a file without them opens the one mouth for every sound.
    QString mouthRound, mouthWide, mouthTeeth;
    // The box that his position and height measure, in art units (empty: the whole art).
    QRectF frame;
    // How he stands at the top of a breath; at rest he goes to and fro between it and rest.
    Pose breath;
    QHash<QString, Animation> animations;
    VoiceSettings voice;
    Liveliness life;

    // Reads a character file; any problem is a CharacterError naming the file and the fault.
    static CharacterData load(const QString &path);
    // Same, from text already read; the path is only used in messages.
    static CharacterData parse(const QByteArray &json, const QString &path, const QByteArray &art);

    // The pose of an animation at a time, interpolated between its key frames.
    Pose poseAt(const QString &animation, int elapsedMs) const;
};
