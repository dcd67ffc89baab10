// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QList>
#include <QString>

// The words espeak-ng's Italian rules say wrong, respelled in its own
// phonemes, and what each word the program can say must sound like.
class Pronunciation
{
public:
    struct Respelling
    {
        QString phonemes; // espeak-ng's mnemonics
        QString reason;
    };

    // The reviewed list built into the voice.
    static const Pronunciation &italian();
    explicit Pronunciation(const QByteArray &json);

    // The text as espeak-ng is to read it: each listed word in [[ ]] as its
    // phonemes. saidAfter, when given, gets for every character of the
    // result how much of the original text has been said once it is.
    QString respell(const QString &text, QList<int> *saidAfter = nullptr) const;

    const QHash<QString, Respelling> &respellings() const { return m_respell; }
    // Word (in lower case) to the IPA the engine's phoneme output must give.
    const QHash<QString, QString> &reviewed() const { return m_reviewed; }

private:
    QHash<QString, Respelling> m_respell;
    QHash<QString, QString> m_reviewed;
};
