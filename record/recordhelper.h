// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "recordstore.h"

#include <QString>
#include <optional>

// The window's way to the record directory: it asks the record helper
// program, which alone reads and writes there, under its lock.
class RecordHelper
{
public:
    RecordHelper(QString program, QString sysdir);

    // Both record files' bytes, after any interrupted save is finished; nothing
    // when another copy keeps the record locked past the wait. Any other
    // failure is a RecordError naming the file and the reason.
    std::optional<RecordPair> read() const;
    // True when the pair was saved, false when the record on disk was as high
    // or higher; anything else is a RecordError saying why nothing was saved.
    // A save refused because the lock stayed busy is tried once more.
    bool save(const QString &score, const QString &name) const;

private:
    struct Answer
    {
        HelperStatus status;
        QByteArray output;
        QString reason;
    };
    Answer run(const QStringList &arguments, const QByteArray &input) const;

    QString m_program;
    QString m_sysdir;
};
