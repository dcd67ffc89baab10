// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The window's way to change the record directory: it asks the record
// helper program, which alone may write there.
class RecordHelper
{
public:
    RecordHelper(QString program, QString sysdir);

    // Makes both record files exist; a failure is a RecordError naming the path and the reason.
    void ensure() const;
    // True when the pair was saved, false when the record on disk was as high or higher.
    bool save(const QString &score, const QString &name) const;

private:
    int run(const QStringList &arguments, const QByteArray &input) const;

    QString m_program;
    QString m_sysdir;
};
