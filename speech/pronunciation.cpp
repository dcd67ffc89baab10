// SPDX-License-Identifier: GPL-3.0-or-later
#include "pronunciation.h"

#include <QJsonDocument>
#include <QJsonObject>

extern const char kPronunciationJson[];

const Pronunciation &Pronunciation::italian()
{
    static const Pronunciation list{QByteArray(kPronunciationJson)};
    return list;
}

Pronunciation::Pronunciation(const QByteArray &json)
{
    const QJsonObject root = QJsonDocument::fromJson(json).object();
    const QJsonObject respell = root.value(QLatin1String("respell")).toObject();
    for (auto it = respell.begin(); it != respell.end(); ++it) {
        const QJsonObject entry = it.value().toObject();
        m_respell.insert(it.key().toLower(), {entry.value(QLatin1String("phonemes")).toString(),
                                              entry.value(QLatin1String("reason")).toString()});
    }
    const QJsonObject reviewed = root.value(QLatin1String("reviewed")).toObject();
    for (auto it = reviewed.begin(); it != reviewed.end(); ++it)
        m_reviewed.insert(it.key().toLower(), it.value().toString());
}

QString Pronunciation::respell(const QString &text, QList<int> *saidAfter) const
{
    QString out;
    out.reserve(text.size());
    if (saidAfter)
        saidAfter->clear();
    qsizetype i = 0;
    while (i < text.size()) {
        qsizetype end = i;
        while (end < text.size() && text.at(end).isLetterOrNumber())
            ++end;
        if (end == i) {
            out += text.at(i);
            if (saidAfter)
                saidAfter->append(int(i + 1));
            ++i;
            continue;
        }
        const auto found = m_respell.constFind(text.mid(i, end - i).toLower());
        const QString said = found == m_respell.cend() ? text.mid(i, end - i)
                                                       : QStringLiteral("[[") + found->phonemes + QStringLiteral("]]");
        out += said;
        if (saidAfter) {
            // A respelled word is said whole or not at all, as far as the balloon goes.
            for (qsizetype k = 0; k < said.size(); ++k)
                saidAfter->append(found == m_respell.cend() ? int(i + k + 1) : int(end));
        }
        i = end;
    }
    return out;
}
