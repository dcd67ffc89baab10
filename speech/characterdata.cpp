// SPDX-License-Identifier: GPL-3.0-or-later
#include "characterdata.h"

#include "agent.h"

#include <QFile>
#include <QFileInfo>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <tuple>
#include <utility>

CharacterError::CharacterError(const QString &what)
    : std::runtime_error(what.toStdString())
{
}

namespace {

[[noreturn]] void fail(const QString &path, const QString &why)
{
    throw CharacterError(QStringLiteral("File del personaggio %1: %2").arg(path, why));
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        fail(path, file.errorString());
    // A character file is a few kilobytes; anything huge is not one of ours.
    if (file.size() > 4 * 1024 * 1024)
        fail(path, QStringLiteral("file troppo grande"));
    return file.readAll();
}

double number(const QJsonObject &o, const char *key, double fallback)
{
    const QJsonValue v = o.value(QLatin1String(key));
    return v.isDouble() ? v.toDouble() : fallback;
}

PartPose readPartPose(const QJsonObject &o)
{
    PartPose p;
    p.rotate = number(o, "rotate", 0);
    p.dx = number(o, "dx", 0);
    p.dy = number(o, "dy", 0);
    p.scale = number(o, "scale", 1);
    p.visible = o.value(QLatin1String("visible")).toBool(true);
    return p;
}

double lerp(double a, double b, double f)
{
    return a + (b - a) * f;
}

} // namespace

CharacterData CharacterData::load(const QString &path)
{
    const QByteArray json = readAll(path);
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (doc.isNull())
        fail(path, QStringLiteral("JSON non valido (%1, posizione %2)").arg(error.errorString()).arg(error.offset));
    const QString artName = doc.object().value(QLatin1String("art")).toString();
    if (artName.isEmpty() || artName.contains(u'/') || artName.contains(u'\\'))
        fail(path, QStringLiteral("manca il nome del disegno (\"art\")"));
    const QString artPath = QFileInfo(path).dir().filePath(artName);
    return parse(json, path, readAll(artPath));
}

CharacterData CharacterData::parse(const QByteArray &json, const QString &path, const QByteArray &art)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (doc.isNull() || !doc.isObject())
        fail(path, QStringLiteral("JSON non valido (%1, posizione %2)").arg(error.errorString()).arg(error.offset));
    const QJsonObject root = doc.object();
    if (root.value(QLatin1String("format")).toString() != QLatin1String("garivolo-character-1"))
        fail(path, QStringLiteral("formato sconosciuto"));

    CharacterData data;
    data.filePath = path;
    data.art = art;

    const QJsonArray parts = root.value(QLatin1String("parts")).toArray();
    if (parts.isEmpty())
        fail(path, QStringLiteral("nessuna parte (\"parts\")"));
    QStringList ids;
    for (const QJsonValue &v : parts) {
        const QJsonObject o = v.toObject();
        const QJsonArray pivot = o.value(QLatin1String("pivot")).toArray();
        CharacterPart part{o.value(QLatin1String("id")).toString(),
                           QPointF(pivot.at(0).toDouble(), pivot.at(1).toDouble()),
                           o.value(QLatin1String("visible")).toBool(true),
                           o.value(QLatin1String("follows")).toString()};
        if (part.id.isEmpty() || pivot.size() != 2)
            fail(path, QStringLiteral("parte senza \"id\" o \"pivot\""));
        if (!part.follows.isEmpty() && !ids.contains(part.follows))
            fail(path, QStringLiteral("la parte \"%1\" segue una parte che non la precede: \"%2\"").arg(part.id, part.follows));
        ids.append(part.id);
        data.parts.append(part);
    }

    const QJsonObject face = root.value(QLatin1String("face")).toObject();
    data.eyesOpen = face.value(QLatin1String("eyesOpen")).toString();
    data.eyesClosed = face.value(QLatin1String("eyesClosed")).toString();
    data.mouthClosed = face.value(QLatin1String("mouthClosed")).toString();
    data.mouthOpen = face.value(QLatin1String("mouthOpen")).toString();
    for (const QString &id : {data.eyesOpen, data.eyesClosed, data.mouthClosed, data.mouthOpen}) {
        if (!ids.contains(id))
            fail(path, QStringLiteral("la faccia nomina una parte che non c'è: \"%1\"").arg(id));
    }
    for (auto [key, member] : {std::pair{"mouthRound", &CharacterData::mouthRound},
                               std::pair{"mouthWide", &CharacterData::mouthWide},
                               std::pair{"mouthTeeth", &CharacterData::mouthTeeth}}) {
        const QString id = face.value(QLatin1String(key)).toString(data.mouthOpen);
        if (!ids.contains(id))
            fail(path, QStringLiteral("la faccia nomina una parte che non c'è: \"%1\"").arg(id));
        data.*member = id;
    }

    const QJsonArray frame = root.value(QLatin1String("frame")).toArray();
    if (!frame.isEmpty()) {
        data.frame = QRectF(frame.at(0).toDouble(), frame.at(1).toDouble(), frame.at(2).toDouble(), frame.at(3).toDouble());
        if (frame.size() != 4 || !(data.frame.width() > 0) || !(data.frame.height() > 0))
            fail(path, QStringLiteral("riquadro (\"frame\") non valido"));
    }
    const QJsonObject breath = root.value(QLatin1String("breath")).toObject();
    for (auto p = breath.begin(); p != breath.end(); ++p) {
        if (!ids.contains(p.key()))
            fail(path, QStringLiteral("il respiro muove una parte che non c'è: \"%1\"").arg(p.key()));
        data.breath.insert(p.key(), readPartPose(p.value().toObject()));
    }

    const QJsonObject animations = root.value(QLatin1String("animations")).toObject();
    if (animations.isEmpty())
        fail(path, QStringLiteral("nessuna animazione (\"animations\")"));
    for (auto it = animations.begin(); it != animations.end(); ++it) {
        const QJsonObject a = it.value().toObject();
        Animation animation;
        animation.durationMs = a.value(QLatin1String("duration")).toInt();
        if (animation.durationMs < 100 || animation.durationMs > 10000)
            fail(path, QStringLiteral("durata non valida per l'animazione \"%1\"").arg(it.key()));
        for (const QJsonValue &k : a.value(QLatin1String("keys")).toArray()) {
            const QJsonObject ko = k.toObject();
            KeyFrame key;
            key.at = std::clamp(ko.value(QLatin1String("at")).toDouble(), 0.0, 1.0);
            const QJsonObject pose = ko.value(QLatin1String("pose")).toObject();
            for (auto p = pose.begin(); p != pose.end(); ++p) {
                if (p.key() != QLatin1String("*") && !ids.contains(p.key()))
                    fail(path, QStringLiteral("l'animazione \"%1\" muove una parte che non c'è: \"%2\"")
                                   .arg(it.key(), p.key()));
                key.pose.insert(p.key(), readPartPose(p.value().toObject()));
            }
            animation.keys.append(key);
        }
        if (animation.keys.isEmpty())
            fail(path, QStringLiteral("l'animazione \"%1\" non ha fotogrammi chiave").arg(it.key()));
        std::stable_sort(animation.keys.begin(), animation.keys.end(),
                         [](const KeyFrame &a, const KeyFrame &b) { return a.at < b.at; });
        data.animations.insert(it.key(), animation);
    }

    data.name = root.value(QLatin1String("name")).toString().trimmed();
    if (data.name.isEmpty())
        fail(path, QStringLiteral("manca il nome del personaggio (\"name\")"));
    const QJsonObject life = root.value(QLatin1String("life")).toObject();
    for (auto [key, member, low, high] :
         {std::tuple{"blinkEvery", &Liveliness::blinkEveryMs, 500, 60000}, std::tuple{"blink", &Liveliness::blinkMs, 50, 1000},
          std::tuple{"breathStep", &Liveliness::breathStepMs, 200, 10000},
          std::tuple{"balloonText", &Liveliness::balloonTextPx, 8, 72},
          std::tuple{"balloonWidth", &Liveliness::balloonWidthPx, 100, 785}}) {
        const QJsonValue v = life.value(QLatin1String(key));
        if (v.isUndefined())
            continue;
        const int value = v.toInt(-1);
        if (!v.isDouble() || value < low || value > high)
            fail(path, QStringLiteral("valore non valido per \"%1\" (da %2 a %3)").arg(QLatin1String(key)).arg(low).arg(high));
        data.life.*member = value;
    }
    if (data.life.blinkMs >= data.life.blinkEveryMs)
        fail(path, QStringLiteral("il battito di ciglia (\"blink\") dura più del tempo fra due (\"blinkEvery\")"));

    // The voice in the engine's neutral terms: a language, and a rate and a
    // pitch from -1 to 1 around the engine's usual.
    const QJsonObject voice = root.value(QLatin1String("voice")).toObject();
    if (const QJsonValue locale = voice.value(QLatin1String("locale")); !locale.isUndefined()) {
        data.voice.locale = QLocale(locale.toString());
        if (!locale.isString() || data.voice.locale.language() == QLocale::C)
            fail(path, QStringLiteral("lingua della voce (\"locale\") sconosciuta"));
    }
    for (const auto &[key, member] : {std::pair{"rate", &VoiceSettings::rate}, std::pair{"pitch", &VoiceSettings::pitch}}) {
        const QJsonValue v = voice.value(QLatin1String(key));
        if (v.isUndefined())
            continue;
        if (!v.isDouble() || !(v.toDouble() >= -1.0 && v.toDouble() <= 1.0))
            fail(path, QStringLiteral("valore non valido per \"%1\" della voce (da -1 a 1)").arg(QLatin1String(key)));
        data.voice.*member = v.toDouble();
    }
    return data;
}

Pose CharacterData::poseAt(const QString &name, int elapsedMs) const
{
    const auto found = animations.constFind(name);
    if (found == animations.constEnd())
        return {};
    const Animation &a = *found;
    const double t = std::clamp(double(elapsedMs) / a.durationMs, 0.0, 1.0);
    // The key frames at or before t and at or after t; a part missing from a key is at rest there.
    const KeyFrame *before = &a.keys.front();
    const KeyFrame *after = &a.keys.back();
    for (const KeyFrame &k : a.keys) {
        if (k.at <= t)
            before = &k;
    }
    for (auto it = a.keys.crbegin(); it != a.keys.crend(); ++it) {
        if (it->at >= t)
            after = &*it;
    }
    const double span = after->at - before->at;
    const double f = span > 0 ? (t - before->at) / span : 0.0;
    Pose pose;
    QStringList touched = before->pose.keys() + after->pose.keys();
    touched.removeDuplicates();
    for (const QString &id : touched) {
        PartPose rest;
        for (const CharacterPart &part : parts) {
            if (part.id == id)
                rest.visible = part.visibleAtRest;
        }
        const PartPose from = before->pose.value(id, rest);
        const PartPose to = after->pose.value(id, rest);
        pose.insert(id, PartPose{lerp(from.rotate, to.rotate, f), lerp(from.dx, to.dx, f), lerp(from.dy, to.dy, f),
                                 lerp(from.scale, to.scale, f), f < 1.0 ? from.visible : to.visible});
    }
    return pose;
}
